#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

// Errors that come from the file system say what the system said.

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

const QString kSamples = QStringLiteral(BM_SOURCE_DIR "/samples/");

// A home folder holding the sample data set.
struct LoadedHome
{
    bm::test::TestHome home;
    LoadedHome()
    {
        const bm::test::ProcessResult r
                = cli({u"--home"_s, home.path(), u"load"_s, kSamples + u"herd.DIF"_s});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
};

} // namespace

// A write the system cuts short part-way, as a full disk does, is reported with the system's
// reason. The limit on a file's size stands in for the full disk here: the write stops
// part-way in the same manner, with its own reason ("File too large").
TEST(CliFileErrors, aWriteCutShortNamesItsCause)
{
    LoadedHome h;
    QTemporaryDir out;
    const struct
    {
        const char *name;
        QStringList args;
    } cases[] = {
            {"save", {u"save"_s, u"--csv"_s, out.path() + u"/herd.csv"_s}},
            {"split", {u"split"_s, kSamples + u"herd.DIF"_s}},
            {"unpack", {u"load"_s, kSamples + u"herd.zip"_s}},
    };
    for (const auto &c : cases) {
        QStringList args{u"-c"_s, u"trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\""_s,
                         QStringLiteral(BM_CLI_PATH), u"--home"_s, h.home.path()};
        const bm::test::ProcessResult r = bm::test::runProgram(u"bash"_s, args + c.args);
        EXPECT_EQ(r.exitCode, 1) << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(u". File too large."_s))
                << c.name << ": " << r.err.toStdString();
    }
}

// A folder where a file belongs is refused with a message that says so, and nothing is written
// beside it.
TEST(CliFileErrors, aFolderGivenForAFileSaysSo)
{
    LoadedHome h;
    QTemporaryDir work;
    const QString dir = work.path() + u"/data.104"_s;
    ASSERT_TRUE(QDir().mkpath(dir));
    const struct
    {
        const char *name;
        QStringList args;
        QString message;
    } cases[] = {
            {"save csv to .", {u"save"_s, u"--csv"_s, u"."_s}, u"it is a folder"_s},
            {"save dif to a folder", {u"save"_s, u"--dif"_s, dir}, u"it is a folder"_s},
            {"save zip to a folder",
             {u"save"_s, u"--csv"_s, u"--zip"_s, dir + u'/'},
             u"it is a folder"_s},
            {"import", {u"import"_s, dir}, u"Is a directory"_s},
            {"load", {u"load"_s, dir}, u"Is a directory"_s},
            {"split", {u"split"_s, dir}, u"Is a directory"_s},
    };
    for (const auto &c : cases) {
        QProcess p;
        p.setWorkingDirectory(dir);
        p.start(QStringLiteral(BM_CLI_PATH), QStringList{u"--home"_s, h.home.path()} + c.args);
        ASSERT_TRUE(p.waitForFinished(60000)) << c.name;
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 1) << c.name << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(c.message)) << c.name << ": " << err.toStdString();
        EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{u"data.104"_s})
                << c.name;
        EXPECT_TRUE(QDir(dir).isEmpty()) << c.name;
    }
}

// A named pipe or a device given to import, or standing as a sibling of the file loaded, is said
// to be one, not a missing file; nothing waits on it or reads it without end, and no table is
// emptied for it.
TEST(CliFileErrors, aPipeOrADeviceIsSaidToBeOne)
{
    LoadedHome h;
    QTemporaryDir work;
    const QString pipe = work.path() + u"/data.104"_s;
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString device = work.path() + u"/zero.104"_s;
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, device));
    const QString first = work.path() + u"/data.101"_s;
    ASSERT_TRUE(QFile::copy(kSamples + u"herd.101"_s, first));
    const struct
    {
        const char *name;
        QStringList args;
        QString err;
    } cases[] = {
            {"import a pipe",
             {u"import"_s, pipe},
             u"\"%1\". It is a named pipe, not a file.\n"_s.arg(pipe)},
            {"import a link to a device",
             {u"import"_s, device},
             u"\"%1\". It is a device, not a file.\n"_s.arg(device)},
            {"load beside a pipe",
             {u"load"_s, first},
             u"\"%1\". It is a named pipe, not a file. The tables were left as they were.\n"_s.arg(
                     pipe)},
    };
    const QStringList before = h.home.rows(u"SELECT count(*) FROM [104]"_s);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const bm::test::ProcessResult r = bm::test::runProgram(
                QStringLiteral(BM_CLI_PATH), QStringList{u"--home"_s, h.home.path()} + c.args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, u"brindlemark-cli: Cannot open file "_s + c.err);
        EXPECT_EQ(h.home.rows(u"SELECT count(*) FROM [104]"_s), before);
    }
}
