#include "Error.h"
#include "Layout.h"
#include "Loader.h"
#include "ProblemList.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zip.h>

#include <cstring>
#include <deque>
#include <utility>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// A record line of the shipped layouts: type, current version and the first field after them
// (HerdCode, or NationalID for 105 and 202); every other field is left out and reads as Null.
QByteArray rec(const char *code, const char *key)
{
    static const QHash<QByteArray, char> version
            = {{"101", '2'}, {"102", '1'}, {"103", '1'}, {"104", '2'}, {"105", '3'}, {"106", '1'},
               {"107", '1'}, {"108", '2'}, {"112", '1'}, {"114", '3'}, {"202", '2'}, {"211", '3'}};
    return QByteArray(code) + version.value(code, '1') + QByteArray(key).leftJustified(8, ' ')
           + "\r\n";
}

using test::Entries;
using test::makeZip;

struct LoadFixture
{
    test::TestHome home;
    test::ScriptedPrompter prompter;
    test::RecordingProgress progress;
    QTemporaryDir userDir; // a folder of the user's, outside the program folder

    QString user(const QString &name) const { return userDir.path() + u'/' + name; }
    QString write(const QString &name, const QByteArray &bytes) const
    {
        return home.write(user(name), bytes);
    }

    void load(const QString &path)
    {
        Loader loader(home.dm(), progress, prompter);
        loader.load(path);
    }

    // The non-empty tables, each as "<code>:<keys in row order>".
    QStringList tables()
    {
        QStringList out;
        for (const QString &code : recordTypeCodes()) {
            const QString column
                    = code == u"105"_s || code == u"202"_s ? u"NationalID"_s : u"HerdCode"_s;
            const QStringList keys
                    = home.rows(u"SELECT %1 FROM [%2] ORDER BY rowid"_s.arg(column, code));
            if (!keys.isEmpty())
                out << code + u':' + keys.join(u',');
        }
        return out;
    }

    // Every row of every table, whole, in row order.
    QStringList everything()
    {
        QStringList out;
        for (const QString &code : recordTypeCodes())
            out << home.rows(u"SELECT * FROM [%1] ORDER BY rowid"_s.arg(code));
        return out;
    }
};

} // namespace

TEST(Load, perTypeFileBringsInItsSiblingsAndEmptiesTheOtherTables)
{
    LoadFixture f;
    f.load(f.write(u"old.103"_s, rec("103", "OLD")));
    ASSERT_EQ(f.tables(), QStringList{u"103:OLD"_s});

    f.write(u"herd.101"_s, rec("101", "H1"));
    // A byte-order mark does not hide the version character.
    f.write(u"herd.102"_s, "\xEF\xBB\xBF" + rec("102", "H1") + rec("102", "H2"));
    f.write(u"herd.103"_s, QByteArray()); // empty: its table is emptied
    f.write(u"other.105"_s, rec("105", "OTHER"));
    QDir().mkpath(f.user(u"herd.107"_s)); // a folder is no file
    f.load(f.write(u"herd.104"_s, rec("104", "H9")));

    EXPECT_EQ(f.tables(), (QStringList{u"101:H1"_s, u"102:H1,H2"_s, u"104:H9"_s}));
    EXPECT_FALSE(f.progress.isVisible());
    EXPECT_TRUE(f.prompter.questions.isEmpty());
    EXPECT_TRUE(f.progress.statuses.contains(u"Importing DIF 104"_s));
}

// The per-type files of a data set are found without regard to letter case, and a file in
// UTF-16 without a byte-order mark is read, not skipped: no table is emptied for a file that
// was not read.
TEST(Load, siblingsAreFoundWhateverTheirLetterCaseAndEncoding)
{
    LoadFixture f;
    QStringList all;
    for (const QString &code : recordTypeCodes()) {
        const QByteArray bytes = rec(code.toLatin1().constData(), "S");
        const QString name = (code.toInt() <= 103 ? u"HERD."_s : u"herd."_s) + code;
        if (code == u"105"_s) {
            // UTF-16, little end first, without a mark; a header line before the record.
            const QString text = u"Bull pedigree\r\n"_s + QString::fromLatin1(bytes);
            f.write(name,
                    QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
        } else {
            f.write(name, bytes);
        }
        all << code + u":S"_s;
    }
    ProblemList problems;
    Loader loader(f.home.dm(), f.progress, f.prompter);
    loader.setProblems(&problems);
    loader.load(f.user(u"HERD.101"_s));
    EXPECT_EQ(f.tables(), all);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(ProblemList::cell(problems.at(0), 0) + u'|' + ProblemList::cell(problems.at(0), 5),
              u"herd.105|Not a record of type 105: the line was left out"_s);

    // Two names that differ from the chosen stem only in letter case: neither is guessed at.
    f.write(u"Herd.106"_s, rec("106", "OTHER"));
    try {
        f.load(f.user(u"HERD.101"_s));
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"\"Herd.106\" and \"herd.106\""_s)) << e.what();
    }
    EXPECT_EQ(f.tables(), all);
}

TEST(Load, summaryCountsTheRecordsOfEachTable)
{
    LoadFixture f;
    f.write(u"herd.101"_s, rec("101", "H1"));
    // The third line is too short for its layout's record type to be inserted: it fails.
    QByteArray tests;
    for (int i = 0; i < 1200; ++i)
        tests += rec("104", "T" + QByteArray::number(i));
    f.prompter.answers = {false};
    const QString chosen = f.write(u"herd.104"_s, tests + "104x\r\n");
    Loader loader(f.home.dm(), f.progress, f.prompter);
    loader.load(chosen);
    EXPECT_EQ(loader.summary(chosen),
              u"Loaded \"herd.104\": 1,201 records (101: 1, 104: 1,200); 1 line with errors left "
              "out"_s);
}

TEST(Load, combinedFileIsSplitInTheScratchFolder)
{
    LoadFixture f;
    // Lower-case extension, types interleaved, short lines, a group that is no record type.
    const QString file
            = f.write(u"Herd.dif"_s, rec("102", "B") + rec("101", "H") + "ab\r\n" + rec("102", "a")
                                             + "   \r\n" + rec("999", "X") + rec("102", "C"));
    Loader loader(f.home.dm(), f.progress, f.prompter);
    loader.load(file);
    EXPECT_EQ(f.tables(), (QStringList{u"101:H"_s, u"102:a,B,C"_s}));

    // The load removes the files it split once it has read them.
    const QString scratch = f.home.path() + u"Scratch/"_s;
    EXPECT_EQ(QDir(scratch).entryList(QDir::Files, QDir::Name), QStringList{});
    // The group that is no record type is told, not written.
    EXPECT_EQ(
            f.prompter.notices,
            QStringList{u"Left out 1 line of \"%1\" that begins with no record type"_s.arg(file)});
    EXPECT_TRUE(f.progress.statuses.contains(u"Pre-Processing DIF File"_s));
    EXPECT_EQ(loader.SplitDIF(file), scratch + u"Herd.101"_s);
    EXPECT_EQ(QDir(scratch).entryList(QDir::Files, QDir::Name),
              (QStringList{u"Herd.101"_s, u"Herd.102"_s}));
    // The window shows the same counts as for a load of the per-type files themselves (the
    // split knows them; a per-type file is counted before it is read).
    for (const QString &name : {u"Herd.101"_s, u"Herd.102"_s})
        f.write(name, test::readFile(scratch + name));
    test::RecordingProgress perType;
    Loader(f.home.dm(), perType, f.prompter).load(f.user(u"Herd.101"_s));
    EXPECT_EQ(f.tables(), (QStringList{u"101:H"_s, u"102:a,B,C"_s}));
    EXPECT_EQ(f.progress.recordTexts.filter(QRegularExpression(u"^.+$"_s)),
              perType.recordTexts.filter(QRegularExpression(u"^.+$"_s)));
    EXPECT_TRUE(perType.recordTexts.contains(u"3"_s))
            << perType.recordTexts.join(u',').toStdString();
    EXPECT_EQ(loader.SplitDIF(f.write(u"empty.DIF"_s, "\r\n")), scratch + u"empty."_s);
    // The split files of the earlier load are gone.
    EXPECT_TRUE(QDir(scratch).entryList(QDir::Files, QDir::Name).isEmpty());
}

// An archive's data set is one combined file, or the per-type files of one folder and stem
// (letter case aside); with more than one the user is asked which, and cancelling changes
// nothing. Nothing else of the archive is unpacked.
TEST(Load, archivesAskWhichDataSet)
{
    QByteArray mixedCase;
    Entries twelve;
    for (const QString &code : recordTypeCodes()) {
        const bool upper = code.toInt() <= 103;
        twelve.append(
                {(upper ? u"HERD."_s : u"herd."_s) + code, rec(code.toLatin1().constData(), "H")});
    }
    const struct
    {
        const char *name;
        QString archive;
        Entries entries;
        std::deque<int> picks;
        QString question; // "" when nothing is asked
        QStringList tables;
    } cases[] = {
            {"entries in folders, extensions in any case",
             u"data.Zip"_s,
             {{u"export/"_s, {}},
              {u"export/2021/herd.101"_s, rec("101", "H1")},
              {u"export/2021/herd.104"_s, rec("104", "H1") + rec("104", "H2")},
              {u"export/readme.txt"_s, "not data"}},
             {},
             {},
             {u"101:H1"_s, u"104:H1,H2"_s}},
            {"per-type files in two letter cases are one data set",
             u"case.zip"_s,
             twelve,
             {},
             {},
             {u"101:H"_s, u"102:H"_s, u"103:H"_s, u"104:H"_s, u"105:H"_s, u"106:H"_s, u"107:H"_s,
              u"108:H"_s, u"112:H"_s, u"114:H"_s, u"202:H"_s, u"211:H"_s}},
            {"a combined file and per-type files: the per-type files chosen",
             u"a.zip"_s,
             {{u"all.DIF"_s, rec("101", "DIF") + rec("104", "DIF")},
              {u"per.104"_s, rec("104", "PER")}},
             {1},
             u"\"a.zip\" holds 2 data sets. Which one do you wish to load?|all.DIF (combined "
             "file)|per (1 per-type file)"_s,
             {u"104:PER"_s}},
            {"the same, the combined file chosen",
             u"b.ZIP"_s,
             {{u"per.202"_s, rec("202", "PER")},
              {u"all.dif"_s, rec("104", "DIF") + rec("101", "DIF") + rec("202", "DIF")}},
             {1},
             u"\"b.ZIP\" holds 2 data sets. Which one do you wish to load?|per (1 per-type "
             "file)|all.dif (combined file)"_s,
             {u"101:DIF"_s, u"104:DIF"_s, u"202:DIF"_s}},
            {"two stems",
             u"d.zip"_s,
             {{u"b.101"_s, rec("101", "B")},
              {u"a.102"_s, rec("102", "A")},
              {u"b.102"_s, rec("102", "B")},
              {u"a.104"_s, rec("104", "A")}},
             {0},
             u"\"d.zip\" holds 2 data sets. Which one do you wish to load?|b (2 per-type "
             "files)|a (2 per-type files)"_s,
             {u"101:B"_s, u"102:B"_s}},
            {"one stem in two folders",
             u"e.zip"_s,
             {{u"2020/herd.101"_s, rec("101", "OLDER")}, {u"2021/herd.101"_s, rec("101", "NEWER")}},
             {1},
             u"\"e.zip\" holds 2 data sets. Which one do you wish to load?|2020/herd (1 per-type "
             "file)|2021/herd (1 per-type file)"_s,
             {u"101:NEWER"_s}},
            {"cancelled",
             u"f.zip"_s,
             {{u"a.101"_s, rec("101", "A")}, {u"b.101"_s, rec("101", "B")}},
             {},
             u"\"f.zip\" holds 2 data sets. Which one do you wish to load?|a (1 per-type "
             "file)|b (1 per-type file)"_s,
             {u"103:OLD"_s}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        LoadFixture f;
        f.load(f.write(u"old.103"_s, rec("103", "OLD")));
        const QString archive = f.user(c.archive);
        makeZip(archive, c.entries);
        f.prompter.picks = c.picks;
        Loader loader(f.home.dm(), f.progress, f.prompter);
        EXPECT_EQ(loader.load(archive), QByteArray(c.name) != "cancelled");
        EXPECT_EQ(f.tables(), c.tables);
        EXPECT_EQ(f.prompter.choiceQuestions,
                  c.question.isEmpty() ? QStringList() : QStringList{c.question});
        EXPECT_TRUE(f.progress.statuses.contains(u"Un-Zipping Data."_s));
        EXPECT_FALSE(f.progress.isVisible());
        EXPECT_TRUE(QFile::exists(archive));
        EXPECT_EQ(QDir(f.home.path() + u"Scratch"_s).entryList(QDir::Files), QStringList{});
    }
}

// A data set without a single record of any record type would only empty every table, and a
// file that holds lines but no record of its type would empty its own: such a data set is
// refused before anything changes, and whatever it unpacked or split is removed again.
TEST(Load, dataSetWithoutRecordsLeavesTheTables)
{
    const QString none = u"\"%1\" holds no records of any record type"_s;
    const struct
    {
        const char *name;
        QString file;
        QByteArray bytes; // empty: an archive of `entries`
        Entries entries;
        QString message; // %1: the chosen file's path
    } cases[] = {
            {"archive of something else",
             u"e.zip"_s,
             {},
             {{u"readme.txt"_s, "nothing here"}},
             none},
            {"archive of garbage named like DIF",
             u"g.zip"_s,
             {},
             {{u"x.104"_s, "garbage\r\n"}},
             u"\"g.zip: x.104\" holds no record of type 104: its first line begins \"garbage\""_s},
            {"combined file of garbage",
             u"junk.DIF"_s,
             "Lorem ipsum\r\ndolor sit amet\r\n",
             {},
             none},
            {"combined file of blank lines", u"blank.DIF"_s, "\r\n  \r\n", {}, none},
            {"per-type file of another type",
             u"wrong.101"_s,
             rec("104", "H1"),
             {},
             u"\"%1\" holds no record of type 101: its first line begins \"1042H1\""_s},
            {"per-type file of text",
             u"notes.104"_s,
             "Dear farmer,\r\n",
             {},
             u"\"%1\" holds no record of type 104: its first line begins \"Dear farmer,\""_s},
            // The record types beside a good file: one of them cannot be read as records.
            {"a sibling of lines that are no records",
             u"set.101"_s,
             rec("101", "S1"),
             {},
             u"set.104\" holds no record of type 104: its first line begins \"Test days\""_s},
    };
    for (const auto &c : cases) {
        LoadFixture f;
        f.load(f.write(u"good.101"_s, rec("101", "G1")));
        const QString path = f.user(c.file);
        if (c.bytes.isEmpty())
            makeZip(path, c.entries);
        else
            f.write(c.file, c.bytes);
        if (QByteArray(c.name).startsWith("a sibling"))
            f.write(u"set.104"_s, "Test days\r\n" + rec("103", "S1"));
        try {
            f.load(path);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Error &e) {
            const QString message = c.message.contains(u"%1"_s) ? c.message.arg(path) : c.message;
            EXPECT_TRUE(e.message().endsWith(message + u". The tables were left as they were."_s))
                    << c.name << ": " << e.what();
        }
        EXPECT_EQ(f.tables(), QStringList{u"101:G1"_s}) << c.name;
        EXPECT_FALSE(f.progress.isVisible()) << c.name;
        EXPECT_EQ(QDir(f.home.path() + u"Scratch"_s).entryList(QDir::Files), QStringList{})
                << c.name;
    }
}

TEST(Load, archiveMadeByInfoZip)
{
    LoadFixture f;
    QDir().mkpath(f.user(u"Export/Sub"_s));
    f.write(u"Export/Sub/Herd.Dif"_s, rec("104", "Z") + rec("101", "Z") + rec("104", "Y"));
    f.write(u"Export/notes.txt"_s, "not data");
    QProcess zip;
    zip.setWorkingDirectory(f.userDir.path());
    zip.start(u"zip"_s, {u"-r"_s, u"-q"_s, u"HERD.ZIP"_s, u"Export"_s});
    ASSERT_TRUE(zip.waitForFinished(30000));
    ASSERT_EQ(zip.exitCode(), 0) << zip.readAllStandardError().constData();

    Loader loader(f.home.dm(), f.progress, f.prompter);
    EXPECT_EQ(loader.UnZipFile(f.user(u"HERD.ZIP"_s)), f.home.path() + u"Scratch/Herd.Dif"_s);
    // The notes are no file of a record type: not unpacked.
    EXPECT_EQ(QDir(f.home.path() + u"Scratch"_s)
                      .entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              QStringList{u"Herd.Dif"_s});
    f.load(f.user(u"HERD.ZIP"_s));
    EXPECT_EQ(f.tables(), (QStringList{u"101:Z"_s, u"104:Y,Z"_s}));
}

TEST(Load, entryNamesCannotPlaceFilesOutsideTheScratchFolder)
{
    LoadFixture f;
    // A link in the scratch folder is replaced by the entry, never written through.
    const QString outside = f.write(u"outside.txt"_s, "mine");
    QDir().mkpath(f.home.path() + u"Scratch"_s);
    ASSERT_TRUE(QFile::link(outside, f.home.path() + u"Scratch/escaped.101"_s));
    const QString archive = f.user(u"evil.zip"_s);
    makeZip(archive, {{u"../../escaped.101"_s, rec("101", "UP")},
                      {u"/tmp/absolute.102"_s, rec("102", "ABS")},
                      {u"dir\\escaped.104"_s, rec("104", "BS")},
                      {u".."_s, "dots"},
                      {u"sub/../../x.csv"_s, "csv"}});
    // Each of the three data sets (the folders differ) lands in the scratch folder.
    const QStringList expected = {u"escaped.101"_s, u"absolute.102"_s, u"escaped.104"_s};
    for (int pick = 0; pick < 3; ++pick) {
        f.prompter.picks = {pick};
        Loader loader(f.home.dm(), f.progress, f.prompter);
        EXPECT_EQ(loader.UnZipFile(archive), f.home.path() + u"Scratch/"_s + expected.at(pick));
        EXPECT_EQ(QDir(f.home.path() + u"Scratch"_s)
                          .entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
                  QStringList{expected.at(pick)});
        EXPECT_FALSE(QFileInfo(f.home.path() + u"Scratch/"_s + expected.at(pick)).isSymLink());
    }
    EXPECT_EQ(test::readFile(outside), "mine");
    for (const QString &folder :
         {f.home.path(), QFileInfo(f.home.path()).dir().absolutePath() + u'/', f.user(QString())})
        EXPECT_FALSE(QFile::exists(folder + u"escaped.101"_s)) << folder.toStdString();
    f.prompter.picks = {1};
    f.load(archive);
    EXPECT_EQ(f.tables(), (QStringList{u"102:ABS"_s}));
}

namespace {

quint32 crc32Of(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

struct RawEntry
{
    QByteArray name;
    QByteArray data;
    quint64 declared; // the size the entry says it unpacks to
};

// A ZIP archive written byte by byte, for archives no library would write: every entry stored,
// declaring the size given (a ZIP64 size when it does not fit 32 bits).
QByteArray rawZip(const QList<RawEntry> &entries)
{
    auto le = [](QByteArray &out, quint64 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += char((v >> (8 * i)) & 0xFF);
    };
    QByteArray zip;
    QByteArray central;
    for (const RawEntry &e : entries) {
        const bool big = e.declared >= 0xFFFFFFFFu;
        const quint64 offset = quint64(zip.size());
        const quint32 crc = crc32Of(e.data);
        QByteArray extra;
        if (big) {
            le(extra, 1, 2);
            le(extra, 8, 2);
            le(extra, e.declared, 8);
        }
        le(zip, 0x04034b50u, 4);
        le(zip, 45, 2);
        le(zip, 0, 2);
        le(zip, 0, 2);
        le(zip, 0, 2);
        le(zip, 0x21, 2);
        le(zip, crc, 4);
        le(zip, quint64(e.data.size()), 4);
        le(zip, big ? 0xFFFFFFFFu : e.declared, 4);
        le(zip, quint64(e.name.size()), 2);
        le(zip, quint64(extra.size()), 2);
        zip += e.name + extra + e.data;

        le(central, 0x02014b50u, 4);
        le(central, 45, 2);
        le(central, 45, 2);
        le(central, 0, 2);
        le(central, 0, 2);
        le(central, 0, 2);
        le(central, 0x21, 2);
        le(central, crc, 4);
        le(central, quint64(e.data.size()), 4);
        le(central, big ? 0xFFFFFFFFu : e.declared, 4);
        le(central, quint64(e.name.size()), 2);
        le(central, quint64(extra.size()), 2);
        le(central, 0, 2);
        le(central, 0, 2);
        le(central, 0, 2);
        le(central, 0, 4);
        le(central, offset, 4);
        central += e.name + extra;
    }
    const quint64 at = quint64(zip.size());
    zip += central;
    le(zip, 0x06054b50u, 4);
    le(zip, 0, 4);
    le(zip, quint64(entries.size()), 2);
    le(zip, quint64(entries.size()), 2);
    le(zip, quint64(central.size()), 4);
    le(zip, at, 4);
    le(zip, 0, 2);
    return zip;
}

} // namespace

// Archives made to outgrow the checks are refused before anything is unpacked: declared sizes
// that would wrap round past 2^64 (to a size that passes any free-space check), and a directory
// of far more entries than a data set has (the archive library would hold it all in memory).
TEST(Load, archivesThatOutgrowTheirChecksAreRefused)
{
    QList<RawEntry> many;
    for (int i = 0; i <= 10000; ++i)
        many.append({"e" + QByteArray::number(i) + ".txt", {}, 0});
    // Few entries whose directory still takes more than 8 MiB: 130 records of 46 bytes and their
    // names, 8,456,780 bytes in all.
    QList<RawEntry> longNames;
    for (int i = 0; i < 130; ++i)
        longNames.append({QByteArray::number(i) + QByteArray(65000, 'n') + ".txt", {}, 0});
    const quint64 all = ~quint64(0);
    const struct
    {
        const char *name;
        QList<RawEntry> entries;
        QString message;
    } cases[] = {
            {"sizes that add up past 2^64",
             {{"w.101", rec("101", "W"), all}, {"w.104", rec("104", "W"), 2}},
             u"its entries declare more bytes than any disk holds"_s},
            {"one entry of 2^64 - 1 bytes",
             {{"w.101", rec("101", "W"), all}},
             u"its entries declare more bytes than any disk holds"_s},
            {"more than a terabyte", {{"w.101", rec("101", "W"), quint64(1) << 40}}, u"and only"_s},
            {"10,001 entries", many, u"of directory); an archive of a data set holds at most"_s},
            {"130 entries of long names", longNames,
             u"it holds 130 entries (%1 of directory); an archive of a data set holds at most %2 "
             "entries and %3 of directory"_s.arg(QLocale().formattedDataSize(8456780),
                                                 QLocale().toString(10000),
                                                 QLocale().formattedDataSize(8 << 20, 0))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        LoadFixture f;
        f.load(f.write(u"good.101"_s, rec("101", "G1")));
        const QString archive = f.write(u"big.zip"_s, rawZip(c.entries));
        try {
            f.load(archive);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(c.message)) << e.what();
        }
        EXPECT_EQ(f.tables(), QStringList{u"101:G1"_s});
        EXPECT_EQ(QDir(f.home.path() + u"Scratch"_s).entryList(QDir::Files), QStringList{});
    }
}

// An error that ends the load leaves every table as it was, and hides the progress window.
TEST(Load, errorsLeaveEveryTableAsItWas)
{
    QByteArray stored;
    {
        // An entry stored uncompressed, so one byte of it can be damaged.
        QTemporaryDir dir;
        makeZip(dir.path() + u"/s.zip"_s, {{u"herd.101"_s, rec("101", "DAMAGED")}}, true);
        QFile z(dir.path() + u"/s.zip"_s);
        z.open(QIODevice::ReadOnly);
        stored = z.readAll();
        stored[stored.indexOf("DAMAGED")] = 'X';
    }
    QByteArray liar;
    {
        // An entry of a megabyte that says it holds 100 bytes, in both of its headers.
        QTemporaryDir dir;
        makeZip(dir.path() + u"/l.zip"_s,
                {{u"herd.104"_s, rec("104", "LIE") + QByteArray(1 << 20, '\0')}});
        liar = test::readFile(dir.path() + u"/l.zip"_s);
        const quint32 declared = 100;
        const qsizetype central = liar.indexOf("PK\x01\x02");
        ASSERT_TRUE(liar.startsWith("PK\x03\x04") && central > 0);
        std::memcpy(liar.data() + 22, &declared, 4);
        std::memcpy(liar.data() + central + 24, &declared, 4);
    }
    const struct
    {
        const char *name;
        QString file;
        QByteArray bytes;
        QString message;
    } cases[] = {
            {"not an archive", u"bad.zip"_s, "PK but not really", u"Not a zip archive"_s},
            {"damaged entry", u"crc.zip"_s, stored, u"CRC error"_s},
            {"entry larger than it says", u"liar.zip"_s, liar, u"more than the 100 bytes"_s},
            {"line far longer than any record", u"long.DIF"_s,
             rec("101", "L") + QByteArray(1 << 20, 'x') + "\r\n", u"line 2 is longer than"_s},
            {"bad layout in a later table", u"herd.101"_s, {}, u"not a valid integer value"_s},
            // The per-type files of a combined file are written while the first tables load.
            {"a later record type that cannot be written in Windows-1252", u"utf8.DIF"_s,
             "\xEF\xBB\xBF" + rec("101", "NEW") + "1021 \xC5\x81ukasz\r\n",
             u"line 2 of utf8.DIF"_s},
            {"missing file", u"missing.101"_s, {}, u"No such file"_s},
            {"a line of a version with a bad layout in a later table",
             u"herd.101"_s,
             {},
             u"The layout DIF104V7.ini, field VersionNo: 'x' is not a valid integer value. The "
             "tables were left as they were."_s},
    };
    for (const auto &c : cases) {
        LoadFixture f;
        f.write(u"good.101"_s, rec("101", "G1"));
        f.write(u"good.104"_s, rec("104", "G4"));
        f.load(f.user(u"good.101"_s));
        const QStringList before = f.everything();
        ASSERT_EQ(f.tables(), (QStringList{u"101:G1"_s, u"104:G4"_s}));

        if (!c.bytes.isEmpty())
            f.write(c.file, c.bytes);
        if (QByteArray(c.name).startsWith("bad layout")) {
            // 101 and 104 load first, then the layout of 114 stops the load.
            f.write(u"herd.101"_s, rec("101", "NEW"));
            f.write(u"herd.104"_s, rec("104", "NEW"));
            f.write(u"herd.114"_s, rec("114", "NEW"));
            f.home.writeLayout(u"DIF114V3.ini"_s,
                               "[Records]\n01=RecordType,String,1,3\n02=VersionNo,Number,x,1\n");
        }
        if (QByteArray(c.name).startsWith("a line of a version")) {
            // The third line of the test days is of version 7, whose layout has a bad width.
            f.write(u"herd.101"_s, rec("101", "NEW"));
            f.write(u"herd.104"_s, rec("104", "N1") + "\r\n" + rec("104", "N2").replace(3, 1, "7"));
            f.home.writeLayout(u"DIF104V7.ini"_s,
                               "[Records]\n01=RecordType,String,1,3\n02=VersionNo,Number,4,x\n");
        }
        try {
            f.load(f.user(c.file));
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(c.message)) << c.name << ": " << e.what();
        }
        EXPECT_EQ(f.everything(), before) << c.name;
        EXPECT_FALSE(f.progress.isVisible()) << c.name;
    }
}

TEST(Load, scratchPatternsDeleteOnlyInTheScratchFolder)
{
    LoadFixture f;
    const QStringList keep
            = {u"notes.csv"_s, u"libx.so.1.2"_s, u"DIF.txt"_s, u"mine.DIF"_s, u"mine.104"_s};
    for (const QString &name : keep)
        f.home.write(name, "keep");
    f.write(u"users.csv"_s, "keep");
    const QString scratch = f.home.path() + u"Scratch/"_s;
    f.home.write(u"Scratch/old.102"_s, rec("102", "OLD"));
    f.home.write(u"Scratch/.hidden.csv"_s, "scratch");
    f.home.write(u"Scratch/keep.txt"_s, "scratch");

    const QString archive = f.user(u"set.zip"_s);
    makeZip(archive, {{u"set.104"_s, rec("104", "Z")}});
    f.load(archive);
    EXPECT_EQ(f.tables(), QStringList{u"104:Z"_s});
    for (const QString &name : keep)
        EXPECT_TRUE(QFile::exists(f.home.path() + name)) << name.toStdString();
    EXPECT_TRUE(QFile::exists(f.user(u"users.csv"_s)));
    EXPECT_TRUE(QFile::exists(f.home.path() + u"Tembra.db"_s));
    EXPECT_EQ(QDir(scratch).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                      QDir::Name),
              QStringList{u"keep.txt"_s});

    // An archive that itself lies in the scratch folder and matches a pattern is not deleted
    // before it is read.
    makeZip(scratch + u"again.1.zip"_s, {{u"again.101"_s, rec("101", "AGAIN")}});
    f.load(scratch + u"again.1.zip"_s);
    EXPECT_EQ(f.tables(), QStringList{u"101:AGAIN"_s});
}

TEST(Load, scratchFileThatCannotBeDeletedStopsBeforeAnyTable)
{
    LoadFixture f;
    f.load(f.write(u"good.101"_s, rec("101", "G1")));
    QDir().mkpath(f.home.path() + u"Scratch/stuck.102"_s); // a folder matching "*.1*"
    try {
        f.load(f.write(u"herd.DIF"_s, rec("104", "NEW")));
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(),
                  u"Cannot delete \"%1Scratch/stuck.102\". Is a directory. The tables were left "
                  "as they were."_s.arg(f.home.path()));
    }
    EXPECT_EQ(f.tables(), QStringList{u"101:G1"_s});
    EXPECT_FALSE(f.progress.isVisible());
}

TEST(Load, sameDataTwiceGivesTheSameTablesWhicheverFormItComesIn)
{
    LoadFixture f;
    QByteArray combined;
    const char *codes[]
            = {"101", "102", "103", "104", "105", "106", "107", "108", "112", "114", "202", "211"};
    for (int i = 2; i >= 0; --i) {
        for (const char *code : codes)
            combined += rec(code, ("K" + QByteArray::number(i) + code).constData());
    }
    // The per-type files hold the lines in the order the split writes them.
    for (const char *code : codes) {
        QByteArray lines;
        for (int i = 0; i < 3; ++i)
            lines += rec(code, ("K" + QByteArray::number(i) + code).constData());
        f.write(u"types."_s + QString::fromLatin1(code), lines);
    }
    f.write(u"all.DIF"_s, combined);
    makeZip(f.user(u"all.zip"_s), {{u"all.DIF"_s, combined}});

    f.load(f.user(u"all.DIF"_s));
    const QStringList first = f.everything();
    ASSERT_EQ(first.size(), 36);
    f.load(f.user(u"all.DIF"_s));
    EXPECT_EQ(f.everything(), first);
    f.load(f.user(u"types.103"_s));
    EXPECT_EQ(f.everything(), first);
    f.load(f.user(u"all.zip"_s));
    EXPECT_EQ(f.everything(), first);
}

TEST(Load, deleteFileSpecMatchesLikeTheFileSystemShell)
{
    QTemporaryDir dir;
    const QString d = dir.path() + u'/';
    const QStringList names = {u"a.DIF"_s, u"b.dif"_s,  u"c.Dif.bak"_s, u"DIF.1"_s, u"x.10"_s,
                               u"x.2a"_s,  u".h.101"_s, u"keep.101"_s,  u"y.txt"_s};
    for (const QString &n : names) {
        QFile file(d + n);
        file.open(QIODevice::WriteOnly);
    }
    DeleteFileSpec(d + u"*.dif"_s);
    DeleteFileSpec(d + u"*.1*"_s, d + u"keep.101"_s);
    EXPECT_EQ(QDir(d).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{u"c.Dif.bak"_s, u"keep.101"_s, u"x.2a"_s, u"y.txt"_s}));
}
