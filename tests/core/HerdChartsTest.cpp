#include "HerdCharts.h"
#include "Error.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// Test days of cow C1 of herd H1 (national ID HOLAUSF000000000001) in two lactations, written
// partly under other letter cases, beside records of other cows that share one part of its
// identity only.
void seedTestDays(Tdm &dm)
{
    dm.exec(uR"(INSERT INTO "104" (HerdCode, CowID, NationalID, TestDate, CalvingDate,
                LactationNumber, DaysInMilk, Milk, FatPercent, ProteinPercent, CellCount) VALUES
        ('H1', 'C1', 'HOLAUSF000000000001', '2020-03-01', '2020-01-10', 1, 51, 30.5, 4.1, 3.2, 100),
        ('H9', 'X9', 'holausf000000000001', '2020-02-01', '2020-01-10', 1, 22, 28, 4.3, 3.3, 80),
        ('h1', 'c1', NULL, '2021-03-01', '2021-02-01', 2, NULL, 35, NULL, 3.4, 150),
        ('H1', 'C1', NULL, '2021-02-15', '2021-02-01', NULL, 14, 33, 4.0, NULL, NULL),
        ('H1', 'C1', NULL, '2021-05-01', NULL, NULL, NULL, 20, NULL, NULL, NULL),
        ('H1', 'C1', NULL, '2021-06-01', NULL, NULL, 120, 25, NULL, NULL, NULL),
        ('H2', 'C1', 'HOLAUSF000000000002', '2020-03-01', '2020-01-15', 1, 46, 40, 3.9, 3.1, 90),
        ('H1', 'C2', 'HOLAUSF000000000003', '2020-03-01', '2020-02-01', 1, 29, 22, 4.9, 3.7, 300),
        (NULL, 'C1', NULL, '2020-03-01', '2020-01-10', 1, 51, 99, NULL, NULL, NULL))"_s);
}

// Each lactation as "<calving>:<dim>/<milk>,..." with its test days in order.
QStringList shape(const LactationCurves &curves)
{
    QStringList lines;
    for (const LactationSeries &s : curves.lactations) {
        QStringList points;
        for (const TestDayPoint &p : s.points)
            points << u"%1/%2"_s.arg(p.daysInMilk).arg(p.milk ? *p.milk : -1);
        lines << s.calvingDate.toString(Qt::ISODate) + u':' + points.join(u',');
    }
    return lines;
}

TEST(LactationCurvesTest, shouldMatchTheCowByNationalIdOrByCowAndHerdWithoutRegardToCase)
{
    const QStringList both
            = {u"2020-01-10:22/28,51/30.5"_s, u"2021-02-01:14/33,28/35"_s, u":120/25"_s};
    struct Case
    {
        const char *name;
        CowIdentity cow;
        QStringList lactations;
        int unplaced;
    };
    const Case cases[] = {
            {"national ID and cow+herd", {u"HOLAUSF000000000001"_s, u"C1"_s, u"H1"_s}, both, 1},
            {"cow+herd in other case, no national ID",
             {QString(), u"c1"_s, u"h1"_s},
             {u"2020-01-10:51/30.5"_s, u"2021-02-01:14/33,28/35"_s, u":120/25"_s},
             1},
            {"national ID alone, lower case",
             {u"holausf000000000001"_s, QString(), QString()},
             {u"2020-01-10:22/28,51/30.5"_s},
             0},
            {"cow ID without herd matches nothing", {QString(), u"C1"_s, QString()}, {}, 0},
            {"a cow without test days", {u"HOLAUSF000000000099"_s, u"C7"_s, u"H1"_s}, {}, 0},
    };
    test::TestHome home;
    seedTestDays(home.dm());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const LactationCurves curves = lactationCurves(home.dm(), c.cow);
        EXPECT_EQ(shape(curves), c.lactations);
        EXPECT_EQ(curves.unplaced, c.unplaced);
        EXPECT_EQ(curves.isEmpty(), c.lactations.isEmpty());
    }
}

TEST(LactationCurvesTest, shouldCarryComponentsAndLactationNumbers)
{
    test::TestHome home;
    seedTestDays(home.dm());
    const LactationCurves curves
            = lactationCurves(home.dm(), {u"HOLAUSF000000000001"_s, u"C1"_s, u"H1"_s});
    ASSERT_EQ(curves.lactations.size(), 3);
    const LactationSeries &second = curves.lactations.at(1);
    // The number comes from the test day that has one.
    EXPECT_EQ(second.lactationNumber, 2);
    EXPECT_FALSE(curves.lactations.at(2).lactationNumber.has_value());
    ASSERT_EQ(second.points.size(), 2);
    EXPECT_EQ(second.points.at(0).testDate, QDate(2021, 2, 15));
    EXPECT_EQ(second.points.at(0).fatPercent, 4.0);
    EXPECT_FALSE(second.points.at(0).proteinPercent.has_value());
    EXPECT_FALSE(second.points.at(1).fatPercent.has_value());
    EXPECT_EQ(second.points.at(1).proteinPercent, 3.4);
}

TEST(LactationCurvesTest, shouldCountDaysInMilkFromTheDatesWithoutThatField)
{
    test::TestHome home;
    seedTestDays(home.dm());
    home.dm().exec(uR"(ALTER TABLE "104" DROP COLUMN DaysInMilk)"_s);
    const LactationCurves curves = lactationCurves(home.dm(), {QString(), u"C1"_s, u"H1"_s});
    EXPECT_EQ(shape(curves), (QStringList{u"2020-01-10:51/30.5"_s, u"2021-02-01:14/33,28/35"_s}));
    EXPECT_EQ(curves.unplaced, 2);
}

TEST(LactationCurvesTest, shouldRefuseATestDayLayoutWithoutMilk)
{
    test::TestHome home;
    home.dm().exec(uR"(ALTER TABLE "104" DROP COLUMN Milk)"_s);
    try {
        lactationCurves(home.dm(), {QString(), u"C1"_s, u"H1"_s});
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), u"Table 104 has no field Milk, so it cannot be charted"_s);
    }
}

TEST(HerdSummaryTest, shouldAverageEachTestDateOfTheHerdLeavingBlanksOut)
{
    test::TestHome home;
    seedTestDays(home.dm());
    // Herd H1 (written h1 once): C1 and C2 on 2020-03-01; C1 alone on the other dates.
    const QList<HerdTestDay> days = herdSummary(home.dm(), u"h1"_s);
    QStringList lines;
    auto text = [](const std::optional<double> &v) {
        return v ? QString::number(*v) : u"-"_s;
    };
    for (const HerdTestDay &d : days)
        lines << u"%1 %2 %3 %4 %5 %6"_s.arg(d.testDate.toString(Qt::ISODate))
                         .arg(d.cowsTested)
                         .arg(text(d.milk), text(d.fatPercent), text(d.proteinPercent),
                              text(d.cellCount));
    EXPECT_EQ(lines, (QStringList{u"2020-03-01 2 26.25 4.5 3.45 200"_s, u"2021-02-15 1 33 4 - -"_s,
                                  u"2021-03-01 1 35 - 3.4 150"_s, u"2021-05-01 1 20 - - -"_s,
                                  u"2021-06-01 1 25 - - -"_s}));
    EXPECT_TRUE(herdSummary(home.dm(), u"H7"_s).isEmpty());
}

} // namespace
