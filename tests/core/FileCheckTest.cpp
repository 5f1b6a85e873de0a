#include "FileCheck.h"
#include "Error.h"
#include "Loader.h"
#include "SqliteConnection.h"
#include "Tdm.h"
#include "TestSupport.h"
#include "Undo.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringEncoder>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include <sys/stat.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// What a run sent to the findings window, and how often it was told a line was done.
struct RecordedOutput final : CheckOutput
{
    void findings(const QStringList &found) override
    {
        ++shows;
        lines += found;
    }
    bool lineDone() override { return ++linesDone != stopAfter; }
    QStringList lines;
    int shows = 0;
    int linesDone = 0;
    int stopAfter = -1;
};

// Runs <home>FileCheck.SQL holding `script`; the error's message, or a null string.
QString run(test::TestHome &home, const QByteArray &script, RecordedOutput &output)
{
    home.write(u"FileCheck.SQL"_s, script);
    try {
        runFileCheck(home.dm(), output);
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

void seed(Tdm &dm)
{
    dm.exec(uR"(INSERT INTO "101" (RecordType, HerdCode) VALUES ('101', 'H2'), ('101', 'H1'))"_s);
    dm.exec(uR"(INSERT INTO "102" (RecordType, HerdCode, CowID, NationalID) VALUES
                ('102', 'H1', 'C1', 'N1'), ('102', 'H1', 'C2', NULL))"_s);
}

} // namespace

TEST(FileCheck, linesAreClassifiedAndCutExactly)
{
    using K = ScriptLineKind;
    struct Case
    {
        const char *name;
        QString line;
        K kind;
        QString title;
        QString sql;
    };
    const Case cases[] = {
            {"wellFormedKeepsTheTitlesTrailingBlank", u"/! Title !/ SELECT 1"_s, K::Check,
             u"Title "_s, u"SELECT 1"_s},
            {"titleWithoutTrailingBlank", u"/! Title!/ SELECT 1"_s, K::Check, u"Title"_s,
             u"SELECT 1"_s},
            {"noMarkerRunsEverythingAfterTheBang", u"/! SELECT 1 "_s, K::Check, QString(),
             u"SELECT 1"_s},
            {"noMarkerNoBlank", u"/!SELECT 1"_s, K::Check, QString(), u"SELECT 1"_s},
            {"noBlankAfterMarkerLosesOneCharacter", u"/! T !/SELECT 1"_s, K::Check, u"T "_s,
             u"ELECT 1"_s},
            {"characterAfterBangIsSkipped", u"/!XTitle!/ SELECT 1"_s, K::Check, u"Title"_s,
             u"SELECT 1"_s},
            {"markerAtPositionFourGivesNoTitle", u"/!T!/ SELECT 1"_s, K::Check, QString(),
             u"SELECT 1"_s},
            {"markerOverlappingTheBang", u"/!/ SELECT 1"_s, K::Check, QString(), u"SELECT 1"_s},
            {"firstMarkerWins", u"/! a !/ SELECT '!/' "_s, K::Check, u"a "_s, u"SELECT '!/'"_s},
            {"queryTrimmedOfControls", u"/! a !/ \tSELECT 1\t\x01"_s, K::Check, u"a "_s,
             u"SELECT 1"_s},
            {"bareBang", u"/!"_s, K::Check, QString(), QString()},
            {"markerAtTheEnd", u"/! a !/"_s, K::Check, u"a "_s, QString()},
            {"leadingBlankMakesAnAction", u" /! T !/ SELECT 1"_s, K::Action, QString(),
             u" /! T !/ SELECT 1"_s},
            {"actionKeepsItsBlanks", u"  UPDATE x SET y = 1  "_s, K::Action, QString(),
             u"  UPDATE x SET y = 1  "_s},
            {"comment", u"/ a comment"_s, K::Comment, QString(), QString()},
            {"slashAlone", u"/"_s, K::Comment, QString(), QString()},
            {"slashBlank", u"/   "_s, K::Comment, QString(), QString()},
            {"empty", QString(), K::Blank, QString(), QString()},
            {"blanksAndControls", u" \t\x01 "_s, K::Blank, QString(), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ScriptLine line = classifyScriptLine(c.line);
        EXPECT_EQ(int(line.kind), int(c.kind));
        EXPECT_EQ(line.title, c.title);
        EXPECT_EQ(line.sql, c.sql);
    }
}

TEST(FileCheck, runsWriteWhatTheChecksFind)
{
    struct Case
    {
        const char *name;
        QByteArray script;
        QStringList lines;
        QString error; // a part of the message; empty when the run ends
        QStringList herds;
    };
    const QStringList herds{u"H2"_s, u"H1"_s};
    const Case cases[] = {
            {"twoChecksOneAfterTheOther",
             "/! Herds!/ SELECT HerdCode FROM [101] ORDER BY HerdCode\r\n"
             "/! Cows !/ SELECT CowID, NationalID FROM [102] ORDER BY CowID\r\n",
             {u"Herds"_s, u"HerdCode"_s, u"H1"_s, u"H2"_s, u"Cows "_s, u"CowID,NationalID"_s,
              u"C1,N1"_s, u"C2,"_s},
             {},
             herds},
            {"checkWithoutRowsWritesNothing",
             "/! None !/ SELECT * FROM [101] WHERE 0\n",
             {},
             {},
             herds},
            {"noMarkerWritesAnEmptyTitle",
             "/! SELECT HerdCode FROM [101] WHERE HerdCode = 'H1'",
             {QString(), u"HerdCode"_s, u"H1"_s},
             {},
             herds},
            {"valuesAreNotQuoted",
             "/! T!/ SELECT 'a,b' AS V, NULL AS N, 'say \"hi\"' AS Q",
             {u"T"_s, u"V,N,Q"_s, u"a,b,,say \"hi\""_s},
             {},
             herds},
            {"noBlankAfterMarkerStopsTheRunThere",
             "/! A !/ SELECT 1 AS One\n/! B !/SELECT 2\nDELETE FROM [101]\n",
             {u"A "_s, u"One"_s, u"1"_s},
             u"Line 2 of FileCheck.SQL: near \"ELECT\": syntax error"_s,
             herds},
            {"leadingBlankCheckFailsSilentlyAsAnAction",
             " /! T !/ SELECT 1\n/! After !/ SELECT 'ok' AS R\n",
             {u"After "_s, u"R"_s, u"ok"_s},
             {},
             herds},
            {"fixesSayHowManyRowsTheyChanged",
             "/ rename a herd\rUPDATE [101] SET HerdCode = 'HX' WHERE HerdCode = 'H1'\r\r   \r//"
             "\rUPDATE [101] SET HerdCode = 'HY' WHERE HerdCode = 'none'\r"
             "DELETE FROM [101]; INSERT INTO [101] (HerdCode) VALUES ('H7'), ('H8'), ('H9')\r",
             {u"Fix on line 2: 1 row changed"_s, u"Fix on line 6: 0 rows changed"_s,
              u"Fix on line 7: 5 rows changed"_s},
             {},
             {u"H7"_s, u"H8"_s, u"H9"_s}},
            {"checkWithoutResultSetStopsUnrun",
             "UPDATE [101] SET HerdCode = 'HX' WHERE HerdCode = 'H1'\n"
             "/! Gone !/ DELETE FROM [101]\n"
             "UPDATE [101] SET HerdCode = 'HY' WHERE HerdCode = 'H2'\n",
             {u"Fix on line 1: 1 row changed"_s},
             u"Line 2 of FileCheck.SQL: the check's query returns no result set"_s,
             {u"H2"_s, u"HX"_s}},
            {"checkWithTwoStatementsStopsUnrun",
             "/! T !/ SELECT 1; DELETE FROM [101]\n",
             {},
             u"Line 1 of FileCheck.SQL: the check's query holds more than one statement"_s,
             herds},
            {"emptyScript", "", {}, {}, herds},
            {"actionLineIsAtomic",
             "INSERT INTO [101] (HerdCode) VALUES ('H3'); INSERT INTO [nosuch] VALUES (1)\n"
             "INSERT INTO [101] (HerdCode) VALUES ('H4'); COMMIT; INSERT INTO [nosuch] VALUES (1)\n"
             "INSERT INTO [101] (HerdCode) VALUES ('H5');\n",
             {u"Fix on line 3: 1 row changed"_s},
             {},
             {u"H2"_s, u"H1"_s, u"H5"_s}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::TestHome home;
        seed(home.dm());
        RecordedOutput output;
        const QString error = run(home, c.script, output);
        EXPECT_EQ(output.lines, c.lines);
        if (c.error.isEmpty())
            EXPECT_TRUE(error.isNull()) << error.toStdString();
        else
            EXPECT_TRUE(error.contains(c.error)) << error.toStdString();
        // Every line's transaction has ended, and what the lines did is in the file.
        EXPECT_FALSE(home.dm().inTransaction());
        Tdm other(home.path());
        other.ConnectDB();
        QStringList stored;
        Stmt stmt = other.prepare(uR"(SELECT HerdCode FROM "101" ORDER BY rowid)"_s);
        while (stmt->next())
            stored << stmt->string(0);
        EXPECT_EQ(stored, c.herds);
    }
}

TEST(FileCheck, scriptIsReadWithTheTextFileRules)
{
    const QString text = u"/ Größe\r/! Größe!/ SELECT 'ä' AS X\r\n/! Zwei!/ SELECT 2 AS Y"_s;
    QStringEncoder utf16le(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    QStringEncoder utf8(QStringConverter::Utf8, QStringConverter::Flag::WriteBom);
    const QByteArray bytes[] = {QByteArray(utf16le(text)), QByteArray(utf8(text)),
                                QByteArray("/! Gr\xF6\xDF"
                                           "e!/ SELECT '\xE4' AS X\n/! Zwei!/ "
                                           "SELECT 2 AS Y")};
    for (const QByteArray &script : bytes) {
        SCOPED_TRACE(script.left(4).toHex().constData());
        test::TestHome home;
        RecordedOutput output;
        EXPECT_TRUE(run(home, script, output).isNull());
        EXPECT_EQ(output.lines,
                  (QStringList{u"Größe"_s, u"X"_s, u"ä"_s, u"Zwei"_s, u"Y"_s, u"2"_s}));
        EXPECT_EQ(output.shows, 2);
    }
}

TEST(FileCheck, missingScriptRunsNothing)
{
    test::TestHome home;
    RecordedOutput output;
    try {
        runFileCheck(home.dm(), output);
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"FileCheck.SQL"_s)) << e.what();
    }
    EXPECT_EQ(output.linesDone, 0);
}

TEST(FileCheck, valuesTakeTheGridsTextForm)
{
    test::LocaleScope locale(QLocale(QLocale::English, QLocale::UnitedKingdom));
    test::TestHome home;
    home.dm().exec(uR"(INSERT INTO "104" (RecordType, TestDate, CellCount, Milk, HerdCode)
                       VALUES ('104', '2021-03-05', 12345, 1234.5, 'H1'),
                              ('104', '2021-13-45', NULL, 0.1, NULL))"_s);
    RecordedOutput output;
    EXPECT_TRUE(run(home,
                    "/! T!/ SELECT TestDate, CellCount, Milk, HerdCode, "
                    "date(TestDate, '+1 day') AS Next FROM [104] ORDER BY rowid",
                    output)
                        .isNull());
    EXPECT_EQ(output.lines,
              (QStringList{u"T"_s, u"TestDate,CellCount,Milk,HerdCode,Next"_s,
                           u"05/03/2021,12345,1234.5,H1,2021-03-06"_s, u"2021-13-45,,0.1,,"_s}));
}

TEST(FileCheck, eventsRunAfterEveryLineAndMayEndTheRun)
{
    test::TestHome home;
    seed(home.dm());
    RecordedOutput output;
    output.stopAfter = 2;
    EXPECT_TRUE(run(home,
                    "/ one\nUPDATE [101] SET HerdCode = 'HX' WHERE HerdCode = 'H1'\n"
                    "DELETE FROM [101]\n",
                    output)
                        .isNull());
    EXPECT_EQ(output.linesDone, 2);
    EXPECT_EQ(home.rows(uR"(SELECT HerdCode FROM "101" ORDER BY rowid)"_s),
              (QStringList{u"H2"_s, u"HX"_s}));
}

TEST(FileCheck, failureOfTheDatabaseEndsTheRun)
{
    struct Case
    {
        const char *name;
        std::function<void(test::TestHome &, std::unique_ptr<Tdm> &)> setUp;
        QStringList lines;
        QString error;
        int linesDone;
    };
    const Case cases[] = {
            {"readOnlyStillChecks",
             [](test::TestHome &home, std::unique_ptr<Tdm> &) {
                 home.dm().exec(u"PRAGMA query_only = 1"_s);
             },
             {u"Herds"_s, u"HerdCode"_s, u"H1"_s, u"H2"_s},
             u"Line 3 of FileCheck.SQL: attempt to write a readonly database"_s,
             2},
            {"locked",
             [](test::TestHome &home, std::unique_ptr<Tdm> &other) {
                 sqlite3_busy_timeout(db::sqliteHandle(home.dm().connection()), 10);
                 other = std::make_unique<Tdm>(home.path());
                 other->ConnectDB();
                 other->exec(u"BEGIN EXCLUSIVE"_s);
             },
             // Another connection holds the database: not even the state before the run can be
             // kept for undo, so nothing runs.
             {},
             u"Cannot keep the herd data for undo: the herd database is in use. File Check was "
             "not run"_s,
             0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::TestHome home;
        seed(home.dm());
        std::unique_ptr<Tdm> other;
        c.setUp(home, other);
        RecordedOutput output;
        const QString error = run(home,
                                  "/ a check, then a fix\n"
                                  "/! Herds!/ SELECT HerdCode FROM [101] ORDER BY HerdCode\n"
                                  "UPDATE [101] SET HerdCode = 'HX'\n"
                                  "/! Never !/ SELECT 1\n",
                                  output);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(output.lines, c.lines);
        EXPECT_EQ(output.linesDone, c.linesDone);
    }
}

// The script that accompanies the program finds nothing in the sample data set, and in the
// sample with one fault of each kind planted, each check lists exactly its own fault.
TEST(FileCheck, shippedScriptFindsEachPlantedFaultOnce)
{
    test::LocaleScope locale(QLocale::c());
    test::TestHome home;
    QFile::copy(test::sourceDataDir() + u"FileCheck.SQL"_s, home.path() + u"FileCheck.SQL"_s);
    test::ScriptedPrompter prompter;
    NullProgress progress;
    Loader(home.dm(), progress, prompter).load(QStringLiteral(BM_SOURCE_DIR "/samples/herd.DIF"));
    ASSERT_TRUE(prompter.errors.isEmpty());

    RecordedOutput clean;
    runFileCheck(home.dm(), clean);
    EXPECT_EQ(clean.lines, QStringList());

    home.dm().exec(uR"(
        UPDATE "102" SET NationalID = lower(NationalID) WHERE rowid = 3;
        UPDATE "104" SET NationalID = lower(NationalID) WHERE rowid = 12;
        INSERT INTO "102" (HerdCode, CowID, NationalID, BirthDate) VALUES
            ('N208156', '9001', NULL, '2012-01-01'),
            ('V200237', '9002', 'HOLAUSF000041000005', '2002-04-18'),
            ('N208156', '0301', 'HOLAUSF000049999002', '2003-08-04'),
            ('ZZ999999', '9003', 'HOLAUSF000049999003', '2012-01-01'),
            ('N208156', '9004', 'HOLAUSF000049999004', '2012-01-01'),
            ('N208156', '9005', 'HOLAUSF000049999005', '2012-01-01'),
            ('N208156', '9006', 'HOLAUSF000049999006', '2099-01-01'),
            ('N208156', NULL, 'HOLAUSF000049999007', '2012-01-01'),
            ('N208156', NULL, 'HOLAUSF000049999008', '2012-01-01');
        INSERT INTO "103" (HerdCode, CowID, NationalID, CalvingDate, LactationNumber) VALUES
            ('N208156', '9100', 'HOLAUSF000049999001', '2014-01-01', 1),
            ('N208156', '9004', 'HOLAUSF000049999004', '2011-06-01', 1),
            ('N208156', '9005', 'HOLAUSF000049999005', '2013-01-01', 1),
            ('N208156', '0601', 'JERAUSF000041000018', '2011-09-27', 4),
            ('ZZ999999', '9003', 'HOLAUSF000049999003', '2014-03-01', 1),
            ('N208156', '9005', 'HOLAUSF000049999005', '2014-06-01', NULL),
            ('N208156', '9005', 'HOLAUSF000049999005', '2015-06-01', NULL);
        UPDATE "103" SET LactationNumber = 25 WHERE rowid = 1;
        INSERT INTO "104" (HerdCode, CowID, NationalID, TestDate, CalvingDate) VALUES
            ('N208156', '9100', 'HOLAUSF000049999001', '2014-02-01', '2014-01-01'),
            ('N208156', '0301', 'HOLAUSF000041000017', '2011-03-01', '2010-10-01'),
            ('N208156', '0301', 'HOLAUSF000041000017', '2010-09-20', '2010-09-28'),
            ('N208156', '0301', 'HOLAUSF000041000017', '2012-06-01', '2010-09-28');
        UPDATE "104" SET Milk = 85 WHERE rowid = 5;
        UPDATE "104" SET FatPercent = 9.5 WHERE rowid = 6;
        UPDATE "104" SET ProteinPercent = 6.5 WHERE rowid = 7;
        UPDATE "104" SET FatPercent = 2, ProteinPercent = 3.5 WHERE rowid = 8;
        UPDATE "104" SET LactosePercent = 3 WHERE rowid = 9;
        UPDATE "104" SET CellCount = 12000 WHERE rowid = 10;
        UPDATE "104" SET Milk = NULL WHERE rowid = 11;
    )"_s);

    RecordedOutput output;
    runFileCheck(home.dm(), output);
    // The script changes no data as it is shipped: its fixes are off, so the lower-case national
    // IDs stay as they are.
    const QString lowerCase
            = uR"(SELECT (SELECT count(*) FROM "102" WHERE NationalID GLOB '*[a-z]*')
                         || ',' || (SELECT count(*) FROM "104" WHERE NationalID GLOB '*[a-z]*'))"_s;
    EXPECT_EQ(home.rows(lowerCase), QStringList{u"1,1"_s});
    // A run that changed nothing leaves the undo of the load in place.
    EXPECT_EQ(undoInfo(home.path())->menuText(), u"Undo Load Files"_s);

    // Each check of the script with the rows it must list. Pedigree records without a cow ID
    // and lactations without a number are no doubles.
    const std::map<QString, QStringList> expected = {
            {u"Pedigree records without a national ID "_s, {u"N208156,9001"_s}},
            {u"National IDs that appear on more than one pedigree record "_s,
             {u"HOLAUSF000041000005,2"_s}},
            {u"Cow IDs used twice in one herd "_s, {u"N208156,0301,2"_s}},
            {u"Cows with lactations but no pedigree record "_s,
             {u"N208156,9100,HOLAUSF000049999001,1"_s}},
            {u"Cows with test days but no pedigree record "_s,
             {u"N208156,9100,HOLAUSF000049999001,1"_s}},
            {u"Test days that belong to no lactation "_s,
             {u"N208156,0301,HOLAUSF000041000017,1 Oct 2010,1"_s}},
            {u"Records of a herd that has no herd record "_s,
             {u"102,ZZ999999,1"_s, u"103,ZZ999999,1"_s}},
            {u"Calvings before the cow was born "_s,
             {u"N208156,9004,HOLAUSF000049999004,1 Jun 2011,1 Jan 2012"_s}},
            {u"Calvings at under 18 months of age "_s,
             {u"N208156,9005,HOLAUSF000049999005,1 Jan 2012,1 Jan 2013"_s}},
            {u"Test days before their calving "_s,
             {u"N208156,0301,HOLAUSF000041000017,28 Sep 2010,20 Sep 2010"_s}},
            {u"Test days more than 500 days after calving "_s,
             {u"N208156,0301,HOLAUSF000041000017,28 Sep 2010,1 Jun 2012"_s}},
            {u"Dates in the future "_s, {u"102,N208156,9006,1 Jan 2099"_s}},
            {u"Milk outside 0.5 to 80 kg "_s,
             {u"N208156,0301,HOLAUSF000041000017,29 Jan 2011,85"_s}},
            {u"Fat percent outside 1.5 to 9 "_s,
             {u"N208156,0601,JERAUSF000041000018,7 Oct 2010,9.5"_s}},
            {u"Protein percent outside 1.5 to 6 "_s,
             {u"N208156,0601,JERAUSF000041000018,6 Nov 2010,6.5"_s}},
            {u"Protein percent above fat percent by more than 1 "_s,
             {u"N208156,0601,JERAUSF000041000018,7 Dec 2010,2,3.5"_s}},
            {u"Lactose percent outside 3.5 to 5.5 "_s,
             {u"N208156,0601,JERAUSF000041000018,2 Jan 2011,3"_s}},
            {u"Cell count above 10,000 thousand per ml "_s,
             {u"N208156,0601,JERAUSF000041000018,29 Jan 2011,12000"_s}},
            {u"Test days with fat or protein but no milk "_s,
             {u"N208156,0601,JERAUSF000041000018,24 Feb 2011"_s}},
            {u"Lactation numbers outside 1 to 20 "_s,
             {u"N208156,0301,HOLAUSF000041000017,28 Sep 2010,25"_s}},
            {u"Two lactations of one cow with the same number "_s, {u"JERAUSF000041000018,4,2"_s}},
    };
    std::map<QString, QStringList> found;
    QStringList order;
    for (qsizetype i = 0; i + 1 < output.lines.size();) {
        const QString title = output.lines.at(i);
        order << title;
        i += 2; // title and header
        while (i < output.lines.size() && !expected.count(output.lines.at(i)))
            found[title] << output.lines.at(i++);
    }
    QStringList checks;
    for (const QString &line : readCheckScript(home.path() + u"FileCheck.SQL"_s)) {
        const ScriptLine l = classifyScriptLine(line);
        if (l.kind == ScriptLineKind::Check)
            checks << l.title;
    }
    EXPECT_EQ(order, checks);
    EXPECT_EQ(int(found.size()), int(expected.size()));
    for (const auto &[title, rows] : expected) {
        SCOPED_TRACE(title.toStdString());
        EXPECT_EQ(found[title], rows);
    }
}

// The shipped fixes, turned on as the script's own comment says, write the national IDs in
// capitals and say how many rows each of them changed.
TEST(FileCheck, shippedFixesTurnedOnSayWhatTheyChanged)
{
    test::LocaleScope locale(QLocale::c());
    test::TestHome home;
    QByteArray script = test::readFile(test::sourceDataDir() + u"FileCheck.SQL"_s);
    ASSERT_TRUE(script.contains("delete the \"/ \""));
    script.replace("\n/ UPDATE \"", "\nUPDATE \"");
    home.write(u"FileCheck.SQL"_s, script);
    seed(home.dm());
    home.dm().exec(uR"(UPDATE "102" SET NationalID = 'n1' WHERE CowID = 'C1';
                       INSERT INTO "104" (NationalID) VALUES ('x2'), ('X3'), ('x4'))"_s);
    const QStringList fixLines = readCheckScript(home.path() + u"FileCheck.SQL"_s);

    RecordedOutput output;
    runFileCheck(home.dm(), output);
    QStringList fixes;
    for (const QString &line : std::as_const(output.lines))
        if (line.startsWith(u"Fix on line"_s))
            fixes << line;
    const auto lineOf = [&](const char *table) {
        for (qsizetype i = 0; i < fixLines.size(); ++i)
            if (fixLines.at(i).startsWith(u"UPDATE \""_s + QLatin1StringView(table)))
                return i + 1;
        return qsizetype(0);
    };
    EXPECT_EQ(fixes, (QStringList{u"Fix on line %1: 1 row changed"_s.arg(lineOf("102")),
                                  u"Fix on line %1: 0 rows changed"_s.arg(lineOf("103")),
                                  u"Fix on line %1: 2 rows changed"_s.arg(lineOf("104"))}));
    EXPECT_EQ(home.rows(uR"(SELECT group_concat(NationalID) FROM "104")"_s),
              QStringList{u"X2,X3,X4"_s});
}

// A script reaches nothing outside the herd database and cannot damage it: each line that would
// attach a file, change the tables, set a pragma that changes the file or the connection, or
// write the data generation stops the run with a message naming the line, having done nothing.
// Temporary tables of its own and pragmas that only tell about the tables are fine.
TEST(FileCheck, aScriptStaysInsideTheHerdDatabase)
{
    test::TestHome home;
    seed(home.dm());
    const QString elsewhere = home.path() + u"elsewhere.db"_s;
    struct Case
    {
        const char *name;
        QByteArray line;
        QString error; // empty: the line runs
    };
    const QString attach = u"a check script may not attach or detach database files"_s;
    const QString tables = u"a check script may change rows, not the tables of the herd "
                           "database (only temporary tables, views and indexes of its own)"_s;
    const Case cases[] = {
            {"attach", "ATTACH DATABASE '" + elsewhere.toUtf8() + "' AS other", attach},
            {"attachInACheck", "/! T !/ ATTACH '" + elsewhere.toUtf8() + "' AS other", attach},
            {"writableSchema", "PRAGMA writable_schema = ON",
             u"a check script may only read pragmas that tell about the tables; PRAGMA "
             "writable_schema is refused"_s},
            {"journalOff", "PRAGMA journal_mode = OFF",
             u"a check script may only read pragmas that tell about the tables; PRAGMA "
             "journal_mode is refused"_s},
            // SQLite refuses this itself: a fix that fails, skipped as any other.
            {"schemaRows", "UPDATE sqlite_master SET sql = 'x' WHERE name = '101'", QString()},
            {"dropTable", "DROP TABLE [104]", tables},
            {"createTable", "CREATE TABLE x (a)", tables},
            {"trigger", "CREATE TEMP TRIGGER t AFTER INSERT ON [101] BEGIN DELETE FROM [102]; END",
             tables},
            {"alter", "ALTER TABLE [101] ADD COLUMN x", tables},
            {"generation", "UPDATE DataGeneration SET Generation = 0",
             u"a check script may not write the table DataGeneration"_s},
            {"temporaryTable",
             "CREATE TEMP TABLE t AS SELECT 'H9' AS c; UPDATE [101] SET HerdCode = (SELECT c FROM "
             "t) WHERE HerdCode = 'H1'; DROP TABLE t",
             QString()},
            {"readingPragma", "/! T !/ PRAGMA table_info([101])", QString()},
            // A pragma that reads without a value sets it with one.
            {"settingPragma", "PRAGMA user_version = 7",
             u"a check script may only read pragmas that tell about the tables; PRAGMA "
             "user_version is refused"_s},
            {"settingPragmaInACheck", "/! T !/ PRAGMA foreign_keys = ON",
             u"a check script may only read pragmas that tell about the tables; PRAGMA "
             "foreign_keys is refused"_s},
            {"transaction", "/! T !/ COMMIT", u"not authorized"_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RecordedOutput output;
        const QString error = run(home, "/ one line\n" + c.line + '\n', output);
        if (c.error.isEmpty()) {
            EXPECT_TRUE(error.isNull()) << error.toStdString();
        } else {
            EXPECT_EQ(error, u"Line 2 of FileCheck.SQL: "_s + c.error);
            EXPECT_TRUE(output.lines.isEmpty());
        }
    }
    EXPECT_FALSE(QFile::exists(elsewhere));
    EXPECT_EQ(home.rows(uR"(SELECT HerdCode FROM "101" ORDER BY rowid)"_s),
              (QStringList{u"H2"_s, u"H9"_s}));
    EXPECT_EQ(home.rows(u"PRAGMA quick_check"_s), QStringList{u"ok"_s});
    EXPECT_EQ(home.rows(u"PRAGMA user_version"_s), QStringList{u"0"_s});
}

// The script is read only from a plain file of a size a script can have: a link to a device, a
// pipe or a huge file is refused before anything runs, and never read without end.
TEST(FileCheck, aScriptThatIsNoPlainFileOrTooLargeIsRefused)
{
    struct Case
    {
        const char *name;
        std::function<void(const QString &path)> make;
        QString error;
    };
    const Case cases[] = {
            {"linkToADevice", [](const QString &path) { QFile::link(u"/dev/urandom"_s, path); },
             u"it is not a plain file"_s},
            {"pipe",
             [](const QString &path) { ::mkfifo(QFile::encodeName(path).constData(), 0600); },
             u"it is not a plain file"_s},
            {"folder", [](const QString &path) { QDir().mkdir(path); },
             u"it is not a plain file"_s},
            {"tooLarge",
             [](const QString &path) {
                 QFile file(path);
                 ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                 file.resize((4 << 20) + 1);
             },
             u"it is larger than 4 MB"_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::TestHome home;
        c.make(fileCheckScriptPath(home.path()));
        RecordedOutput output;
        try {
            runFileCheck(home.dm(), output);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_EQ(e.message(), u"Cannot read the check script \"%1\": %2"_s.arg(
                                           fileCheckScriptPath(home.path()), c.error));
        }
        EXPECT_EQ(output.linesDone, 0);
    }
}
