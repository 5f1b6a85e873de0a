#include "FilterQuery.h"
#include "Error.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QLocale>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// The SQLite engine's term for text compared without regard to case for every letter.
const QString kCaseless = u" COLLATE bm_nocase"_s;

// Field type codes of a few columns, as the lookup of the window would give them.
int typeOf(const QString &field)
{
    if (field == u"Milk"_s)
        return ftFloat;
    if (field == u"CellCount"_s)
        return ftInteger;
    if (field == u"CalvingDate"_s)
        return ftDateTime;
    if (field == u"Flag"_s)
        return ftBoolean;
    return ftWideString;
}

FilterState state(const QString &table, const QString &field, int op, const QString &start = {},
                  const QString &end = {})
{
    FilterState s;
    s.table = table;
    s.field = field;
    s.op = op;
    s.startText = start;
    s.endText = end;
    // The filter bar enables the inputs by operator.
    s.startTextEnabled = s.startDateEnabled = op != opEmpty && op != opNotEmpty;
    s.endTextEnabled = s.endDateEnabled = op == opBetween;
    return s;
}

FilterState sorted(FilterState s, const QString &column, SortDirection direction)
{
    s.sort = {column, direction};
    return s;
}

FilterState dated(FilterState s, QDate start, QDate end = {})
{
    s.dateMode = true;
    s.startDate = start;
    s.endDate = end;
    return s;
}

// Date inputs holding text that is no date.
FilterState typedDates(FilterState s, const QString &start, const QString &end = {})
{
    s.dateMode = true;
    s.startDateText = start;
    s.endDateText = end;
    return s;
}

struct SqlCase
{
    const char *name;
    FilterState state;
    QString sql;
};

void PrintTo(const SqlCase &c, std::ostream *os)
{
    *os << c.name;
}

class CreateSqlTest : public testing::TestWithParam<SqlCase>
{};

} // namespace

TEST_P(CreateSqlTest, buildsTheStatement)
{
    EXPECT_EQ(CreateSQL(GetParam().state, false, typeOf, kCaseless), GetParam().sql);
}

INSTANTIATE_TEST_SUITE_P(
        Filter, CreateSqlTest,
        testing::Values(
                SqlCase{"noFilter", state(u"101"_s, {}, -1), uR"(SELECT * FROM "101" )"_s},
                SqlCase{"noFieldWhateverTheOperator", state(u"101"_s, {}, opEqual, u"X"_s),
                        uR"(SELECT * FROM "101" )"_s},
                SqlCase{"sortedOnly",
                        sorted(state(u"101"_s, {}, -1), u"RecordType"_s, SortDirection::Ascending),
                        uR"(SELECT * FROM "101" ORDER BY "RecordType" COLLATE bm_nocase NULLS FIRST)"_s},
                SqlCase{"numberGreaterSortedDescending",
                        sorted(state(u"104"_s, u"Milk"_s, opGreater, u"20"_s), u"RecordType"_s,
                               SortDirection::Descending),
                        uR"(SELECT * FROM "104" WHERE "Milk" > 20 ORDER BY "RecordType" COLLATE bm_nocase DESC NULLS LAST)"_s},
                SqlCase{"dateBetween",
                        dated(state(u"103"_s, u"CalvingDate"_s, opBetween), QDate(2020, 1, 1),
                              QDate(2020, 12, 31)),
                        uR"(SELECT * FROM "103" WHERE "CalvingDate" BETWEEN '2020-01-01' and '2020-12-31' )"_s},
                SqlCase{"isEmpty", state(u"102"_s, u"NationalID"_s, opEmpty),
                        uR"(SELECT * FROM "102" WHERE "NationalID" Is Null )"_s},
                SqlCase{"isNotEmptyThenOrder",
                        sorted(state(u"102"_s, u"NationalID"_s, opNotEmpty), u"RecordType"_s,
                               SortDirection::Ascending),
                        uR"(SELECT * FROM "102" WHERE "NationalID" Is Not Null ORDER BY "RecordType" COLLATE bm_nocase NULLS FIRST)"_s},
                SqlCase{"integerBetween",
                        state(u"104"_s, u"CellCount"_s, opBetween, u"5"_s, u"9"_s),
                        uR"(SELECT * FROM "104" WHERE "CellCount" BETWEEN 5 and 9 )"_s},
                SqlCase{"textEqual", state(u"104"_s, u"HerdCode"_s, opEqual, u"ABC"_s),
                        uR"(SELECT * FROM "104" WHERE "HerdCode" COLLATE bm_nocase = 'ABC' )"_s},
                SqlCase{"textContains", state(u"104"_s, u"HerdCode"_s, opContains, u"ABC"_s),
                        uR"(SELECT * FROM "104" WHERE "HerdCode" LIKE '%ABC%' ESCAPE '\' )"_s},
                SqlCase{"containsOnNumber", state(u"104"_s, u"Milk"_s, opContains, u"2"_s),
                        uR"(SELECT * FROM "104" WHERE "Milk" LIKE '%2%' ESCAPE '\' )"_s},
                SqlCase{"blanksKeptInText", state(u"104"_s, u"HerdCode"_s, opEqual, u"  A "_s),
                        uR"(SELECT * FROM "104" WHERE "HerdCode" COLLATE bm_nocase = '  A ' )"_s},
                SqlCase{"quotesAreValueCharacters",
                        state(u"104"_s, u"HerdCode"_s, opEqual, u"\"O'NEIL"_s),
                        uR"(SELECT * FROM "104" WHERE "HerdCode" COLLATE bm_nocase = '"O''NEIL' )"_s},
                SqlCase{"sortColumnWithoutDirectionOrdersAscending",
                        sorted(state(u"101"_s, {}, -1), u"RecordType"_s, SortDirection::None),
                        uR"(SELECT * FROM "101" ORDER BY "RecordType" COLLATE bm_nocase NULLS FIRST)"_s},
                SqlCase{"emptyValueLeavesComparisonOpen", state(u"104"_s, u"HerdCode"_s, opLess),
                        uR"(SELECT * FROM "104" WHERE "HerdCode" COLLATE bm_nocase <  )"_s},
                SqlCase{"otherTypeHasNoValue", state(u"104"_s, u"Flag"_s, opEqual, u"1"_s),
                        uR"(SELECT * FROM "104" WHERE "Flag" =  )"_s}),
        [](const auto &row) { return std::string(row.param.name); });

TEST(Filter, fieldTypeIsAskedOnlyWhenAValueMayBeNeeded)
{
    int asked = 0;
    auto lookup = [&](const QString &f) {
        ++asked;
        return typeOf(f);
    };
    EXPECT_EQ(CreateSQL(state(u"104"_s, {}, opEqual, u"1"_s), true, lookup, kCaseless), QString());
    EXPECT_EQ(asked, 0);
    // A field without an operator: no clause, but the value is still worked out.
    EXPECT_EQ(CreateSQL(state(u"104"_s, u"Milk"_s, -1, u"1"_s), true, lookup, kCaseless),
              QString());
    EXPECT_EQ(asked, 1);
    // "Is Empty" disables the start inputs: no value, no lookup.
    EXPECT_EQ(CreateSQL(state(u"104"_s, u"Milk"_s, opEmpty), true, lookup, kCaseless),
              uR"(WHERE "Milk" Is Null )"_s);
    EXPECT_EQ(asked, 1);
}

TEST(Filter, nonNumberForNumberColumnIsRefusedBeforeTheStatement)
{
    for (const QString &typed : {u"ABC"_s, u"1; DROP TABLE x"_s, u"INF"_s, u"  "_s, u"1E"_s}) {
        try {
            CreateSQL(state(u"104"_s, u"Milk"_s, opGreater, typed), false, typeOf, kCaseless);
            ADD_FAILURE() << "accepted " << typed.toStdString();
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(u"'%1' is not a number"_s.arg(typed)))
                    << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(u"Milk"_s));
        }
    }
    EXPECT_EQ(
            CreateSQL(state(u"104"_s, u"Milk"_s, opGreater, u"-2.5E3"_s), true, typeOf, kCaseless),
            uR"(WHERE "Milk" > -2.5E3 )"_s);
}

TEST(Filter, numberTypedWithTheLocaleDecimalComma)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString sql
            = CreateSQL(state(u"104"_s, u"Milk"_s, opEqual, u"20,5"_s), true, typeOf, kCaseless);
    QLocale::setDefault(saved);
    EXPECT_EQ(sql, uR"(WHERE "Milk" = 20.5 )"_s);
}

TEST(Filter, typedTextFiltersExactlyInTheDatabase)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    for (const char *herd : {"AB\"C", "O'NEIL", "A%B", "AXB", "A_B", "PLAIN"}) {
        Stmt s = dm.prepare(u"INSERT INTO \"104\" (HerdCode, Milk) VALUES (?1, 20)"_s);
        s->bindText(1, QString::fromUtf8(herd));
        ASSERT_EQ(s->step(), db::Step::Done);
    }
    auto lookup = [&](const QString &f) {
        return GetFieldType(dm, u"104"_s, f);
    };
    auto herds = [&](int op, const QString &text) {
        return home.rows(
                u"SELECT HerdCode FROM \"104\" "_s
                + CreateSQL(state(u"104"_s, u"HerdCode"_s, op, text), true, lookup, kCaseless)
                + u"ORDER BY rowid"_s);
    };
    EXPECT_EQ(herds(opEqual, u"AB\"C"_s), QStringList{u"AB\"C"_s});
    EXPECT_EQ(herds(opEqual, u"O'NEIL"_s), QStringList{u"O'NEIL"_s});
    EXPECT_EQ(herds(opContains, u"%"_s), QStringList{u"A%B"_s});
    EXPECT_EQ(herds(opContains, u"_"_s), QStringList{u"A_B"_s});
    EXPECT_EQ(herds(opEqual, u"X' OR '1'='1"_s), QStringList{});
    EXPECT_EQ(herds(opContains, u"neil"_s), QStringList{u"O'NEIL"_s}) << "Contains ignores case";
}

TEST(Filter, fieldTypesComeFromTheDeclaredColumnTypes)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    EXPECT_EQ(GetFieldType(dm, u"104"_s, u"Milk"_s), ftFloat);
    EXPECT_EQ(GetFieldType(dm, u"104"_s, u"cellcount"_s), ftInteger);
    EXPECT_EQ(GetFieldType(dm, u"104"_s, u"TestDate"_s), ftDateTime);
    EXPECT_EQ(GetFieldType(dm, u"104"_s, u"HerdCode"_s), ftWideString);
    try {
        GetFieldType(dm, u"104"_s, u"Nope"_s);
        ADD_FAILURE() << "no error for a missing field";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), u"Field 'Nope' not found"_s);
    }
    // One rule for every declared type, whichever engine declared it.
    const auto code = [](const char *declared) {
        return fieldTypeCode(columnKindOf(declared));
    };
    EXPECT_EQ(code("boolean"), ftBoolean);
    EXPECT_EQ(code(""), ftUnknown);
    EXPECT_EQ(code("VARCHAR(8)"), ftWideString);
    EXPECT_EQ(code("citext"), ftWideString);
    EXPECT_EQ(code("DATETIME"), ftDateTime);
    EXPECT_EQ(code("double precision"), ftFloat);
    EXPECT_EQ(code("BIGINT"), ftInteger);
    EXPECT_EQ(code("BLOB"), ftOther);
}

TEST(Filter, titleClicksCycleTheSortState)
{
    SortState s;
    const QList<std::pair<QString, SortDirection>> clicks = {
            {u"Milk"_s, SortDirection::Ascending},   {u"Milk"_s, SortDirection::Descending},
            {u"MILK"_s, SortDirection::Ascending},   {u"CowID"_s, SortDirection::Ascending},
            {u"CowID"_s, SortDirection::Descending}, {u"Milk"_s, SortDirection::Ascending},
    };
    for (const auto &[column, direction] : clicks) {
        titleClick(s, column);
        EXPECT_EQ(s.direction, direction) << column.toStdString();
    }
    // The column set by Clear has no direction, and clicking it keeps none.
    SortState cleared{u"RecordType"_s, SortDirection::None};
    titleClick(cleared, u"RecordType"_s);
    titleClick(cleared, u"recordtype"_s);
    EXPECT_EQ(cleared.direction, SortDirection::None);
}

TEST(Filter, applyChecksRunInOrder)
{
    const QString incomplete = u"Incomplete Filter."_s;
    const QString contains = u"Cannot use the Contains Operator on a Date field."_s;
    const QDate day(2021, 3, 5);
    const struct
    {
        const char *name;
        FilterState s;
        QString message;
    } cases[] = {
            {"nothingSelected", state(u"104"_s, {}, -1), incomplete},
            {"noOperator", state(u"104"_s, u"HerdCode"_s, -1, u"A"_s), incomplete},
            {"emptyStart", state(u"104"_s, u"HerdCode"_s, opEqual), incomplete},
            {"emptyEnd", state(u"104"_s, u"HerdCode"_s, opBetween, u"A"_s), incomplete},
            {"blanksPass", state(u"104"_s, u"HerdCode"_s, opEqual, u" "_s), QString()},
            {"emptyNeedsNoValue", state(u"104"_s, u"HerdCode"_s, opEmpty), QString()},
            {"dateContainsWithoutDate", dated(state(u"104"_s, u"TestDate"_s, opContains), {}),
             incomplete},
            {"dateContains", dated(state(u"104"_s, u"TestDate"_s, opContains), day), contains},
            {"dateBetweenWithoutEnd", dated(state(u"104"_s, u"TestDate"_s, opBetween), day),
             incomplete},
            {"dateBetween", dated(state(u"104"_s, u"TestDate"_s, opBetween), day, day), QString()},
            {"typedTextIsNoDate", typedDates(state(u"104"_s, u"TestDate"_s, opEqual), u"5 Marc"_s),
             u"'5 Marc' is not a date. Type a date like %1."_s.arg(
                     QLocale().toString(QDate::currentDate(), shortDateFormat()))},
            {"emptyEndBeforeAWrongStart",
             typedDates(state(u"104"_s, u"TestDate"_s, opBetween), u"x"_s, u" "_s), incomplete},
    };
    for (const auto &c : cases)
        EXPECT_EQ(checkFilter(c.s), c.message) << c.name;
}

TEST(Filter, textNoComparisonUsesIsNotRefusedForANumberColumn)
{
    // "Contains" on a number column makes its own pattern; with no operator (a title click with
    // old text in the start input) nothing is compared.
    EXPECT_EQ(CreateSQL(state(u"104"_s, u"CellCount"_s, opContains, u"1X"_s), true, typeOf,
                        kCaseless),
              uR"(WHERE "CellCount" LIKE '%1X%' ESCAPE '\' )"_s);
    EXPECT_EQ(CreateSQL(sorted(state(u"104"_s, u"Milk"_s, -1, u"ABC"_s), u"Milk"_s,
                               SortDirection::Ascending),
                        false, typeOf, kCaseless),
              uR"(SELECT * FROM "104" ORDER BY "Milk" NULLS FIRST)"_s);

    // In the database: "Contains" on a number column matches the number's text.
    test::TestHome home;
    home.dm().exec(u"INSERT INTO \"104\" (HerdCode, CellCount) VALUES ('A', 212), ('B', 99)"_s);
    const FilterQuery q = buildFilterQuery(
            state(u"104"_s, u"CellCount"_s, opContains, u"21"_s),
            [&](const QString &f) { return GetFieldType(home.dm(), u"104"_s, f); },
            home.dm().connection().caseless());
    EXPECT_EQ(home.rows(u"SELECT HerdCode FROM \"104\" "_s + q.where), QStringList{u"A"_s});
}
