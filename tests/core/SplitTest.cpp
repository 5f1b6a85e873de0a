#include "DifSplitter.h"
#include "Error.h"
#include "LineCollation.h"
#include "TestSupport.h"
#include "Text.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

QByteArray crlf(const QStringList &lines)
{
    QByteArray out;
    for (const QString &l : lines)
        out += l.toLatin1() + "\r\n";
    return out;
}

struct SplitRun
{
    QTemporaryDir dir;
    test::RecordingProgress progress;
    DifSplitter::Result result;

    QString folder() const { return dir.path() + u"/out/"_s; }

    void run(const QByteArray &input, const QLocale &locale = QLocale::c(), qint64 chunk = 0)
    {
        QDir().mkpath(folder());
        const QString file = dir.path() + u"/herd.DIF"_s;
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(input);
        f.close();
        DifSplitter splitter(folder(), progress, locale);
        if (chunk > 0)
            splitter.setChunkBytes(chunk);
        result = splitter.split(file, u"herd"_s);
    }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files, QDir::Name); }
    QByteArray file(const QString &ext) const
    {
        return test::readFile(folder() + u"herd."_s + ext);
    }
};

} // namespace

TEST(Split, groupsByTypeSortedCaseInsensitivelyAndDropsShortLines)
{
    SplitRun s;
    // Interleaved types, CR-only line ends, a byte-order mark at the start and another where two
    // files were joined, blank and short lines, equal lines differing only in case.
    s.run("\xEF\xBB\xBF"
          "1021 b\r1011 z\r  \r1021 A\rab\r\r \t x \r\xEF\xBB\xBF"
          "1021 a\r1011 Y\r1021 B\rXYZ9\r");
    EXPECT_EQ(s.files(), (QStringList{u"herd.101"_s, u"herd.102"_s}));
    EXPECT_EQ(s.file(u"101"_s), crlf({u"1011 Y"_s, u"1011 z"_s}));
    // "A" and "a" are equal without case and keep their file order.
    EXPECT_EQ(s.file(u"102"_s), crlf({u"1021 A"_s, u"1021 a"_s, u"1021 b"_s, u"1021 B"_s}));
    EXPECT_EQ(s.result.firstType, u"101"_s);
    EXPECT_EQ(s.result.lines, 6);
    EXPECT_EQ(s.result.otherLines, 1); // XYZ9
}

TEST(Split, keepsBlanksAndTextOfEachLine)
{
    SplitRun s;
    // Leading and trailing blanks stay; Windows-1252 and UTF-8 text come out as Windows-1252.
    s.run("1042  caf\xE9  \r\n1042  Caf\xC3\xA9 \r\n");
    EXPECT_EQ(s.file(u"104"_s), QByteArray("1042  Caf\xE9 \r\n1042  caf\xE9  \r\n"));
}

TEST(Split, nothingLeftWritesNothing)
{
    SplitRun s;
    s.run("\r\n ab \r\n\t\r\n");
    EXPECT_TRUE(s.files().isEmpty());
    EXPECT_EQ(s.result.firstType, QString());
}

// Only what a load can use is written: groups that are no record type are counted instead, so
// neither a file of random bytes nor a name made to escape the folder leaves files behind.
TEST(Split, groupsThatAreNoRecordTypeAreCountedNotWritten)
{
    SplitRun s;
    s.run("../../evil\r\n..\\x\r\n\tAB1\r\n1011 ok\r\n999 x\r\n999 y\r\n");
    EXPECT_EQ(s.files(), QStringList{u"herd.101"_s});
    EXPECT_EQ(QDir(s.dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              (QStringList{u"herd.DIF"_s, u"out"_s}));
    EXPECT_EQ(s.result.firstType, u"101"_s);
    EXPECT_EQ(s.result.lines, 1);
    EXPECT_EQ(s.result.otherLines, 5);
    EXPECT_EQ(s.result.otherGroups, 4);

    SplitRun noise;
    QByteArray bytes(1 << 20, Qt::Uninitialized);
    QRandomGenerator random(8);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    noise.run(bytes);
    EXPECT_TRUE(noise.files().isEmpty()) << noise.files().size() << " files";
    EXPECT_GT(noise.result.otherGroups, 1000);
    EXPECT_EQ(noise.result.firstType, QString());
}

TEST(Split, characterNotInWindows1252IsAClearError)
{
    SplitRun s;
    try {
        s.run("1021 \xC5\x81ukasz\r\n");
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"line 1 of herd.DIF"_s)) << e.what();
    }
}

// The order of the lines is the collator's own, in locales that order ASCII letter by letter
// (compared through the weight table) and in one with contractions ("ch" after "h" in Czech,
// compared through sort keys), with lines outside ASCII mixed in. Sorting in small chunks that
// are merged from temporary files gives the same files.
TEST(Split, orderIsTheCollatorsInEveryLocaleAndChunkSize)
{
    const QStringList body = {u"104 chata"_s,
                              u"104 hrad"_s,
                              u"104 Cibule"_s,
                              u"104 _x"_s,
                              u"104 [x"_s,
                              u"104 a-b"_s,
                              u"104 ab"_s,
                              u"104 A b"_s,
                              u"104 10"_s,
                              u"104 9"_s,
                              u"104 \u00E9t\u00E9"_s,
                              u"104 ete"_s,
                              u"104 Zulu"_s,
                              u"104 zulu"_s,
                              u"104\tTab"_s,
                              u"104 \u00DFa"_s,
                              u"104 ssa"_s,
                              u"104 {x"_s,
                              u"104 ~"_s,
                              u"104"_s,
                              u"104 abcdefghijklmnoP"_s,
                              u"104 ABCDEFGHIJKLMNOp"_s,
                              u"104 abcdefghijklmno"_s,
                              u"104 zz"_s,
                              u"104 zz0"_s};
    QStringList lines;
    for (int i = 0; i < 40; ++i) {
        for (const QString &b : body)
            lines << b + QString::number(i % 3);
    }
    QByteArray input;
    for (const QString &l : lines) {
        input += l.toUtf8() + "\r\n";
        input += "101 h" + QByteArray::number(lines.size() % 7) + "\r\n";
    }

    const struct
    {
        const char *locale;
        bool weights;
    } locales[] = {{"C", true}, {"en_US", true}, {"de_DE", true}, {"cs_CZ", false}};
    for (const auto &l : locales) {
        const QLocale locale(QString::fromLatin1(l.locale));
        EXPECT_EQ(LineCollation(locale).usesWeights(), l.weights) << l.locale;

        QCollator collator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        QStringList expected = lines;
        std::stable_sort(expected.begin(), expected.end(), [&](const QString &a, const QString &b) {
            return collator.compare(a, b) < 0;
        });
        QByteArray expectedBytes;
        for (const QString &e : expected) {
            QByteArray b;
            toWindows1252(e, b);
            expectedBytes += b + "\r\n";
        }

        for (qint64 chunk : {qint64(0), qint64(600)}) {
            SplitRun s;
            s.run(input, locale, chunk);
            EXPECT_EQ(s.file(u"104"_s), expectedBytes) << l.locale << " chunk " << chunk;
            EXPECT_EQ(s.file(u"101"_s).count('\n'), lines.size()) << l.locale;
            EXPECT_EQ(s.result.firstType, u"101"_s);
            EXPECT_TRUE(QDir(s.folder()).entryList({u"*.tmp"_s}).isEmpty())
                    << "temporary files left behind";
        }
    }
}

// Lines of one cow agree on their first twenty or more characters, more than the sort weighs
// at first: among them the order is decided further on, also where a line ends before the
// other and where they differ only in capitals, which keep file order.
TEST(Split, linesThatShareLongBeginningsAreOrderedByTheirFirstDifference)
{
    const QStringList cows = {u"HERD0001COW000000001"_s, u"herd0001cow000000001"_s,
                              u"HERD0001COW000000002"_s, u"HERD0002COW000000001"_s};
    const QStringList rests = {u""_s,
                               u" 2021"_s,
                               u" 20210305"_s,
                               u" 20210305 12.5"_s,
                               u" 20210305 12.5 B"_s,
                               u" 20210305 12.5 a"_s,
                               u" 20210305 12.5 A"_s,
                               u" 20210305 12.5 a 0123456789 0123456789 X"_s,
                               u" 20210305 12.5 A 0123456789 0123456789 w"_s,
                               u" 20210305 12.6"_s,
                               u" 2021030"_s,
                               u" 20210"_s};
    QStringList lines;
    for (int i = 0; i < 3; ++i) {
        for (const QString &cow : cows) {
            for (const QString &rest : rests)
                lines << u"1042"_s + cow + rest;
        }
    }
    // A fixed shuffle, so that file order and sorted order differ.
    for (qsizetype i = lines.size() - 1; i > 0; --i)
        lines.swapItemsAt(i, (i * 7919) % (i + 1));
    QByteArray input;
    for (const QString &l : lines)
        input += l.toLatin1() + "\r\n";

    for (const char *name : {"C", "en_US"}) {
        const QLocale locale(QString::fromLatin1(name));
        QCollator collator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        QStringList expected = lines;
        std::stable_sort(expected.begin(), expected.end(), [&](const QString &a, const QString &b) {
            return collator.compare(a, b) < 0;
        });
        for (qint64 chunk : {qint64(0), qint64(2000)}) {
            SplitRun s;
            s.run(input, locale, chunk);
            EXPECT_EQ(s.file(u"104"_s), crlf(expected)) << name << " chunk " << chunk;
        }
    }
}

// Full chunks are sorted on a second thread while the reading goes on. What ends the split,
// in the reading or in writing a sorted chunk, ends it with that error and leaves no temporary
// file behind.
TEST(Split, anErrorWhileChunksAreSortedEndsTheSplitCleanly)
{
    QByteArray lines;
    for (int i = 0; i < 3000; ++i)
        lines += "104 line " + QByteArray::number(i * 7919 % 3000) + "\r\n";
    {
        SplitRun s;
        try {
            s.run(lines + QByteArray(70000, 'x') + "\r\n" + lines, QLocale::c(), 2000);
            FAIL() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(u"line 3001 is longer than"_s)) << e.what();
        }
        EXPECT_TRUE(QDir(s.folder()).entryList({u"*.tmp"_s}).isEmpty());
    }
    {
        // A sorted chunk cannot be set aside: the output folder is not there.
        QTemporaryDir dir;
        const QString file = dir.path() + u"/herd.DIF"_s;
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(lines);
        f.close();
        test::RecordingProgress progress;
        DifSplitter splitter(dir.path() + u"/missing/"_s, progress, QLocale::c());
        splitter.setChunkBytes(2000);
        try {
            splitter.split(file, u"herd"_s);
            FAIL() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(u"Cannot create a temporary file"_s)) << e.what();
        }
    }
}

// The load writes the files on the splitter's own thread and reads each once it is there. The
// files and the counts are the ones split() gives; a failure in writing a later file comes
// when that file is waited for; a splitter stopped while it writes leaves only whole files.
TEST(Split, writingOnItsOwnThreadGivesTheSameFilesAndStopsCleanly)
{
    QByteArray input;
    for (int i = 0; i < 40000; ++i)
        input += QByteArray(i % 3   ? "1042 "
                            : i % 5 ? "1012 "
                                    : "999 ")
                 + QByteArray::number(i * 7919 % 40000) + "\r\n";
    SplitRun whole;
    whole.run(input, QLocale::c(), 64 << 10);
    ASSERT_EQ(whole.files(), (QStringList{u"herd.101"_s, u"herd.104"_s}));

    auto started = [&](SplitRun &s, const QByteArray &bytes) {
        QDir().mkpath(s.folder());
        const QString file = s.dir.path() + u"/herd.DIF"_s;
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        auto splitter = std::make_unique<DifSplitter>(s.folder(), s.progress, QLocale::c());
        splitter->setChunkBytes(64 << 10);
        s.result = splitter->start(file, u"herd"_s);
        return splitter;
    };
    {
        SplitRun s;
        auto splitter = started(s, input);
        EXPECT_EQ(s.result.files,
                  (QStringList{s.folder() + u"herd.101"_s, s.folder() + u"herd.104"_s}));
        EXPECT_EQ(s.result.firstType, whole.result.firstType);
        EXPECT_EQ(s.result.lines, whole.result.lines);
        EXPECT_EQ(s.result.otherLines, whole.result.otherLines);
        EXPECT_EQ(s.result.otherGroups, whole.result.otherGroups);
        for (const QString &file : s.result.files)
            splitter->waitFor(file);
        for (const QString &ext : {u"101"_s, u"104"_s})
            EXPECT_EQ(s.file(ext), whole.file(ext)) << ext.toStdString();
    }
    {
        SplitRun s;
        started(s, input).reset(); // stopped at once
        for (const QString &name : s.files()) {
            EXPECT_TRUE(name == u"herd.101"_s || name == u"herd.104"_s) << name.toStdString();
            EXPECT_EQ(s.file(name.mid(5)), whole.file(name.mid(5))) << name.toStdString();
        }
    }
    {
        SplitRun s;
        auto splitter = started(s, "1012 first\r\n1021 \xC5\x81ukasz\r\n");
        ASSERT_EQ(s.result.files.size(), 2);
        splitter->waitFor(s.result.files.at(0));
        try {
            splitter->waitFor(s.result.files.at(1));
            FAIL() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(u"line 2 of herd.DIF"_s)) << e.what();
        }
    }
}
