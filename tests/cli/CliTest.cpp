#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

} // namespace

TEST(Cli, initImportStats)
{
    QTemporaryDir dir;
    const QString home = dir.path() + u"/home"_s;
    bm::test::ProcessResult r = cli({u"--home"_s, home, u"init"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(home + u"/Tembra.db"_s));
    EXPECT_TRUE(QFile::exists(home + u"/Defs/DIF104V2.ini"_s)) << "Defs not copied";

    // A second init leaves the database alone.
    r = cli({u"--home"_s, home, u"init"_s});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(u"left as it is"_s));

    QFile f(home + u"/herd.104"_s);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("1042V3104527") + QByteArray(69, ' ') + "12X\r\n" + "1042V3104527\r\n"
            + "1042V310452711    AUSF00004123456720150230\r\n");
    f.close();
    r = cli({u"--home"_s, home, u"import"_s, f.fileName()});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.split(u'\n', Qt::SkipEmptyParts),
              (QStringList{u"Error In 104 File - Line : 1"_s,
                           u"Error in 104 File - Line : 3 - Field : TestDate"_s}));
    EXPECT_TRUE(r.out.contains(u"2 rows imported, 1 lines failed, 1 field errors"_s))
            << r.out.toStdString();

    r = cli({u"--home"_s, home, u"--no"_s, u"import"_s, f.fileName()});
    EXPECT_EQ(r.err.split(u'\n', Qt::SkipEmptyParts).size(), 1) << "--no keeps prompting";

    r = cli({u"--home"_s, home, u"stats"_s});
    EXPECT_EQ(r.exitCode, 0);
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines.at(0), u"101 0"_s);
    EXPECT_EQ(lines.at(3), u"104 4"_s);
}

TEST(Cli, exitCodes)
{
    QTemporaryDir dir;
    const QString home = dir.path() + u"/"_s;
    EXPECT_EQ(cli({u"--home"_s, home, u"frobnicate"_s}).exitCode, 2);
    EXPECT_EQ(cli({u"--home"_s, home, u"import"_s}).exitCode, 2);
    EXPECT_EQ(cli({u"--home"_s, home, u"import"_s, home + u"x.txt"_s}).exitCode, 2);
    // No database in the home folder: a command error, with the message on stderr.
    const bm::test::ProcessResult r = cli({u"--home"_s, home, u"stats"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"Tembra.db"_s)) << r.err.toStdString();
    cli({u"--home"_s, home, u"init"_s});
    EXPECT_EQ(cli({u"--home"_s, home, u"import"_s, home + u"missing.104"_s}).exitCode, 1);
}

TEST(Cli, compactKeepsTheBackupAndTheRows)
{
    QTemporaryDir dir;
    const QString home = dir.path() + u"/"_s;
    // No database: nothing to compact, a command error.
    bm::test::ProcessResult r = cli({u"--home"_s, home, u"compact"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"Tembra.db"_s)) << r.err.toStdString();

    ASSERT_EQ(cli({u"--home"_s, home, u"init"_s}).exitCode, 0);
    QFile f(home + u"herd.101"_s);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1012H1\r\n1012H2\r\n");
    f.close();
    ASSERT_EQ(cli({u"--home"_s, home, u"import"_s, f.fileName()}).exitCode, 0);
    const QByteArray before = bm::test::readFile(home + u"Tembra.db"_s);

    r = cli({u"--home"_s, home, u"compact"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(u"Backup.db"_s)) << r.out.toStdString();
    EXPECT_EQ(bm::test::readFile(home + u"Backup.db"_s), before);
    EXPECT_EQ(cli({u"--home"_s, home, u"stats"_s}).out.section(u'\n', 0, 0), u"101 2"_s);
    EXPECT_EQ(cli({u"--home"_s, home, u"compact"_s, u"x"_s}).exitCode, 2);
}
