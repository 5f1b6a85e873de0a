#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

// What the command-line program leaves in and around its program folder: nothing of its own
// after a file-size limit or a kill, and nothing of anybody else's deleted through a link.

namespace {

const QString kSamples = QStringLiteral(BM_SOURCE_DIR "/samples/");

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

// Runs the program with the size of the files it writes limited to `bytes` (ulimit -f).
bm::test::ProcessResult cliWithFileSizeLimit(const QStringList &args, rlim_t bytes)
{
    QProcess p;
    p.setChildProcessModifier([bytes] {
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    p.start(QStringLiteral(BM_CLI_PATH), args);
    if (!p.waitForFinished(120000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The files of a folder but the lock file.
QStringList filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    names.removeAll(u"Tembra.lock"_s);
    return names;
}

} // namespace

// A limit on the size of files is a full disk: the command says why it stopped, changes
// nothing and leaves nothing of its own, where it used to be killed without a word.
TEST(CliLeftovers, aFileSizeLimitIsAFullDisk)
{
    const struct
    {
        const char *name;
        rlim_t limit;
        QString message; // a part of it
    } cases[] = {
            {"the copy for undo does not fit", 40 << 10,
             u"Cannot keep the herd data for undo: File too large. Load Files was not run"_s},
            // The empty database of 16 KB pages and its copy fit, the loaded tables do not.
            {"the loaded tables do not fit", 256 << 10,
             u"Disk I/O error: File too large (files may grow to 262144 bytes at most here)"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        bm::test::TestHome home;
        const QString stats = cli({u"--home"_s, home.path(), u"stats"_s}).out;
        const QStringList before = filesIn(home.path());
        const bm::test::ProcessResult r = cliWithFileSizeLimit(
                {u"--home"_s, home.path(), u"load"_s, kSamples + u"herd.DIF"_s}, c.limit);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(u"left as"_s)) << r.err.toStdString();
        EXPECT_EQ(cli({u"--home"_s, home.path(), u"stats"_s}).out, stats);
        EXPECT_EQ(filesIn(home.path()), before);
        EXPECT_EQ(filesIn(home.path() + u"Scratch"_s), QStringList());
    }
}

// A command that was killed leaves what it was making; the next command that holds the lock
// removes it: pending copies for undo, compacted copies, the files of the scratch folder.
TEST(CliLeftovers, theNextCommandRemovesWhatAKilledOneLeft)
{
    bm::test::TestHome home;
    const QString h = home.path();
    ASSERT_EQ(cli({u"--home"_s, h, u"--quiet"_s, u"load"_s, kSamples + u"herd.DIF"_s}).exitCode, 0);
    const QStringList kept = filesIn(h);
    const QStringList debris{u"Undo.db.4242-1-abc.part"_s, u"Undo.db.4242-1-abc.part-journal"_s,
                             u"Undo.ini.part"_s, u"Tembra.compact-Ab12Cd.db"_s,
                             u"Tembra.compact-Ab12Cd.db-journal"_s};
    const QStringList scratch{u"herd.101"_s, u"herd.104"_s, u"~split-Xy12Zw.tmp"_s,
                              u"herd_101.csv"_s};
    for (const QString &name : debris)
        home.write(name, "left by a killed command");
    for (const QString &name : scratch)
        home.write(u"Scratch/"_s + name, "left by a killed command");

    // A command that was not killed leaves the scratch files a split made for the user; only
    // the split's sort runs are never results.
    ASSERT_EQ(cli({u"--home"_s, h, u"undo"_s}).exitCode, 0);
    EXPECT_EQ(filesIn(h), kept);
    EXPECT_EQ(filesIn(h + u"Scratch"_s),
              (QStringList{u"herd.101"_s, u"herd.104"_s, u"herd_101.csv"_s}));

    // Killed while it held the lock (a load waiting on a pipe): what the scratch folder holds
    // is its own.
    auto holder = std::make_unique<bm::test::LockHolder>(QStringLiteral(BM_CLI_PATH), h);
    holder->kill();
    const bm::test::ProcessResult r = cli({u"--home"_s, h, u"undo"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(filesIn(h + u"Scratch"_s), QStringList());
}

// A scratch folder that is a link to somebody's folder is refused, and not one of the files
// there is deleted: by a load of a combined file or an archive, a split or a zipped save.
TEST(CliLeftovers, aScratchFolderThatIsALinkIsRefused)
{
    QTemporaryDir users;
    const QString theirs = users.path() + u'/';
    const QStringList files{u"budget.csv"_s, u"herd2019.DIF"_s, u"herd2019.104"_s, u"DIF.txt"_s};
    const struct
    {
        const char *name;
        QStringList args;
    } commands[] = {
            {"load DIF", {u"load"_s, kSamples + u"herd.DIF"_s}},
            {"load zip", {u"load"_s, kSamples + u"herd.zip"_s}},
            {"split", {u"split"_s, kSamples + u"herd.DIF"_s}},
            {"save zip", {u"save"_s, u"--csv"_s, u"--zip"_s, theirs + u"out.zip"_s}},
    };
    QStringList expected = files;
    expected.sort();
    bm::test::TestHome home;
    ASSERT_TRUE(QFile::link(users.path(), home.path() + u"Scratch"_s));
    for (const auto &c : commands) {
        SCOPED_TRACE(c.name);
        for (const QString &name : files)
            home.write(theirs + name, "the user's own");
        const bm::test::ProcessResult r = cli(QStringList{u"--home"_s, home.path()} + c.args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(
                r.err.contains(u"The scratch folder \"%1Scratch\" is a link, not a folder of "
                               "the program folder. Remove it and try again"_s.arg(home.path())))
                << r.err.toStdString();
        QStringList left = filesIn(theirs);
        left.sort();
        EXPECT_EQ(left, expected) << r.err.toStdString();
    }
}
