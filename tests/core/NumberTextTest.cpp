#include "NumberText.h"
#include "CellText.h"
#include "FilterQuery.h"
#include "ProgressSink.h"
#include "TableExport.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QLocale>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

TEST(NumberText, roundsOnTheDecimalExpansion)
{
    struct Case
    {
        double value;
        int decimals;
        const char *fixed;
    };
    const Case cases[] = {
            {2.5, 0, "3"},
            {-2.5, 0, "-3"},
            {0.5, 0, "1"},
            {2.675, 2, "2.67"},
            {1.005, 2, "1.00"},
            {0.125, 2, "0.13"},
            {-0.004, 2, "0.00"},
            {999.995, 2, "1000.00"},
            {1e17 + 16, 0, "100000000000000016"},
            {1.5e20, 0, "150000000000000000000"},
            {0.000001, 3, "0.000"},
            {12.25, 12, "12.250000000000"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(numtext::fixed(c.value, c.decimals), QByteArray(c.fixed)) << c.value;
    EXPECT_EQ(numtext::general(1e15), "1E15");
    EXPECT_EQ(numtext::general(1.5e-6), "1.5E-6");
    EXPECT_EQ(numtext::general(0.00012), "0.00012");
    EXPECT_EQ(numtext::general(123456789012345.0), "123456789012345");
    EXPECT_EQ(numtext::general(-2.5), "-2.5");
    EXPECT_EQ(numtext::plain(1e20), "100000000000000000000");
}

TEST(NumberText, theGridShowsWhatTheWritersWrite)
{
    // One rounding for every fixed-point text: halves away from zero on the value's decimal
    // expansion to 18 significant digits. The grid's display decimals, a DIF field with
    // decimals and a CSV cell (two decimals, then the shortest form) agree on every value.
    struct Case
    {
        const char *name;
        double value;
        int decimals;
        const char *fixed; // numtext, the grid (C locale) and the DIF field
        const char *csv;   // the CSV cell, for two decimals
    };
    const Case cases[] = {
            {"2.675 lies below the half", 2.675, 2, "2.67", "2.67"},
            {"1.005 lies below the half", 1.005, 2, "1.00", "1"},
            {"9.995 lies below the half", 9.995, 2, "9.99", "9.99"},
            {"0.125 is an exact half", 0.125, 2, "0.13", "0.13"},
            {"negative exact half", -0.125, 2, "-0.13", "-0.13"},
            {"negative below the half", -2.675, 2, "-2.67", "-2.67"},
            {"12.25 with scale 10 is an exact half", 12.25 * 10, 0, "123", nullptr},
            {"2.5 without decimals", 2.5, 0, "3", nullptr},
            {"-2.5 without decimals", -2.5, 0, "-3", nullptr},
            {"99.95 lies above the half", 99.95, 1, "100.0", nullptr},
            {"no negative zero", -0.004, 2, "0.00", "0"},
            {"1E15", 1e15, 2, "1000000000000000.00", "1E15"},
    };
    test::TestHome home;
    NullProgress progress;
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray fixed(c.fixed);
        EXPECT_EQ(numtext::fixed(c.value, c.decimals), fixed);
        EXPECT_EQ(celltext::display(ftFloat, c.value, c.decimals), QString::fromLatin1(fixed));

        home.dm().exec(u"DROP TABLE IF EXISTS t"_s);
        home.dm().exec(u"CREATE TABLE t (V REAL)"_s);
        Stmt insert = home.dm().prepare(u"INSERT INTO t VALUES (?1)"_s);
        insert->bindReal(1, c.value);
        ASSERT_EQ(insert->step(), db::Step::Done);
        insert.reset();
        home.writeLayout(u"DIF999V1.ini"_s,
                         "[Records]\n01=V,Float,1,24,," + QByteArray::number(c.decimals) + "\n");
        const QString dif = home.path() + u"t.999"_s;
        TableExport(home.dm(), progress)
                .ExportDIF(u"SELECT * FROM t"_s, dif, u"DIF999V1.ini"_s, true);
        EXPECT_EQ(test::readFile(dif).trimmed(), fixed);
        if (c.csv) {
            const QString csv = home.path() + u"t.csv"_s;
            TableExport(home.dm(), progress).ExportCSV(u"SELECT * FROM t"_s, csv, false, true);
            EXPECT_EQ(test::readFile(csv), QByteArray(c.csv) + "\r\n");
        }
    }
    EXPECT_EQ(numtext::fixedText(-2.675, 2, QLocale(QLocale::German)), u"-2,67"_s);
    EXPECT_EQ(numtext::fixedText(25.25, 1, QLocale(QLocale::German)), u"25,3"_s);
    QLocale::setDefault(before);
}
