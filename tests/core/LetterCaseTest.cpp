#include "FilterQuery.h"
#include "Maintenance.h"
#include "OrphanFinder.h"
#include "Tdm.h"
#include "TestSupport.h"
#include "TextFold.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <string>

using namespace bm;
using namespace Qt::StringLiterals;

// Letter case aside for every letter, not only A to Z: in the filter, the sort, the trims, the
// clean-up and the merge. The database stays one the sqlite3 shell opens and changes.

TEST(LetterCase, textComparesAndMatchesFoldingEveryLetter)
{
    const struct
    {
        const char *a;
        const char *b;
        int order; // of a against b
    } pairs[] = {
            {"émile", "ÉMILE", 0}, {"NÉ", "né", 0},      {"Ç6", "ç6", 0}, {"abc", "ABD", -1},
            {"ab", "AB c", -1},    {"Zoé", "émile", -1}, {"é", "f", 1},   {"Σ", "σ", 0},
    };
    const auto sign = [](int v) {
        return (v > 0) - (v < 0);
    };
    for (const auto &p : pairs) {
        SCOPED_TRACE(std::string(p.a) + " / " + p.b);
        EXPECT_EQ(sign(compareFolded(p.a, p.b)), p.order);
        EXPECT_EQ(sign(compareFolded(p.b, p.a)), -p.order);
        // The keys of the clean-up are equal exactly when the collation finds the texts equal.
        std::string x;
        std::string y;
        appendFolded(x, p.a);
        appendFolded(y, p.b);
        EXPECT_EQ(x == y, p.order == 0);
    }
    const struct
    {
        const char *pattern;
        const char *text;
        bool match;
    } likes[] = {
            {"%ÉMI%", "émile", true}, {"%émi%", "ÉMILE", true}, {"_mile", "Émile", true},
            {"_mile", "mile", false}, {"%a\\%%", "A%b", true},  {"%a\\%%", "Ab", false},
            {"é_", "É", false},       {"%", "", true},          {"a%c", "ABBC", true},
    };
    for (const auto &l : likes)
        EXPECT_EQ(likeFolded(l.pattern, l.text, U'\\'), l.match) << l.pattern << " " << l.text;
}

namespace {

struct Fixture
{
    test::TestHome home;
    test::ScriptedPrompter prompter;
    test::RecordingProgress progress;

    Fixture()
    {
        home.dm().exec(uR"(INSERT INTO [102] (HerdCode, CowID, NationalID, RegisteredName) VALUES
                ('HÉ1', 'C1', 'NÉ', 'émile'), ('H2', 'Ç3', 'N3', 'Zoé'),
                ('H2', 'c4', 'N4', 'anne'), ('hé1', 'c2', 'N2', 'ÉMILE Rose'))"_s);
        home.dm().exec(uR"(INSERT INTO [103] (HerdCode, CowID, NationalID, CalvingDate) VALUES
                ('x', 'x', 'né', '2020-01-01'), ('h2', 'ç3', NULL, '2020-01-01'),
                ('x', 'x', 'NX', '2020-01-01'))"_s);
    }

    // The rows the grid lists under a filter and sort, as `column` of each.
    QStringList listed(const QString &field, int op, const QString &value,
                       const QString &column = u"RegisteredName"_s, const QString &sort = {})
    {
        FilterState s;
        s.table = u"102"_s;
        s.field = field;
        s.op = op;
        s.startText = value;
        s.startTextEnabled = s.startDateEnabled = !field.isEmpty();
        s.endTextEnabled = s.endDateEnabled = false;
        s.sort = {sort, sort.isEmpty() ? SortDirection::None : SortDirection::Ascending};
        const FilterQuery q = buildFilterQuery(
                s, [&](const QString &f) { return GetFieldType(home.dm(), u"102"_s, f); },
                home.dm().connection().caseless());
        return home.rows(u"SELECT %1 FROM \"102\" %2%3"_s.arg(column, q.where, q.orderBy()));
    }
};

} // namespace

TEST(LetterCase, filterSortAndTrimsFoldEveryLetter)
{
    Fixture f;
    // The filter box turns letters into capitals: ÉMILE is what it gives.
    EXPECT_EQ(f.listed(u"RegisteredName"_s, opEqual, u"ÉMILE"_s), QStringList{u"émile"_s});
    EXPECT_EQ(f.listed(u"RegisteredName"_s, opContains, u"ÉMI"_s),
              (QStringList{u"émile"_s, u"ÉMILE Rose"_s}));
    EXPECT_EQ(f.listed(u"NationalID"_s, opEqual, u"né"_s, u"NationalID"_s), QStringList{u"NÉ"_s});
    EXPECT_EQ(f.listed(u"RegisteredName"_s, opGreaterOrEqual, u"ÉMILE"_s),
              (QStringList{u"émile"_s, u"ÉMILE Rose"_s}));
    EXPECT_EQ(f.listed(QString(), -1, QString(), u"RegisteredName"_s, u"RegisteredName"_s),
              (QStringList{u"anne"_s, u"Zoé"_s, u"émile"_s, u"ÉMILE Rose"_s}));

    // A trim deletes by the same condition the grid lists.
    FilterQuery trim;
    trim.table = u"102"_s;
    trim.where = uR"(WHERE "HerdCode")"_s + f.home.dm().connection().caseless() + u" = 'HÉ1' "_s;
    Maintenance m(f.home.dm(), f.progress, f.prompter);
    m.RemoveDisplayedData(trim.table, trim.where);
    EXPECT_EQ(f.prompter.questions.first().section(u'\r', 0, 0),
              u"This will remove the 2 records displayed from the 102 file."_s);
    EXPECT_EQ(f.home.rows(u"SELECT CowID FROM [102] ORDER BY rowid"_s),
              (QStringList{u"Ç3"_s, u"c4"_s}));
}

TEST(LetterCase, cleanupAndMergeMatchCowsFoldingEveryLetter)
{
    for (const auto strategy : {OrphanFinder::Strategy::Automatic, OrphanFinder::Strategy::Sql}) {
        SCOPED_TRACE(strategy == OrphanFinder::Strategy::Sql ? "sql" : "in memory");
        Fixture f;
        OrphanFinder finder(f.home.dm());
        finder.setStrategy(strategy);
        // 'né' finds 'NÉ' by national ID, 'h2'/'ç3' finds 'H2'/'Ç3' by herd and cow; 'NX' none.
        const std::vector<qint64> orphans
                = finder.find(u"102"_s, u"103"_s, {{u"NationalID"_s}, {u"CowID"_s, u"HerdCode"_s}});
        EXPECT_EQ(orphans, std::vector<qint64>{3});
        finder.dropIndexes();
    }

    Fixture f;
    f.home.write(u"merge.102"_s, "1021h2      ç3      NEW3               20150101\r\n"
                                 "1021hé1     C2      NEW2               20150101\r\n");
    f.prompter.choices = {f.home.path() + u"merge.102"_s};
    Maintenance m(f.home.dm(), f.progress, f.prompter);
    m.MergeNationalIDs(QString());
    EXPECT_EQ(f.home.rows(u"SELECT NationalID FROM [102] ORDER BY rowid"_s),
              (QStringList{u"NÉ"_s, u"NEW3"_s, u"N4"_s, u"NEW2"_s}));
    EXPECT_EQ(f.home.rows(u"SELECT NationalID FROM [103] ORDER BY rowid"_s),
              (QStringList{u"né"_s, u"NEW3"_s, u"NX"_s}));
}

// Our collation is named in statements only, never in the schema: after our commands the shell
// opens the database and changes it, and an index the shell made on a text column (in its own
// NOCASE order) stays sound through our changes.
TEST(LetterCase, theShellOpensAndChangesTheDatabaseAfterOurCommands)
{
    Fixture f;
    const QString db = f.home.path() + u"Tembra.db"_s;
    auto shell = [&](const QString &sql) {
        QProcess p;
        p.start(u"sqlite3"_s, {db, sql});
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    f.home.dm().close();
    shell(uR"(CREATE INDEX byName ON "102" (RegisteredName); INSERT INTO "102" (CowID,
              RegisteredName) VALUES ('c5', 'Émile'), ('c6', 'éMILE'))"_s);
    f.home.dm().ConnectDB();

    // Our comparison cannot go through the shell's index, which has another order: every row
    // is found (in the order of the index the engine reads).
    QStringList found = f.listed(u"RegisteredName"_s, opEqual, u"ÉMILE"_s);
    found.sort();
    EXPECT_EQ(found, (QStringList{u"Émile"_s, u"éMILE"_s, u"émile"_s}));
    Maintenance m(f.home.dm(), f.progress, f.prompter);
    f.prompter.answers = {true, true, true, true, true, true};
    m.RemoveDataForCowsNotIn102();
    FilterQuery trim;
    trim.table = u"102"_s;
    trim.where = uR"(WHERE "RegisteredName")"_s + f.home.dm().connection().caseless()
                 + u" = 'émile' "_s;
    m.RemoveDisplayedData(trim.table, trim.where);
    f.home.dm().close();

    EXPECT_EQ(shell(u"SELECT count(*) FROM sqlite_master WHERE sql LIKE '%bm_nocase%'"_s), u"0"_s);
    EXPECT_EQ(shell(u"PRAGMA integrity_check"_s), u"ok"_s);
    // The shell's own NOCASE finds the rows through its index (A to Z only).
    EXPECT_EQ(shell(uR"(UPDATE "102" SET RegisteredName = 'ANNE B' WHERE RegisteredName = 'ANNE';
                       SELECT RegisteredName FROM "102" WHERE RegisteredName = 'anne b';
                       PRAGMA integrity_check)"_s),
              u"ANNE B\nok"_s);
}
