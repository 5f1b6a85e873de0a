#include "CellText.h"
#include "FilterQuery.h"
#include "NumberText.h"
#include "TestSupport.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

TEST(CellText, datesAreReadAsPeopleTypeThem)
{
    const QLocale c = QLocale::c();
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const int century = (QDate::currentDate().year() + 20) / 100 * 100;
    const struct
    {
        const char *name;
        QLocale locale;
        QString text;
        QDate date; // null: no date
    } cases[] = {
            {"the grid's form", c, u"19 Nov 2010"_s, QDate(2010, 11, 19)},
            {"long month name, blanks around", c, u"  19 november 2010 "_s, QDate(2010, 11, 19)},
            {"dashes and a short year", c, u"19-Nov-10"_s, QDate(century + 10, 11, 19)},
            {"ISO", c, u"2010-11-19"_s, QDate(2010, 11, 19)},
            {"day first", uk, u"19/11/2010"_s, QDate(2010, 11, 19)},
            {"day first, dots", uk, u"19.11.2010"_s, QDate(2010, 11, 19)},
            {"month first", us, u"11/19/2010"_s, QDate(2010, 11, 19)},
            {"month first, day 19 is no month", us, u"19/11/2010"_s, QDate()},
            {"the locale's month name", de, u"19. März 2010"_s, QDate(2010, 3, 19)},
            {"English month name under another locale", de, u"19 Mar 2010"_s, QDate(2010, 3, 19)},
            {"the locale's short form", de, u"19.11.10"_s, QDate(century + 10, 11, 19)},
            {"two-digit year far ahead is last century", uk, u"1/2/99"_s, QDate(1999, 2, 1)},
            {"no such day", uk, u"31/02/2021"_s, QDate()},
            {"year 0", c, u"1 Jan 0000"_s, QDate()},
            {"three-digit year", uk, u"1/2/999"_s, QDate()},
            {"two parts", uk, u"19/11"_s, QDate()},
            {"two month names", c, u"Nov Dec 2010"_s, QDate()},
            {"words", c, u"next tuesday"_s, QDate()},
            {"blank", c, u"  "_s, QDate()},
    };
    for (const auto &row : cases)
        EXPECT_EQ(celltext::parseDate(row.text, row.locale), row.date)
                << row.name << ": " << row.text.toStdString();
}

TEST(CellText, gridEditorTakesTheSameDates)
{
    const test::LocaleScope uk(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QString error;
    EXPECT_EQ(celltext::parse(ftDateTime, u"TestDate"_s, u"19/11/2010"_s, &error),
              QVariant(u"2010-11-19"_s));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(celltext::parse(ftDateTime, u"TestDate"_s, u"31/02/2010"_s, &error), QVariant());
    EXPECT_TRUE(error.startsWith(u"'31/02/2010' is not a valid date for the field TestDate"_s))
            << error.toStdString();
}

TEST(CellText, countsShowTheThousandsSeparator)
{
    EXPECT_EQ(countText(999, QLocale::c()), u"999"_s);
    EXPECT_EQ(countText(1000000, QLocale::c()), u"1,000,000"_s);
    EXPECT_EQ(countText(1234, QLocale(QLocale::German, QLocale::Germany)), u"1.234"_s);
    EXPECT_EQ(countText(-12345, QLocale(QLocale::English, QLocale::UnitedStates)), u"-12,345"_s);
}
