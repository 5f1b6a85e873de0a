#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

} // namespace

// Two copies of the program on one program folder: the second is told that the herd data is in
// use and by which process, changes nothing, and may go ahead once the first has ended, however
// it ended.
TEST(CliLock, oneCommandAtATimePerProgramFolder)
{
    bm::test::TestHome home;
    const QString samples = QStringLiteral(BM_SOURCE_DIR "/samples/");
    ASSERT_EQ(cli({u"--home"_s, home.path(), u"load"_s, samples + u"herd.DIF"_s}).exitCode, 0);
    const QString stats = cli({u"--home"_s, home.path(), u"stats"_s}).out;
    ASSERT_TRUE(QDir(home.path() + u"Scratch"_s).removeRecursively());

    auto first = std::make_unique<bm::test::LockHolder>(QStringLiteral(BM_CLI_PATH), home.path());
    const QString inUse
            = u"is in use by another copy of the program (process %1)"_s.arg(first->pid());
    const QString out = home.path() + u"out.csv"_s;
    const struct
    {
        const char *name;
        QStringList args;
    } changing[] = {
            {"load", {u"load"_s, samples + u"herd.zip"_s}},
            {"import", {u"import"_s, samples + u"herd.104"_s}},
            {"split", {u"split"_s, samples + u"herd.DIF"_s}},
            {"save", {u"save"_s, u"--csv"_s, out}},
            {"init", {u"init"_s}},
            {"check", {u"check"_s}},
            {"compact", {u"compact"_s}},
            {"clean", {u"--yes"_s, u"clean"_s, u"102"_s}},
            {"trim",
             {u"--yes"_s, u"trim"_s, u"remove"_s, u"104"_s, u"HerdCode"_s, u"eq"_s, u"X"_s}},
            {"herdcode", {u"--yes"_s, u"herdcode"_s, u"NEW"_s}},
            {"merge", {u"--yes"_s, u"merge"_s, samples + u"herd.102"_s}},
            {"undo", {u"--yes"_s, u"undo"_s}},
    };
    for (const auto &c : changing) {
        const bm::test::ProcessResult r = cli(QStringList{u"--home"_s, home.path()} + c.args);
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_TRUE(r.err.contains(inUse)) << c.name << ": " << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(home.path() + u"Scratch"_s)) << "the scratch folder was touched";
    EXPECT_FALSE(QFile::exists(home.path() + u"out_101.csv"_s));

    // A command that only reads goes ahead.
    const bm::test::ProcessResult r = cli({u"--home"_s, home.path(), u"stats"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, stats);

    // The system releases the lock of a copy that was killed.
    first->kill();
    const bm::test::ProcessResult after
            = cli({u"--home"_s, home.path(), u"load"_s, samples + u"herd.zip"_s});
    EXPECT_EQ(after.exitCode, 0) << after.err.toStdString();
    EXPECT_FALSE(bm::test::isLocked(home.path())) << "a finished command keeps the lock";
}

// The lock file is never followed where it is a link, nor written where it is not a plain file
// with this one name: each such thing in its place is refused with a message, and the file it
// leads to is neither emptied nor made.
TEST(CliLock, aLockFileThatIsNoPlainFileOfTheFolderIsRefused)
{
    QTemporaryDir outside;
    const QString precious = outside.path() + u"/precious.txt"_s;
    const QString missing = outside.path() + u"/made.txt"_s;
    const struct
    {
        const char *name;
        std::function<bool(const QString &lock)> make;
        QString why;
    } cases[] = {
            {"link to a file", [&](const QString &lock) { return QFile::link(precious, lock); },
             u"is a symbolic link"_s},
            {"link to nothing", [&](const QString &lock) { return QFile::link(missing, lock); },
             u"is a symbolic link"_s},
            {"hard link",
             [&](const QString &lock) {
                 return ::link(QFile::encodeName(precious).constData(),
                               QFile::encodeName(lock).constData())
                        == 0;
             },
             u"has other names (a hard link)"_s},
            {"pipe",
             [](const QString &lock) {
                 return ::mkfifo(QFile::encodeName(lock).constData(), 0600) == 0;
             },
             u"is not a plain file"_s},
    };
    const QString samples = QStringLiteral(BM_SOURCE_DIR "/samples/");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        bm::test::TestHome home;
        const QByteArray content = "budget 2024: 1,234\n";
        home.write(precious, content);
        const QString lock = home.path() + u"Tembra.lock"_s;
        ASSERT_TRUE(c.make(lock));
        const QString stats = cli({u"--home"_s, home.path(), u"stats"_s}).out;

        const bm::test::ProcessResult r
                = cli({u"--home"_s, home.path(), u"load"_s, samples + u"herd.DIF"_s});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, u"brindlemark-cli: Cannot lock the herd data in \"%1\": \"%2\" %3. Remove "
                         "it and try again.\n"_s.arg(home.path().chopped(1), lock, c.why));
        EXPECT_EQ(bm::test::readFile(precious), content);
        EXPECT_FALSE(QFile::exists(missing));
        EXPECT_EQ(cli({u"--home"_s, home.path(), u"stats"_s}).out, stats);
    }
}
