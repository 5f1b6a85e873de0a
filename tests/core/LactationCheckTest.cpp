#include "LactationCheck.h"
#include "Error.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// Lactations in table order, and the test days of some of them, written in other letter cases
// and orders. The figures are those of the hand-worked yield cases:
//  1  cow by national ID, ended on day 100: milk 2425, fat 98, protein 84.75 (its test days
//     with DaysInMilk, or a test date only; a test day without milk and one of another
//     lactation of the cow beside them);
//  2  cow by herd code and cow ID (non-ASCII letters in another case), no end date, last test
//     on day 60: in progress at 1650;
//  3  a national ID while its test days carry only the cow ID and herd code: another cow;
//  4  no calving date;  5  no national ID and no cow ID;
//  6  ended after day 305: 4550 against a stated 5100 (-10.8 %);
//  7  the same lactation as 1 again, stated milk 0 and no stated fat;
//  8  two tests on day 30.
void seedLactations(Tdm &dm)
{
    dm.exec(uR"(INSERT INTO "103" (HerdCode, CowID, NationalID, CalvingDate, LactationEndDate,
                Milk305, Fat305Kg, Protein305Kg) VALUES
        ('H1', 'C1', 'HOLAUSF000000000001', '2020-01-01', '2020-04-10', 2425, 98, 84.8),
        ('ÄH2', 'c2', NULL, '2020-02-01', NULL, NULL, NULL, NULL),
        ('H1', 'C3', 'HOLAUSF000000000003', '2020-01-01', NULL, 3000, NULL, NULL),
        ('H1', 'C4', 'HOLAUSF000000000004', NULL, NULL, 3000, NULL, NULL),
        ('H1', NULL, NULL, '2020-01-01', NULL, 3000, NULL, NULL),
        ('H1', 'C6', 'HOLAUSF000000000006', '2020-01-01', '2020-12-31', 5100, NULL, NULL),
        ('H1', 'C1', 'holausf000000000001', '2020-01-01', '2020-04-10', 0, NULL, 84.8),
        ('H1', 'C8', 'HOLAUSF000000000008', '2020-01-01', NULL, 3000, NULL, NULL))"_s);
    dm.exec(uR"(INSERT INTO "104" (HerdCode, CowID, NationalID, CalvingDate, TestDate, DaysInMilk,
                Milk, FatPercent, ProteinPercent) VALUES
        ('X', 'X', 'holausf000000000001', '2020-01-01', NULL, 90, 25, 5, NULL),
        ('äh2', 'C2', NULL, '2020-02-01', NULL, 60, 35, NULL, NULL),
        ('H1', 'C1', 'HOLAUSF000000000001', '2020-01-01', '2020-03-01', NULL, 30, NULL, 3.5),
        ('H1', 'C1', 'HOLAUSF000000000001', '2020-01-01', NULL, 45, NULL, 4, 3),
        ('H1', 'C1', 'HOLAUSF000000000001', '2019-01-01', NULL, 30, 99, NULL, NULL),
        ('H1', 'C6', 'HOLAUSF000000000006', '2020-01-01', NULL, 200, 10, NULL, NULL),
        ('H1', 'C3', NULL, '2020-01-01', NULL, 30, 20, NULL, NULL),
        ('H1', 'C8', 'HOLAUSF000000000008', '2020-01-01', NULL, 30, 20, NULL, NULL),
        ('äH2', 'c2', NULL, '2020-02-01', NULL, 30, 25, NULL, NULL),
        ('H1', 'C6', 'HOLAUSF000000000006', '2020-01-01', NULL, 100, 20, NULL, NULL),
        ('H1', 'C1', ' HOLAUSF000000000001 ', '2020-01-01', NULL, 30, 20, 4, 3),
        ('H1', 'C8', 'HOLAUSF000000000008', '2020-01-01', NULL, 30, 21, NULL, NULL))"_s);
}

} // namespace

TEST(LactationCheckTest, shouldComputeEveryLactationOfTable103FromItsTestDays)
{
    const test::LocaleScope locale(QLocale(QLocale::English, QLocale::UnitedKingdom));
    test::TestHome home;
    seedLactations(home.dm());
    const QString out = home.path() + u"check.csv"_s;
    EXPECT_EQ(writeLactationCheck(home.dm(), nullptr, kDefaultTolerance, false, out), 8);
    const QByteArray expected
            = "HerdCode,CowID,NationalID,CalvingDate,Tests,Milk305,ComputedMilk305,"
              "MilkDiffPercent,Fat305Kg,ComputedFat305Kg,FatDiffPercent,Protein305Kg,"
              "ComputedProtein305Kg,ProteinDiffPercent,Status\r\n"
              "\"H1\",\"C1\",\"HOLAUSF000000000001\",\"01/01/2020\",3,2425,2425.0,0.0,98,98.0,0.0,"
              "84.8,84.8,0.0,\"ok\"\r\n"
              "\"\xC4H2\",\"c2\",,\"01/02/2020\",2,,1650.0,,,,,,,,\"in progress\"\r\n"
              "\"H1\",\"C3\",\"HOLAUSF000000000003\",\"01/01/2020\",0,3000,,,,,,,,,"
              "\"no test days\"\r\n"
              "\"H1\",\"C4\",\"HOLAUSF000000000004\",,0,3000,,,,,,,,,\"no calving date\"\r\n"
              "\"H1\",,,\"01/01/2020\",0,3000,,,,,,,,,\"no cow identity\"\r\n"
              "\"H1\",\"C6\",\"HOLAUSF000000000006\",\"01/01/2020\",2,5100,4550.0,-10.8,,,,,,,"
              "\"flagged\"\r\n"
              "\"H1\",\"C1\",\"holausf000000000001\",\"01/01/2020\",3,0,2425.0,,,98.0,,84.8,84.8,"
              "0.0,\"ok\"\r\n"
              "\"H1\",\"C8\",\"HOLAUSF000000000008\",\"01/01/2020\",0,3000,,,,,,,,,"
              "\"two tests on day 30\"\r\n";
    EXPECT_EQ(test::readFile(out).toStdString(), expected.toStdString());
}

TEST(LactationCheckTest, shouldFlagOnlyDifferencesOverTheToleranceEitherWay)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    // 4550 computed against 5000 (-9.0 %), 4136.4 (+10.0 %) and 4100 (+11.0 %).
    dm.exec(uR"(INSERT INTO "103" (NationalID, CalvingDate, LactationEndDate, Milk305) VALUES
        ('A', '2020-01-01', '2021-01-01', 5000), ('B', '2020-01-01', '2021-01-01', 4136.4),
        ('C', '2020-01-01', '2021-01-01', 4100))"_s);
    for (const char *cow : {"A", "B", "C"})
        dm.exec(uR"(INSERT INTO "104" (NationalID, CalvingDate, DaysInMilk, Milk) VALUES
            ('%1', '2020-01-01', 100, 20), ('%1', '2020-01-01', 200, 10))"_s.arg(
                QString::fromLatin1(cow)));
    std::vector<LactationCheckRow> rows;
    runLactationCheck(dm, nullptr, [&](const LactationCheckRow &r) { rows.push_back(r); });
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].milkDiff, -9.0);
    EXPECT_EQ(rows[1].milkDiff, 10.0);
    EXPECT_EQ(rows[2].milkDiff, 11.0);
    struct Case
    {
        double tolerance;
        const char *flags;
    };
    for (const Case &c : {Case{10, "--F"}, Case{9, "-FF"}, Case{8.9, "FFF"}, Case{11, "---"}}) {
        std::string flags;
        for (const LactationCheckRow &r : rows)
            flags += r.isFlagged(c.tolerance) ? 'F' : '-';
        EXPECT_EQ(flags, c.flags) << c.tolerance;
    }
    EXPECT_EQ(rows[2].status(10), u"flagged"_s);

    // Only the flagged rows, with the header line.
    const QString out = home.path() + u"flagged.csv"_s;
    EXPECT_EQ(writeLactationCheck(dm, nullptr, 9.5, true, out), 2);
    const QList<QByteArray> lines = test::readFile(out).split('\n');
    ASSERT_EQ(lines.size(), 4); // the header, two rows, and the end after the last CR LF
    EXPECT_TRUE(lines[1].startsWith(",,\"B\""));
    EXPECT_TRUE(lines[2].startsWith(",,\"C\""));
}

TEST(LactationCheckTest, shouldGiveTheTestDaysOfOneLactationForItsCurve)
{
    test::TestHome home;
    seedLactations(home.dm());
    std::vector<LactationCheckRow> rows;
    runLactationCheck(home.dm(), nullptr, [&](const LactationCheckRow &r) { rows.push_back(r); });
    ASSERT_EQ(rows.size(), 8u);
    const LactationCurves curves = lactationTestDays(home.dm(), rows[0]);
    ASSERT_EQ(curves.lactations.size(), 1);
    QStringList points;
    for (const TestDayPoint &p : curves.lactations.first().points)
        points << u"%1/%2"_s.arg(p.daysInMilk).arg(p.milk ? *p.milk : -1);
    EXPECT_EQ(points.join(u' '), u"30/20 60/30 90/25"_s);
    EXPECT_EQ(curves.lactations.first().calvingDate, QDate(2020, 1, 1));
    EXPECT_TRUE(lactationTestDays(home.dm(), rows[3]).isEmpty()); // no calving date
}

TEST(LactationCheckTest, shouldNameTheFieldATableLacks)
{
    test::TestHome home;
    home.dm().exec(u"ALTER TABLE \"104\" DROP COLUMN Milk"_s);
    try {
        runLactationCheck(home.dm(), nullptr, [](const LactationCheckRow &) {});
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(),
                  u"Table 104 has no field Milk, so its lactations cannot be checked"_s);
    }
}
