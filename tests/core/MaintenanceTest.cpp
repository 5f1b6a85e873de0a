#include "Maintenance.h"
#include "Error.h"
#include "FilterQuery.h"
#include "Layout.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QVariant>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

const QVariant null;

// A program folder with a scripted prompter and a recording progress sink.
struct Fixture
{
    test::TestHome home;
    test::ScriptedPrompter prompter;
    test::RecordingProgress progress;
    Maintenance maintenance{home.dm(), progress, prompter};

    // Inserts one row, binding every value (a null QVariant is Null).
    void insert(const QString &table, const QStringList &columns, const QVariantList &values)
    {
        QStringList names;
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            names << Tdm::quoteId(columns.at(i));
            marks << u"?%1"_s.arg(i + 1);
        }
        Stmt stmt = home.dm().prepare(u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(
                Tdm::quoteId(table), names.join(u','), marks.join(u',')));
        for (qsizetype i = 0; i < values.size(); ++i) {
            const QVariant &v = values.at(i);
            if (v.isNull())
                stmt->bindNull(int(i + 1));
            else if (v.typeId() == QMetaType::Int)
                stmt->bindInteger(int(i + 1), v.toInt());
            else
                stmt->bindText(int(i + 1), v.toString());
        }
        ASSERT_EQ(stmt->step(), db::Step::Done) << stmt->refusal().toStdString();
    }
    void cow(const QString &table, const QVariant &herd, const QVariant &cowId, const QVariant &nid,
             const QVariant &calving = QVariant())
    {
        if (table == u"103"_s || table == u"104"_s)
            insert(table, {u"HerdCode"_s, u"CowID"_s, u"NationalID"_s, u"CalvingDate"_s},
                   {herd, cowId, nid, calving});
        else
            insert(table, {u"HerdCode"_s, u"CowID"_s, u"NationalID"_s}, {herd, cowId, nid});
    }
    // The cows of a table in row order, "herd/cow/nid" (Null as "-").
    QStringList cows(const QString &table)
    {
        return home.rows(
                u"SELECT ifnull(HerdCode, '-') || '/' || ifnull(CowID, '-') || '/' || "
                "ifnull(NationalID, '-') FROM %1 ORDER BY rowid"_s.arg(Tdm::quoteId(table)));
    }
    // Every row of every table, and the schema, as one text to compare before and after.
    QStringList everything()
    {
        QStringList all = home.rows(u"SELECT type, name, sql FROM sqlite_master ORDER BY name"_s);
        QStringList tables = recordTypeCodes();
        tables << u"MergeCow"_s;
        for (const QString &table : std::as_const(tables))
            if (!home.dm().columns(table).isEmpty())
                all << table + u':'
                                + home.rows(u"SELECT * FROM %1 ORDER BY rowid"_s.arg(
                                                    Tdm::quoteId(table)))
                                          .join(u';');
        return all;
    }
    QStringList questionLines() const
    {
        QStringList lines;
        for (const QString &q : prompter.questions)
            lines << q.section(u'\r', 0, 0);
        return lines;
    }
};

// Pedigree, lactation, test-day and other cow records that meet every matching rule once:
// matches by national ID only, by cow and herd only, in another letter case, Null national IDs,
// unknown cows, test days whose calving date has no lactation or is Null, an empty client table.
struct CleanupFixture : Fixture
{
    CleanupFixture()
    {
        cow(u"102"_s, u"H1"_s, u"C1"_s, u"NZL1"_s);
        cow(u"102"_s, u"H1"_s, u"C2"_s, null);
        cow(u"102"_s, u"H2"_s, u"C3"_s, u"NZL3"_s);
        cow(u"102"_s, u"H1"_s, u"C9"_s, u"nzl9"_s);

        cow(u"103"_s, u"H9"_s, u"C99"_s, u"NZL1"_s, u"2020-01-01"_s); // national ID only
        cow(u"103"_s, u"H1"_s, u"C2"_s, null, u"2020-02-01"_s);       // cow and herd, Null ID
        cow(u"103"_s, u"H1"_s, u"C2"_s, u"NZLX"_s, u"2020-03-01"_s);  // cow and herd, other ID
        cow(u"103"_s, u"H1"_s, u"C5"_s, null, u"2020-04-01"_s);       // unknown
        cow(u"103"_s, u"H3"_s, u"C3"_s, u"NZL7"_s, u"2020-05-01"_s);  // unknown
        cow(u"103"_s, u"h1"_s, u"c1"_s, null, u"2020-06-01"_s);       // cow and herd, other case
        cow(u"103"_s, u"X"_s, u"Y"_s, u"NZL9"_s, u"2020-07-01"_s);    // national ID, other case

        cow(u"104"_s, u"H1"_s, u"C1"_s, u"NZL1"_s, u"2020-01-01"_s); // has its lactation
        cow(u"104"_s, u"H1"_s, u"C1"_s, u"NZL1"_s, u"2019-01-01"_s); // no such calving
        cow(u"104"_s, u"H1"_s, u"C1"_s, u"NZL1"_s, null);            // Null calving date
        cow(u"104"_s, u"H5"_s, u"C5"_s, u"NZL5"_s, u"2020-01-01"_s); // unknown cow
        cow(u"104"_s, u"H1"_s, u"C2"_s, null, u"2020-02-01"_s);      // Null national ID
        cow(u"104"_s, u"x"_s, u"y"_s, u"Nzl9"_s, u"2020-07-01"_s);   // lactation, other case

        cow(u"108"_s, u"H2"_s, u"C3"_s, null);
        cow(u"108"_s, u"H2"_s, u"C4"_s, null);
        cow(u"112"_s, u"Z"_s, u"Z"_s, u"NZL3"_s);
        cow(u"211"_s, u"H1"_s, u"C1"_s, u"NZL1"_s);
        cow(u"211"_s, u"Q"_s, u"Q"_s, null);
        insert(u"105"_s, {u"NationalID"_s}, {u"BULL1"_s});
        insert(u"101"_s, {u"HerdCode"_s}, {u"H7"_s});
    }
};

} // namespace

TEST(Cleanup, notIn102AsksSixTimesAndRemovesTheUnmatchedRows)
{
    CleanupFixture f;
    const QStringList before102 = f.cows(u"102"_s);
    const QStringList columns = f.home.dm().columns(u"103"_s);
    f.maintenance.RemoveDataForCowsNotIn102();

    EXPECT_EQ(f.prompter.questions,
              (QStringList{
                      u"2 Unmatched records found in 103 file.\r\rDo you wish to remove them."_s,
                      u"1 Unmatched records found in 104 file.\r\rDo you wish to remove them."_s,
                      u"0 Unmatched records found in 106 file.\r\rDo you wish to remove them."_s,
                      u"1 Unmatched records found in 108 file.\r\rDo you wish to remove them."_s,
                      u"0 Unmatched records found in 112 file.\r\rDo you wish to remove them."_s,
                      u"1 Unmatched records found in 211 file.\r\rDo you wish to remove them."_s}));
    EXPECT_EQ(f.prompter.notices, QStringList{u"Finished Cleanup."_s});
    EXPECT_TRUE(f.prompter.errors.isEmpty());

    EXPECT_EQ(f.cows(u"102"_s), before102);
    EXPECT_EQ(f.cows(u"103"_s), (QStringList{u"H9/C99/NZL1"_s, u"H1/C2/-"_s, u"H1/C2/NZLX"_s,
                                             u"h1/c1/-"_s, u"X/Y/NZL9"_s}));
    EXPECT_EQ(f.cows(u"104"_s), (QStringList{u"H1/C1/NZL1"_s, u"H1/C1/NZL1"_s, u"H1/C1/NZL1"_s,
                                             u"H1/C2/-"_s, u"x/y/Nzl9"_s}));
    EXPECT_EQ(f.cows(u"108"_s), QStringList{u"H2/C3/-"_s});
    EXPECT_EQ(f.cows(u"112"_s), QStringList{u"Z/Z/NZL3"_s});
    EXPECT_EQ(f.cows(u"211"_s), QStringList{u"H1/C1/NZL1"_s});
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM [105]"_s), QStringList{u"1"_s});
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM [101]"_s), QStringList{u"1"_s});
    // No marker column, no index and no scratch table stays behind; the cursor is back.
    EXPECT_EQ(f.home.dm().columns(u"103"_s), columns);
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM sqlite_master WHERE type = 'index'"_s),
              QStringList{u"0"_s});
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM sqlite_temp_master"_s), QStringList{u"0"_s});
    // The wait cursor came on for every step's count and delete, and is off again.
    EXPECT_GE(f.progress.busySpells, 10);
    EXPECT_FALSE(f.progress.isBusy());
}

TEST(Cleanup, notIn103TrimsThePedigreeFirstThenRemovesTestDaysWithoutALactation)
{
    CleanupFixture f;
    const QStringList lactations = f.cows(u"103"_s);
    f.maintenance.RemoveCowsNotIn103();

    EXPECT_EQ(f.questionLines(),
              (QStringList{u"1 Unmatched records found in 102 file."_s,
                           u"1 Unmatched records found in 104 file."_s,
                           u"0 Unmatched records found in 106 file."_s,
                           // the cow H2/C3 has just left the pedigree table
                           u"2 Unmatched records found in 108 file."_s,
                           u"1 Unmatched records found in 112 file."_s,
                           u"1 Unmatched records found in 211 file."_s,
                           u"3 Records found in 104 file with no corresponding 103 record."_s}));
    EXPECT_EQ(f.prompter.questions.last(),
              u"3 Records found in 104 file with no corresponding 103 record.\r\rDo you wish to "
              "remove them."_s);
    EXPECT_EQ(f.prompter.notices, QStringList{u"Finished Cleanup."_s});

    EXPECT_EQ(f.cows(u"102"_s), (QStringList{u"H1/C1/NZL1"_s, u"H1/C2/-"_s, u"H1/C9/nzl9"_s}));
    EXPECT_EQ(f.cows(u"103"_s), lactations) << "103 is a master here and never loses rows";
    EXPECT_EQ(f.cows(u"104"_s), (QStringList{u"H1/C1/NZL1"_s, u"x/y/Nzl9"_s}));
    EXPECT_TRUE(f.cows(u"108"_s).isEmpty());
    EXPECT_TRUE(f.cows(u"112"_s).isEmpty());
    EXPECT_EQ(f.home.rows(u"SELECT CalvingDate FROM [104] ORDER BY rowid"_s),
              (QStringList{u"2020-01-01"_s, u"2020-07-01"_s}));
}

TEST(Cleanup, noSkipsOnlyThatStepsDelete)
{
    CleanupFixture f;
    // No to the pedigree step: the cow H2/C3 stays, so its mating record has a partner.
    f.prompter.answers = {false, true, true, true, true, true, false};
    f.maintenance.RemoveCowsNotIn103();
    EXPECT_EQ(f.questionLines().at(3), u"1 Unmatched records found in 108 file."_s);
    EXPECT_EQ(f.cows(u"102"_s).size(), 4);
    EXPECT_EQ(f.cows(u"108"_s), QStringList{u"H2/C3/-"_s});
    EXPECT_EQ(f.cows(u"104"_s).size(), 5) << "only the unknown cow's test day went";
    EXPECT_EQ(f.prompter.notices, QStringList{u"Finished Cleanup."_s});
}

TEST(Cleanup, noToEveryPromptKeepsEverything)
{
    CleanupFixture f;
    const QStringList before = f.everything();
    f.prompter.answers = std::deque<bool>(7, false);
    f.maintenance.RemoveDataForCowsNotIn102();
    f.prompter.answers = std::deque<bool>(7, false);
    f.maintenance.RemoveCowsNotIn103();
    EXPECT_EQ(f.prompter.questions.size(), 13);
    EXPECT_EQ(f.prompter.notices, (QStringList{u"Finished Cleanup."_s, u"Finished Cleanup."_s}));
    EXPECT_EQ(f.everything(), before);
}

TEST(Cleanup, anEmptyMasterTableLeavesEveryClientRowUnmatched)
{
    CleanupFixture f;
    f.home.dm().exec(u"DELETE FROM [102]"_s);
    f.home.dm().exec(u"DELETE FROM [211]"_s); // an empty client table: 0, still asked
    f.maintenance.RemoveDataForCowsNotIn102();
    EXPECT_EQ(f.questionLines(), (QStringList{u"7 Unmatched records found in 103 file."_s,
                                              u"6 Unmatched records found in 104 file."_s,
                                              u"0 Unmatched records found in 106 file."_s,
                                              u"2 Unmatched records found in 108 file."_s,
                                              u"1 Unmatched records found in 112 file."_s,
                                              u"0 Unmatched records found in 211 file."_s}));
    for (const QString &table : {u"103"_s, u"104"_s, u"108"_s, u"112"_s})
        EXPECT_TRUE(f.cows(table).isEmpty()) << table.toStdString();
}

TEST(Cleanup, anErrorInTheMiddleLeavesEveryTableAsItWas)
{
    CleanupFixture f;
    // The fourth step's delete fails; the deletes of the steps before it are undone too.
    f.home.dm().exec(u"CREATE TRIGGER refuse BEFORE DELETE ON [108] BEGIN SELECT RAISE(ABORT, "
                     "'mating records are locked'); END"_s);
    const QStringList before = f.everything();
    try {
        f.maintenance.RemoveDataForCowsNotIn102();
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), u"mating records are locked"_s);
    }
    EXPECT_EQ(f.prompter.questions.size(), 4);
    EXPECT_TRUE(f.prompter.notices.isEmpty());
    EXPECT_EQ(f.everything(), before);
    EXPECT_FALSE(f.progress.isBusy());

    // A missing client table ends the command the same way.
    f.home.dm().exec(u"DROP TRIGGER refuse"_s);
    f.home.dm().exec(u"DROP TABLE [211]"_s);
    const QStringList before2 = f.everything();
    EXPECT_THROW(f.maintenance.RemoveDataForCowsNotIn102(), Error);
    EXPECT_EQ(f.everything(), before2);
}

TEST(Cleanup, keysInMemoryFindWhatTheDatabasesComparisonFinds)
{
    // Values of every storage class, letter case inside and outside ASCII, blanks, Null, an
    // integer and a real of one value; both ways of finding orphans must agree on each.
    Fixture f;
    Tdm &dm = f.home.dm();
    dm.exec(uR"(INSERT INTO [103] (NationalID, CowID, HerdCode, CalvingDate) VALUES
                ('A', 'c1', 'h1', '2020-01-01'), ('b', 'c2', 'h2', 20200101),
                ('C', 'c3', NULL, 20200101.5), ('D', X'00', 'h4', X'00'),
                (X'41', 'c5', 'h5', '2020-01-01'), ('É', 'ç6', 'H6', '2020-01-01'),
                (NULL, 'c7', 'h7', '2020-01-01'), ('F', 'c8', 'h8', NULL), ('G', 'c9', 'h9', 1e300),
                ('H', '10', 'h10', -0.0))"_s);
    dm.exec(uR"(INSERT INTO [104] (NationalID, CowID, HerdCode, CalvingDate) VALUES
                ('a', 'C1', 'H1', '2020-01-01'), ('A', 'x', 'x', '2020-01-01 '),
                ('B', 'C2', 'h2', 20200101.0), ('c', 'c3', NULL, 20200101.5),
                ('c', 'c3', 'h3', 20200101.25), ('d', X'00', 'h4', X'00'), ('D', 'x', 'x', x'0000'),
                (X'41', 'c5', 'H5', '2020-01-01'), (X'61', 'x', 'x', '2020-01-01'),
                ('é', 'Ç6', 'h6', '2020-01-01'), ('É', 'ç6', 'h6', '2020-01-01'),
                (NULL, 'c7', 'h7', '2020-01-01'), ('f', 'c8', 'h8', NULL), ('g', 'c9', 'h9', 1e300),
                ('h', 10, 'H10', 0), ('h', '10.0', 'h10', 0.5), (' A', 'c1 ', 'h1', '2020-01-01'))"_s);
    const QList<std::pair<QList<QStringList>, int>> cases = {
            // 'é' and 'Ç6' find their partners 'É' and 'ç6': every letter folds.
            {{{u"NationalID"_s}, {u"CowID"_s, u"HerdCode"_s}}, 2},
            {{{u"NationalID"_s, u"CalvingDate"_s}}, 8},
            {{{u"CowID"_s, u"HerdCode"_s, u"CalvingDate"_s}}, 8},
            {{{u"NoSuchColumn"_s}}, 17},
    };
    for (const auto &[matches, expected] : cases) {
        OrphanFinder memory(dm);
        OrphanFinder sql(dm);
        sql.setStrategy(OrphanFinder::Strategy::Sql);
        const std::vector<qint64> bySql = sql.find(u"103"_s, u"104"_s, matches);
        EXPECT_EQ(memory.find(u"103"_s, u"104"_s, matches), bySql);
        EXPECT_EQ(int(bySql.size()), expected) << matches.first().join(u',').toStdString();
        sql.dropIndexes();
    }
}

TEST(Cleanup, fileCleanIsOneStepOnItsOwn)
{
    CleanupFixture f;
    EXPECT_EQ(f.maintenance.FileClean(u"102"_s, u"103"_s), 2);
    EXPECT_EQ(f.questionLines(), QStringList{u"2 Unmatched records found in 103 file."_s});
    EXPECT_TRUE(f.prompter.notices.isEmpty());
    EXPECT_EQ(f.cows(u"103"_s).size(), 5);
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM sqlite_master WHERE type = 'index'"_s),
              QStringList{u"0"_s});
}

// ---------------------------------------------------------------------------------------------

namespace {

// Test days with a text, a number and a date column: mixed letter case, quotes, Null.
struct TrimFixture : Fixture
{
    TrimFixture() { reset(); }
    void reset()
    {
        home.dm().exec(u"DELETE FROM [104]"_s);
        prompter.questions.clear();
        prompter.notices.clear();
        const QStringList columns{u"HerdCode"_s, u"CellCount"_s, u"TestDate"_s};
        insert(u"104"_s, columns, {u"Abc"_s, 100, u"2020-01-01"_s});
        insert(u"104"_s, columns, {u"ABD"_s, 200, u"2020-06-15"_s});
        insert(u"104"_s, columns, {null, null, null});
        insert(u"104"_s, columns, {u"O'Brien \"x\""_s, 300, u"2021-01-01"_s});
        insert(u"104"_s, columns, {u"abc"_s, 50, u"2019-12-31"_s});
    }
    FilterQuery filter(const QString &field, int op, const QString &start, const QString &end)
    {
        FilterState s;
        s.table = u"104"_s;
        s.field = field;
        s.op = op;
        s.startTextEnabled = s.startDateEnabled = op != opEmpty && op != opNotEmpty;
        s.endTextEnabled = s.endDateEnabled = op == opBetween;
        if (field == u"TestDate"_s) {
            s.dateMode = true;
            s.startDate = QDate::fromString(start, Qt::ISODate);
            s.endDate = QDate::fromString(end, Qt::ISODate);
        }
        s.startText = start;
        s.endText = end;
        return buildFilterQuery(
                s, [this](const QString &name) { return GetFieldType(home.dm(), u"104"_s, name); },
                home.dm().connection().caseless());
    }
    QStringList rowids() { return home.rows(u"SELECT rowid FROM [104] ORDER BY rowid"_s); }
};

struct TrimCase
{
    const char *name;
    const char *field;
    int op;
    QString start;
    QString end;
    QStringList matching; // rowids the filter lists
};

void PrintTo(const TrimCase &c, std::ostream *os)
{
    *os << c.name;
}

class TrimTest : public testing::TestWithParam<TrimCase>
{};

QStringList complement(const QStringList &rows)
{
    QStringList rest;
    for (const QString &r : {u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s})
        if (!rows.contains(r))
            rest << r;
    return rest;
}

} // namespace

TEST_P(TrimTest, applyKeepsAndRemoveDeletesExactlyTheListedRows)
{
    const TrimCase &c = GetParam();
    {
        TrimFixture f;
        const FilterQuery query = f.filter(QString::fromLatin1(c.field), c.op, c.start, c.end);
        f.maintenance.ApplyFilterToCurrentTable(query.table, query.where);
        EXPECT_EQ(f.prompter.questions,
                  QStringList{u"This will remove %1 records from the 104 file that have been "
                              "excluded by the current filter.\r\rDo you wish to continue."_s.arg(
                                      5 - c.matching.size())});
        EXPECT_EQ(f.rowids(), c.matching);
        EXPECT_EQ(f.prompter.notices, QStringList{u"Finished."_s});
    }
    {
        TrimFixture f;
        const FilterQuery query = f.filter(QString::fromLatin1(c.field), c.op, c.start, c.end);
        f.maintenance.RemoveDisplayedData(query.table, query.where);
        EXPECT_EQ(f.prompter.questions,
                  QStringList{u"This will remove the %1 records displayed from the 104 file.\r\rDo "
                              "you wish to continue."_s.arg(c.matching.size())});
        EXPECT_EQ(f.rowids(), complement(c.matching));
        EXPECT_EQ(f.prompter.notices, QStringList{u"Finished."_s});
    }
}

const QStringList r1{u"1"_s}, r3{u"3"_s}, r4{u"4"_s}, r15{u"1"_s, u"5"_s}, r24{u"2"_s, u"4"_s},
        r12{u"1"_s, u"2"_s}, r125{u"1"_s, u"2"_s, u"5"_s}, r124{u"1"_s, u"2"_s, u"4"_s},
        r1245{u"1"_s, u"2"_s, u"4"_s, u"5"_s};

INSTANTIATE_TEST_SUITE_P(
        Trim, TrimTest,
        testing::Values(
                // Text compares without regard to case; Null matches only "Is Empty".
                TrimCase{"textEqual", "HerdCode", opEqual, u"ABC"_s, {}, r15},
                TrimCase{"textLess", "HerdCode", opLess, u"ABD"_s, {}, r15},
                TrimCase{"textLessOrEqual", "HerdCode", opLessOrEqual, u"ABD"_s, {}, r125},
                TrimCase{"textGreater", "HerdCode", opGreater, u"ABC"_s, {}, r24},
                TrimCase{"textGreaterOrEqual", "HerdCode", opGreaterOrEqual, u"ABD"_s, {}, r24},
                TrimCase{"textBetween", "HerdCode", opBetween, u"ABC"_s, u"ABD"_s, r125},
                TrimCase{"textEmpty", "HerdCode", opEmpty, {}, {}, r3},
                TrimCase{"textNotEmpty", "HerdCode", opNotEmpty, {}, {}, r1245},
                TrimCase{"textContains", "HerdCode", opContains, u"B"_s, {}, r1245},
                // Quotes in the typed text are matched as they are, never as SQL.
                TrimCase{"textWithQuotes", "HerdCode", opEqual, u"O'BRIEN \"X\""_s, {}, r4},
                TrimCase{"containsQuote", "HerdCode", opContains, u"'B"_s, {}, r4},
                TrimCase{"containsWildcard", "HerdCode", opContains, u"%"_s, {}, {}},
                TrimCase{"numberEqual", "CellCount", opEqual, u"100"_s, {}, r1},
                TrimCase{"numberLess", "CellCount", opLess, u"200"_s, {}, r15},
                TrimCase{"numberLessOrEqual", "CellCount", opLessOrEqual, u"200"_s, {}, r125},
                TrimCase{"numberGreater", "CellCount", opGreater, u"100"_s, {}, r24},
                TrimCase{"numberGreaterOrEqual", "CellCount", opGreaterOrEqual, u"200"_s, {}, r24},
                TrimCase{"numberBetween", "CellCount", opBetween, u"60"_s, u"250"_s, r12},
                TrimCase{"numberEmpty", "CellCount", opEmpty, {}, {}, r3},
                TrimCase{"numberNotEmpty", "CellCount", opNotEmpty, {}, {}, r1245},
                TrimCase{"numberContains", "CellCount", opContains, u"0"_s, {}, r1245},
                TrimCase{"dateEqual", "TestDate", opEqual, u"2020-01-01"_s, {}, r1},
                TrimCase{"dateLess", "TestDate", opLess, u"2020-06-15"_s, {}, r15},
                TrimCase{"dateLessOrEqual", "TestDate", opLessOrEqual, u"2020-06-15"_s, {}, r125},
                TrimCase{"dateGreater", "TestDate", opGreater, u"2020-01-01"_s, {}, r24},
                TrimCase{"dateGreaterOrEqual",
                         "TestDate",
                         opGreaterOrEqual,
                         u"2020-01-01"_s,
                         {},
                         r124},
                TrimCase{"dateBetween", "TestDate", opBetween, u"2020-01-01"_s, u"2020-12-31"_s,
                         r12},
                TrimCase{"dateEmpty", "TestDate", opEmpty, {}, {}, r3},
                TrimCase{"dateNotEmpty", "TestDate", opNotEmpty, {}, {}, r1245}),
        [](const testing::TestParamInfo<TrimCase> &row) { return row.param.name; });

TEST(Trim, withoutAFilterApplyAnnouncesZeroAndRemoveTakesEveryRow)
{
    TrimFixture f;
    FilterQuery none;
    none.table = u"104"_s;
    f.maintenance.ApplyFilterToCurrentTable(none.table, none.where);
    EXPECT_TRUE(f.prompter.questions.first().startsWith(u"This will remove 0 records from"_s));
    EXPECT_EQ(f.rowids().size(), 5);
    f.maintenance.RemoveDisplayedData(none.table, none.where);
    EXPECT_TRUE(f.prompter.questions.last().startsWith(u"This will remove the 5 records"_s));
    EXPECT_TRUE(f.rowids().isEmpty());
    EXPECT_EQ(f.prompter.notices, (QStringList{u"Finished."_s, u"Finished."_s}));
}

TEST(Trim, noChangesNothingAndARefusedConditionDeletesNothing)
{
    TrimFixture f;
    const FilterQuery abc = f.filter(u"HerdCode"_s, opEqual, u"ABC"_s, {});
    f.prompter.answers = {false, false};
    f.maintenance.ApplyFilterToCurrentTable(abc.table, abc.where);
    f.maintenance.RemoveDisplayedData(abc.table, abc.where);
    EXPECT_EQ(f.rowids().size(), 5);
    EXPECT_TRUE(f.prompter.notices.isEmpty());

    // A value left empty (a re-query without Apply's checks): the database refuses the
    // condition, so nothing is asked and nothing deleted.
    const FilterQuery broken = f.filter(u"CellCount"_s, opEqual, QString(), {});
    EXPECT_THROW(f.maintenance.ApplyFilterToCurrentTable(broken.table, broken.where), Error);
    EXPECT_THROW(f.maintenance.RemoveDisplayedData(broken.table, broken.where), Error);
    EXPECT_EQ(f.prompter.questions.size(), 2);
    EXPECT_EQ(f.rowids().size(), 5);
    EXPECT_FALSE(f.progress.isBusy());
}

// ---------------------------------------------------------------------------------------------

namespace {

struct HerdcodeCase
{
    const char *name;
    QString typed;   // a null QString cancels the input box
    QString written; // empty: nothing changes
    QStringList notices;
};

void PrintTo(const HerdcodeCase &c, std::ostream *os)
{
    *os << c.name;
}

class HerdcodeTest : public testing::TestWithParam<HerdcodeCase>
{};

} // namespace

TEST_P(HerdcodeTest, writesTheCodeAsTypedIntoEveryTableThatHasTheColumn)
{
    const HerdcodeCase &c = GetParam();
    CleanupFixture f;
    const QStringList before = f.everything();
    f.prompter.choices = {c.typed};
    f.maintenance.ChangeHerdcode(u"H1"_s);
    EXPECT_EQ(f.prompter.inputs, QStringList{u"Change Herdcode|Enter New Herdcode|H1"_s});
    EXPECT_EQ(f.prompter.notices, c.notices);
    if (c.written.isEmpty()) {
        EXPECT_EQ(f.everything(), before);
        return;
    }
    for (const RecordType &t : recordTypes()) {
        if (t.code == u"105"_s)
            continue;
        const QStringList codes = f.home.rows(
                u"SELECT DISTINCT ifnull(HerdCode, '-') FROM %1"_s.arg(Tdm::quoteId(t.code)));
        EXPECT_TRUE(codes.isEmpty() || codes == QStringList{c.written}) << t.code.toStdString();
    }
    EXPECT_EQ(f.home.rows(u"SELECT DISTINCT HerdCode FROM [103]"_s), QStringList{c.written});
    EXPECT_EQ(f.home.rows(u"SELECT NationalID FROM [105]"_s), QStringList{u"BULL1"_s});
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM MergeCow"_s), QStringList{u"0"_s});
    const auto &changes = f.maintenance.changes();
    ASSERT_EQ(changes.size(), 11); // every record type but 105
    EXPECT_EQ(changes.at(2).table, u"103"_s);
    EXPECT_EQ(changes.at(2).rows, 7);
}

INSTANTIATE_TEST_SUITE_P(
        Herdcode, HerdcodeTest,
        testing::Values(HerdcodeCase{"sevenCharacters", u"ABC1234"_s, u"ABC1234"_s, {}},
                        HerdcodeCase{"eightCharacters",
                                     u"ABC12345"_s,
                                     {},
                                     {u"Herdcode must be less than 7 characters."_s}},
                        HerdcodeCase{"inApostrophes", u"'ABC'"_s, u"ABC"_s, {}},
                        HerdcodeCase{"apostropheInside", u"O'BR"_s, u"O'BR"_s, {}},
                        HerdcodeCase{"asTyped", u" ab c"_s, u" ab c"_s, {}},
                        HerdcodeCase{"empty", u""_s, {}, {}},
                        HerdcodeCase{"onlyApostrophes", u"''"_s, {}, {}},
                        HerdcodeCase{"cancel", QString(), {}, {}}),
        [](const testing::TestParamInfo<HerdcodeCase> &row) { return row.param.name; });

TEST(Herdcode, aConfirmationThatSaysNoUndoesTheChange)
{
    CleanupFixture f;
    const QStringList before = f.everything();
    QList<Maintenance::TableChange> seen;
    f.maintenance.setConfirm([&](const QList<Maintenance::TableChange> &changes) {
        seen = changes;
        return false;
    });
    f.prompter.choices = {u"NEW"_s};
    f.maintenance.ChangeHerdcode(QString());
    EXPECT_EQ(seen.size(), 11);
    EXPECT_EQ(f.everything(), before);
}

// ---------------------------------------------------------------------------------------------

namespace {

// A 102 line of the current layout: herd, cow and national ID at their columns.
QByteArray pedigree(const char *herd, const char *cowId, const char *nid)
{
    return "1021" + QByteArray(herd).leftJustified(8, ' ') + QByteArray(cowId).leftJustified(8, ' ')
           + QByteArray(nid).leftJustified(19, ' ') + "20150101\r\n";
}

} // namespace

TEST(Merge, copiesNationalIdsIntoEveryTableByCowAndHerd)
{
    CleanupFixture f;
    f.cow(u"MergeCow"_s, u"OLD"_s, u"OLD"_s, u"LEFTOVER"_s); // left by an earlier failure
    f.home.write(u"other.102"_s, pedigree("H1", "C1", "NZLNEW1") + pedigree("h1", "c2", "")
                                         + pedigree("H8", "C8", "NZL88"));
    f.prompter.choices = {f.home.path() + u"other.txt"_s};
    f.maintenance.MergeNationalIDs(u"/last/herd.102"_s);

    EXPECT_EQ(f.prompter.filters, QStringList{u"DIF Files (*.102)"_s});
    EXPECT_EQ(f.prompter.initials, QStringList{u"/last/herd.102"_s});
    EXPECT_EQ(f.maintenance.mergeFile(), f.home.path() + u"other.102"_s);
    EXPECT_EQ(f.prompter.notices, QStringList{u"Finished Merge."_s});
    EXPECT_TRUE(f.prompter.errors.isEmpty());
    EXPECT_TRUE(f.prompter.questions.isEmpty());
    EXPECT_TRUE(f.progress.statuses.contains(u"Importing DIF 102"_s));
    EXPECT_FALSE(f.progress.isVisible());

    // Cow and herd match without regard to case; a blank national ID clears the matched rows'.
    EXPECT_EQ(f.cows(u"102"_s),
              (QStringList{u"H1/C1/NZLNEW1"_s, u"H1/C2/-"_s, u"H2/C3/NZL3"_s, u"H1/C9/nzl9"_s}));
    EXPECT_EQ(f.cows(u"103"_s),
              (QStringList{u"H9/C99/NZL1"_s, u"H1/C2/-"_s, u"H1/C2/-"_s, u"H1/C5/-"_s,
                           u"H3/C3/NZL7"_s, u"h1/c1/NZLNEW1"_s, u"X/Y/NZL9"_s}));
    EXPECT_EQ(f.cows(u"104"_s).mid(0, 3), QStringList(3, u"H1/C1/NZLNEW1"_s));
    EXPECT_EQ(f.cows(u"211"_s), (QStringList{u"H1/C1/NZLNEW1"_s, u"Q/Q/-"_s}));
    EXPECT_EQ(f.home.rows(u"SELECT NationalID FROM [105]"_s), QStringList{u"BULL1"_s});
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM MergeCow"_s), QStringList{u"0"_s});
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM sqlite_master WHERE type = 'index'"_s),
              QStringList{u"0"_s});
}

TEST(Merge, aMissingEmptyOrForeignFileChangesNothing)
{
    CleanupFixture f;
    const QStringList before = f.everything();

    f.home.write(u"herd.txt"_s, pedigree("H1", "C1", "NZLNEW1"));
    f.prompter.choices = {f.home.path() + u"herd.txt"_s};
    f.maintenance.MergeNationalIDs(QString());
    EXPECT_EQ(f.prompter.notices, QStringList{u"DIF 102 does not exist."_s});
    EXPECT_EQ(f.maintenance.mergeFile(), f.home.path() + u"herd.102"_s);

    f.maintenance.MergeNationalIDs(QString()); // cancelled
    EXPECT_EQ(f.prompter.notices.size(), 1);

    f.home.write(u"empty.102"_s, QByteArray());
    f.home.write(u"herd9.102"_s, pedigree("H9", "C9", "NZL9"));
    f.home.write(u"lact.102"_s, "1031" + pedigree("H1", "C1", "NZLNEW1").mid(4));
    for (const char *name : {"empty.102", "herd9.102", "lact.102"}) {
        f.prompter.choices = {f.home.path() + QString::fromLatin1(name)};
        f.maintenance.MergeNationalIDs(QString());
        EXPECT_EQ(f.prompter.notices.last(), u"Finished Merge."_s) << name;
        EXPECT_EQ(f.everything(), before) << name;
    }
}
