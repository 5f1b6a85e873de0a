#include "Error.h"
#include "Importer.h"
#include "Layout.h"
#include "ProblemList.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// A small layout: code, version, a string, a number, a scaled float, a date, a plain float.
const QByteArray kLayout = "[Records]\n01=RecordType,String,1,3\n02=VersionNo,Number,4,1\n"
                           "03=HerdCode,String,5,8\n04=CellCount,Number,13,5\n"
                           "05=Milk,Float,18,4,10\n06=TestDate,Date,22,8\n"
                           "07=FatPercent,Float,30,5\n";

// A line of the small layout, each field padded to its width.
QByteArray line(const char *herd, const char *cells = "", const char *milk = "",
                const char *date = "", const char *fat = "")
{
    return "1049" + QByteArray(herd).leftJustified(8, ' ')
           + QByteArray(cells).rightJustified(5, ' ') + QByteArray(milk).rightJustified(4, ' ')
           + QByteArray(date).leftJustified(8, ' ') + QByteArray(fat).rightJustified(5, ' ')
           + "\r\n";
}

struct Fixture
{
    test::TestHome home;
    test::ScriptedPrompter prompter;
    test::RecordingProgress progress;

    Fixture() { home.writeLayout(u"DIF104V9.ini"_s, kLayout); }

    Importer::Counts import(const QByteArray &bytes, const QString &def = u"DIF104V9.ini"_s,
                            const QString &table = u"104"_s)
    {
        const QString file = home.write(u"in.104"_s, bytes);
        Importer importer(home.dm(), progress, prompter);
        Transaction t(home.dm());
        importer.ImportFile(file, table, def);
        t.commit();
        return importer.counts();
    }
    QStringList rows()
    {
        return home.rows(u"SELECT RecordType, VersionNo, HerdCode, CellCount, Milk, TestDate, "
                         "FatPercent FROM [104]"_s);
    }
};

} // namespace

TEST(Import, convertsEachFieldByItsType)
{
    Fixture f;
    f.import(line("HERD0001", "212", "255", "20210815", "4.5")
             + line("H'2\"3", "-3", "-25", "20210101", "3e-1"));
    EXPECT_EQ(f.rows(), (QStringList{u"104|9|HERD0001|212|25.5|2021-08-15|4.5"_s,
                                     u"104|9|H'2\"3|-3|-2.5|2021-01-01|0.3"_s}));
    EXPECT_TRUE(f.prompter.questions.isEmpty());
    EXPECT_EQ(f.progress.statuses.last(), u"Importing DIF 104"_s);
    EXPECT_EQ(f.progress.records(), u"2"_s);
}

TEST(Import, scaledFloatsAreExactAndLocaleFree)
{
    Fixture f;
    QLocale::setDefault(QLocale(QLocale::German));
    f.import(line("H1", "", "5") + line("H2", "", "1234") + line("H3", "", "300"));
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(f.home.rows(u"SELECT Milk FROM [104] ORDER BY HerdCode"_s),
              (QStringList{u"0.5"_s, u"123.4"_s, u"30.0"_s}));
}

TEST(Import, shortLinesAndBlanksGiveNull)
{
    Fixture f;
    f.import("1049H1   \r\n1049H2         \r\n");
    EXPECT_EQ(f.rows(), (QStringList{u"104|9|H1|<null>|<null>|<null>|<null>"_s,
                                     u"104|9|H2|<null>|<null>|<null>|<null>"_s}));
}

TEST(Import, blankLinesAreSkippedAndNotCounted)
{
    Fixture f;
    // Line 3 of the file is the second non-blank line; its date is bad.
    f.import("1049H1\r\n   \t\r\n" + line("H2", "", "", "20210230") + "\r\n");
    EXPECT_EQ(f.prompter.questions,
              QStringList{u"Error in 104 File - Line : 2 - Field : TestDate\r\r"
                          "Continue to display errors in this file?"_s});
    EXPECT_EQ(f.home.dm().rowCount(u"104"_s), 2);
    EXPECT_EQ(f.home.rows(u"SELECT TestDate FROM [104] WHERE HerdCode='H2'"_s),
              QStringList{u"<null>"_s});
}

TEST(Import, badDatesGiveNullWithThePrompt)
{
    const struct
    {
        const char *name;
        QByteArray date;
        bool prompt;
        QString stored;
    } cases[] = {
            {"blanks", "        ", false, u"<null>"_s},
            {"30 February", "20210230", true, u"<null>"_s},
            {"seven characters take the day from the last two", "2021081", true, u"<null>"_s},
            {"seven digits and a blank", "2011013 ", true, u"<null>"_s},
            {"a sign", "+2021101", true, u"<null>"_s},
            {"letters", "2021AB01", true, u"<null>"_s},
            {"year before 1000", "09990101", false, u"0999-01-01"_s},
            {"year 0", "00000101", true, u"<null>"_s},
    };
    for (const auto &c : cases) {
        Fixture f;
        f.import(line("H1", "", "", c.date));
        EXPECT_EQ(f.prompter.questions.size(), c.prompt ? 1 : 0) << c.name;
        EXPECT_EQ(f.home.rows(u"SELECT TestDate FROM [104]"_s), QStringList{c.stored}) << c.name;
    }
}

TEST(Import, failedLinesArePromptedAndLeftOut)
{
    Fixture f;
    const auto counts = f.import(line("H1", "12X") + line("H2", "12") + line("H3", "1 2")
                                 + line("H4", "", "", "", "4,5"));
    EXPECT_EQ(f.prompter.questions,
              (QStringList{u"Error In 104 File - Line : 1\r\rContinue to display errors in this "
                           "file?"_s,
                           u"Error In 104 File - Line : 3\r\rContinue to display errors in this "
                           "file?"_s,
                           u"Error In 104 File - Line : 4\r\rContinue to display errors in this "
                           "file?"_s}));
    EXPECT_EQ(f.home.rows(u"SELECT HerdCode FROM [104]"_s), QStringList{u"H2"_s});
    EXPECT_EQ(counts.inserted, 1);
    EXPECT_EQ(counts.failedLines, 3);
}

TEST(Import, answeringNoSilencesTheRestOfTheFileOnly)
{
    Fixture f;
    f.prompter.answers = {false};
    f.import(line("H1", "X") + line("H2", "X") + line("H3", "", "", "20211399"));
    EXPECT_EQ(f.prompter.questions.size(), 1);
    EXPECT_EQ(f.home.dm().rowCount(u"104"_s), 1);
    f.import(line("H1", "X") + line("H2", "X"));
    EXPECT_EQ(f.prompter.questions.size(), 3);
}

// A file holds records when any line holds one; every other non-blank line is left out and
// listed with what is wrong with it, so nothing is skipped without a word.
TEST(Import, everyLineThatIsNoRecordIsReportedInWords)
{
    const QByteArray empty = "1049" + QByteArray(26, ' ') + "\r\n"; // a row of empty fields
    const struct
    {
        const char *name;
        QByteArray bytes;
        QStringList rows;     // HerdCode of the rows stored
        QStringList problems; // "<line>|<text>|<message>"
    } cases[] = {
            {"empty file", "", {}, {}},
            {"blank lines", "\r\n  \r\n", {}, {}},
            {"a header first",
             "HERD EXPORT 2021\r\n\r\n" + line("H1") + line("H2"),
             {u"H1"_s, u"H2"_s},
             {u"1|HERD EXPORT 2021|Not a record of type 104: the line was left out"_s}},
            {"only lines of another type",
             "1039H1\r\n1039H2\r\n",
             {},
             {u"1|1039H1|Not a record of type 104: the line was left out"_s,
              u"2|1039H2|Not a record of type 104: the line was left out"_s}},
            {"lines that say nothing",
             "104\r\n" + line("H1") + "1049\r\n" + empty,
             {u"H1"_s, u"<null>"_s},
             {u"1|104|The line holds only its record type: the line was left out"_s,
              u"3|1049|The line holds only its record type and version: the line was left out"_s}},
            {"a version without a layout",
             line("H1") + "1047H2\r\n",
             {u"H1"_s},
             {u"2|1047H2|No layout for version '7' of record type 104 (DIF104V7.ini is missing): "
              "the line was left out"_s}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        ProblemList problems;
        const QString file = f.home.write(u"in.104"_s, c.bytes);
        Importer importer(f.home.dm(), f.progress, f.prompter);
        importer.setProblems(&problems);
        importer.importTypeFile(file, u"104"_s);
        EXPECT_EQ(f.home.rows(u"SELECT HerdCode FROM [104] ORDER BY rowid"_s), c.rows);
        QStringList found;
        for (qsizetype i = 0; i < problems.size(); ++i) {
            const Problem p = problems.at(i);
            found << u"%1|%2|%3"_s.arg(p.line).arg(p.text, ProblemList::cell(p, 5));
        }
        EXPECT_EQ(found, c.problems);
        EXPECT_EQ(importer.counts().failedLines, c.problems.size());
        EXPECT_EQ(f.prompter.questions.size(), c.problems.size());
    }
}

// A Float field that holds no number fails its line as a Number field does, scaled or not,
// and the problem list shows the text as it is, a control character included.
TEST(Import, aFloatThatHoldsNoNumberFailsItsLine)
{
    const struct
    {
        const char *name;
        QByteArray line;
        QString problem; // "<field>|<text>|<message>"
    } cases[] = {
            {"scaled, letters", line("H1", "", "2a5"), u"Milk|2a5|Not a number"_s},
            {"scaled, a NUL byte",
             line("H1", "", "3x5")
                     .replace("3x5", QByteArray("3\0"
                                                "5",
                                                3)),
             u"Milk|3\\x005|Not a number"_s},
            {"scaled, decimals", line("H1", "", "12.5"), u"Milk|12.5|Not a whole number"_s},
            {"plain, letters", line("H1", "", "", "", "2a.5"), u"FatPercent|2a.5|Not a number"_s},
            {"number, letters", line("H1", "3a"), u"CellCount|3a|Not a number"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        ProblemList problems;
        const QString file = f.home.write(u"in.104"_s, c.line + line("H2", "7", "15"));
        Importer importer(f.home.dm(), f.progress, f.prompter);
        importer.setProblems(&problems);
        importer.importTypeFile(file, u"104"_s);
        EXPECT_EQ(f.home.rows(u"SELECT HerdCode FROM [104]"_s), QStringList{u"H2"_s});
        EXPECT_EQ(importer.counts().failedLines, 1);
        ASSERT_EQ(problems.size(), 1);
        const Problem p = problems.at(0);
        EXPECT_EQ(u"%1|%2|%3"_s.arg(p.field, p.text, p.message), c.problem);
        EXPECT_EQ(p.outcome, u"the line was left out"_s);
    }
}

TEST(Import, twoFilesAddUp)
{
    Fixture f;
    f.import("1049H1\r\n");
    f.import("1049H2\r\n");
    EXPECT_EQ(f.home.dm().rowCount(u"104"_s), 2);
}

TEST(Import, encodingsAndLineEnds)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
            {"utf8 bom", "\xEF\xBB\xBF"
                         "1049Caf\xC3\xA9\r\n1049Z\r\n"},
            {"windows-1252", "1049Caf\xE9\r1049Z\r"},
            {"utf16le", QByteArray("\xFF\xFE"
                                   "1\0"
                                   "0\0"
                                   "4\0"
                                   "9\0"
                                   "C\0"
                                   "a\0"
                                   "f\0"
                                   "\xE9\0"
                                   "\n\0"
                                   "1\0"
                                   "0\0"
                                   "4\0"
                                   "9\0"
                                   "Z\0",
                                   30)},
    };
    for (const auto &c : cases) {
        Fixture f;
        f.import(c.bytes);
        EXPECT_EQ(f.home.rows(u"SELECT HerdCode FROM [104] ORDER BY rowid"_s),
                  (QStringList{u"Caf\u00E9"_s, u"Z"_s}))
                << c.name;
    }
}

TEST(Import, errorsThatEndTheCommandLeaveTheTableAsItWas)
{
    const struct
    {
        const char *name;
        QByteArray layout;
        QByteArray lines;
        QString message;
    } cases[] = {
            {"width not an integer", "[Records]\n01=RecordType,String,1,3\n02=X,String,4,w\n",
             "1049\r\n", u"'w' is not a valid integer value"_s},
            {"missing key", "[Records]\n01=RecordType,String,1,3\n03=X,String,4,1\n", "1049\r\n",
             u"DIF104V9.ini has no key 02 (its keys run from 01 to 02 without a gap): List index "
             "out of bounds (1)"_s},
    };
    for (const auto &c : cases) {
        Fixture f;
        f.import("1049OLD\r\n");
        f.home.writeLayout(u"DIF104V9.ini"_s, c.layout);
        try {
            f.import("1049NEW\r\n" + c.lines);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(c.message)) << c.name << ": " << e.what();
        }
        EXPECT_EQ(f.home.rows(u"SELECT HerdCode FROM [104]"_s), QStringList{u"OLD"_s}) << c.name;
    }
}

TEST(Import, layoutWithoutFieldsOrMissingColumnFailsEveryLine)
{
    Fixture f;
    f.prompter.answers = {true, false};
    f.import("1049H1\r\n1049H2\r\n1049H3\r\n", u"DIF104V7.ini"_s);
    EXPECT_EQ(f.prompter.questions.size(), 2);
    f.home.writeLayout(u"DIF104V8.ini"_s,
                       "[Records]\n01=RecordType,String,1,3\n02=Nope,String,4,1\n");
    f.import("1048\r\n", u"DIF104V8.ini"_s);
    EXPECT_EQ(f.prompter.questions.size(), 3);
    EXPECT_EQ(f.home.dm().rowCount(u"104"_s), 0);
}

TEST(Import, gaugeCountsEveryLineToTheLast)
{
    Fixture f;
    f.import("1049H1\r\n1049H2\r\n1049H3\r\n");
    EXPECT_EQ(f.progress.maximum(), 3);
    EXPECT_EQ(f.progress.position(), 3);
    EXPECT_EQ(f.progress.records(), u"3"_s);
}

TEST(Import, shippedSampleRecordsOfEveryTypeImport)
{
    // The sample records in the layouts' README, one file per type and version.
    test::TestHome home;
    test::ScriptedPrompter prompter;
    NullProgress progress;
    QFile readme(test::sourceDataDir() + u"Defs/README.md"_s);
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    QMap<QString, QByteArray> files;
    for (const QByteArray &line : readme.readAll().split('\n')) {
        const QByteArray l = line.trimmed();
        if (l.size() > 20 && recordTypeIndex(QString::fromLatin1(l.left(3))) >= 0 && l.at(3) >= '1'
            && l.at(3) <= '9')
            files[QString::fromLatin1(l.left(4))] += l + "\r\n";
    }
    ASSERT_GE(files.size(), 16);
    Importer importer(home.dm(), progress, prompter);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString code = it.key().left(3);
        importer.importTypeFile(home.write(u"s."_s + code, it.value()), code);
        EXPECT_EQ(importer.counts().failedLines + importer.counts().fieldErrors, 0)
                << it.key().toStdString();
        EXPECT_GT(importer.counts().inserted, 0) << it.key().toStdString();
    }
    EXPECT_TRUE(prompter.questions.isEmpty()) << prompter.questions.join(u'\n').toStdString();
    EXPECT_EQ(home.rows(u"SELECT VersionNo, count(*) FROM [211] GROUP BY 1"_s),
              (QStringList{u"1|2"_s, u"2|2"_s, u"3|2"_s}));
}

TEST(Import, infinityAndNanAreNoNumbers)
{
    // In a Number field and in a Float field without scale alike: the line fails as any other
    // text that is not a number does.
    const char *const texts[] = {"inf", "-inf", "nan", "NaN", "INF", "+inf", "1e999"};
    for (const char *text : texts) {
        SCOPED_TRACE(text);
        Fixture f;
        const auto counts = f.import(line("H1", text) + line("H2", "", "", "", text)
                                     + line("H3", "7", "", "", "1e2"));
        EXPECT_EQ(counts.failedLines, 2);
        EXPECT_EQ(f.prompter.questions.size(), 2);
        EXPECT_EQ(f.home.rows(u"SELECT HerdCode, CellCount, FatPercent FROM [104]"_s),
                  QStringList{u"H3|7|100.0"_s});
    }
}

TEST(Import, eachLineIsReadWithTheLayoutOfItsOwnVersion)
{
    // A split combined file puts version 1 lines before version 2 lines. The version 2 line has
    // fields the version 1 layout lacks; each line keeps all of its own.
    test::TestHome home;
    test::ScriptedPrompter prompter;
    NullProgress progress;
    const QByteArray v1 = "1041V31045271127    HOLAUSF0000412345672014120520140810 2117 285 "
                          "412 341 4871325  15422N\r\n";
    const QByteArray v2 = "1042V32002370801    HOLAUSF0000410000012010111920101028 1 22 252 "
                          "419 309 4801287   9622NB      D0719740  L06J\r\n";
    const QString columns = u"SELECT VersionNo, CowID, Milk, TestStatus, SamplingSession, LabCode, "
                            "RecordingDevice FROM [104] ORDER BY rowid"_s;
    Importer importer(home.dm(), progress, prompter);
    importer.importTypeFile(home.write(u"two.104"_s, v1 + v2), u"104"_s);
    EXPECT_EQ(home.rows(columns),
              (QStringList{u"1|1127|28.5|N|<null>|<null>|<null>"_s, u"2|0801|25.2|N|B|L06|J"_s}));

    // The other way round, and a version without a layout file: that line fails, reported.
    home.dm().exec(u"DELETE FROM [104]"_s);
    QByteArray v9 = v2;
    v9[3] = '9';
    importer.importTypeFile(home.write(u"two.104"_s, v2 + v1 + v9), u"104"_s);
    EXPECT_EQ(home.rows(columns),
              (QStringList{u"2|0801|25.2|N|B|L06|J"_s, u"1|1127|28.5|N|<null>|<null>|<null>"_s}));
    EXPECT_EQ(importer.counts().failedLines, 1);
    EXPECT_EQ(prompter.questions,
              QStringList{u"Error In 104 File - Line : 3\r\rContinue to display errors in this "
                          "file?"_s});
}

namespace {

// `count` good lines of the small layout with herd codes L1, L2, ...; `bad` replaces some of
// them by number (1-based).
QByteArray manyLines(int count, const QMap<int, QByteArray> &bad = {})
{
    QByteArray bytes;
    for (int i = 1; i <= count; ++i) {
        const QByteArray herd = "L" + QByteArray::number(i);
        bytes += bad.value(i, line(herd.constData(), "7", "15", "20210815", "1.5"));
    }
    return bytes;
}

QStringList herdsExcept(int count, const QList<int> &missing)
{
    QStringList herds;
    for (int i = 1; i <= count; ++i)
        if (!missing.contains(i))
            herds << u"L%1"_s.arg(i);
    return herds;
}

QString linePrompt(int lineNo, const char *field = nullptr)
{
    const QString head = field ? u"Error in 104 File - Line : %1 - Field : %2"_s.arg(lineNo).arg(
                                 QLatin1StringView(field))
                               : u"Error In 104 File - Line : %1"_s.arg(lineNo);
    return head + u"\r\rContinue to display errors in this file?"_s;
}

} // namespace

// Runs of good lines are inserted many rows a step; a line with an error among them goes on its
// own, so its number and prompt, the order of the rows and the counts stay as line by line.
TEST(Import, badLinesAmongRunsKeepTheirNumbersAndPrompts)
{
    Fixture f;
    const int n = 200;
    const auto counts = f.import(manyLines(n, {{1, line("L1", "", "", "20211301")},
                                               {40, line("L40", "4X")},
                                               {41, line("L41", "", "", "20210230")},
                                               {100, line("L100", "1 2", "", "2021AB01")},
                                               {n, line("L200", "", "", "", "x")}}));
    EXPECT_EQ(f.prompter.questions,
              (QStringList{linePrompt(1, "TestDate"), linePrompt(40), linePrompt(41, "TestDate"),
                           linePrompt(100, "TestDate"), linePrompt(100), linePrompt(n)}));
    EXPECT_EQ(f.home.rows(u"SELECT HerdCode FROM [104] ORDER BY rowid"_s),
              herdsExcept(n, {40, 100, n}));
    EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM [104] WHERE TestDate IS NULL"_s),
              QStringList{u"2"_s});
    EXPECT_EQ(f.home.rows(u"SELECT DISTINCT CellCount, Milk, FatPercent FROM [104] "
                          "WHERE HerdCode NOT IN ('L1', 'L41')"_s),
              QStringList{u"7|1.5|1.5"_s});
    EXPECT_EQ(counts.inserted, n - 3);
    EXPECT_EQ(counts.failedLines, 3);
    EXPECT_EQ(counts.fieldErrors, 3);
    EXPECT_EQ(f.progress.position(), n);
}

// A row the table refuses in the middle of a run: the run's rows go again one at a time, so
// only that line is left out and reported, with its own number.
TEST(Import, aRowRefusedInsideARunIsReportedAlone)
{
    Fixture f;
    f.home.dm().exec(u"CREATE TRIGGER refuse BEFORE INSERT ON [104] WHEN NEW.HerdCode IN "
                     "('L45', 'L46') BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
    const int n = 100;
    const auto counts = f.import(manyLines(n));
    EXPECT_EQ(f.prompter.questions, (QStringList{linePrompt(45), linePrompt(46)}));
    EXPECT_EQ(f.home.rows(u"SELECT HerdCode FROM [104] ORDER BY rowid"_s),
              herdsExcept(n, {45, 46}));
    EXPECT_EQ(counts.inserted, n - 2);
    EXPECT_EQ(counts.failedLines, 2);
}

// An error that ends the command far into a large file, raised by the reading thread or by the
// inserting one: the command ends with it, the reading stops, nothing stays inserted, and the
// next import on the same data module runs as usual. The problem list says that nothing was
// stored, also of the bad date before, and names the line where it stopped.
TEST(Import, anErrorEndsTheCommandWhileTheLinesAreStillBeingRead)
{
    const int n = 30000;
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool full; // the database can grow by a few pages only
        QString message;
    } cases[] = {
            {"a version whose layout has a bad width",
             manyLines(n, {{9000, QByteArray(line("L9000")).replace(3, 1, "8")}}), false,
             u"'w' is not a valid integer value"_s},
            {"line too long", manyLines(n, {{20000, QByteArray(70000, 'x') + "\r\n"}}), false,
             u"line 20000 is longer than 65,536 characters"_s},
            {"database full", manyLines(n), true, u"database or disk is full"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.home.writeLayout(u"DIF104V8.ini"_s, "[Records]\n01=RecordType,String,1,3\n"
                                              "02=VersionNo,Number,4,w\n");
        const QByteArray bytes = QByteArray(c.bytes).replace(
                line("L5", "7", "15", "20210815", "1.5"), line("L5", "7", "15", "20211301", "1.5"));
        const QString file = f.home.write(u"in.104"_s, bytes);
        if (c.full) {
            const QStringList pages = f.home.rows(u"PRAGMA page_count"_s);
            f.home.dm().exec(u"PRAGMA max_page_count = %1"_s.arg(pages.value(0).toInt() + 20));
        }
        Importer importer(f.home.dm(), f.progress, f.prompter);
        ProblemList problems;
        importer.setProblems(&problems);
        f.prompter.answers = {false};
        try {
            Transaction t(f.home.dm());
            importer.ImportFile(file, u"104"_s, u"DIF104V9.ini"_s);
            t.commit();
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(c.message, Qt::CaseInsensitive))
                    << e.message().toStdString();
        }
        f.home.dm().exec(u"PRAGMA max_page_count = 1000000"_s);
        // The line far too long is found while the lines are counted, before any is imported.
        const bool counted = QByteArray(c.name).startsWith("line");
        EXPECT_EQ(f.prompter.questions.size(), counted ? 0 : 1);
        ASSERT_EQ(problems.size(), counted ? 1 : 2);
        if (!counted) {
            EXPECT_EQ(ProblemList::cell(problems.at(0), 5),
                      u"Not a valid date: nothing was stored, as the command stopped"_s);
        }
        const Problem stop = problems.at(problems.size() - 1);
        EXPECT_TRUE(stop.message.contains(c.message, Qt::CaseInsensitive));
        EXPECT_EQ(stop.outcome, u"the command stopped here; nothing was stored"_s);
        if (!c.full) {
            EXPECT_EQ(stop.line, counted ? 20000 : 9000);
        }
        EXPECT_EQ(f.home.dm().rowCount(u"104"_s), 0);
        f.prompter.questions.clear();
        EXPECT_EQ(f.import(manyLines(50)).inserted, 50);
    }
}
