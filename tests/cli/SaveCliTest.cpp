#include "Layout.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(CliSave, savesZippedDifAndChosenCsvTypes)
{
    QTemporaryDir dir;
    const QString home = dir.path() + u"/home"_s;
    ASSERT_EQ(cli({u"--home"_s, home, u"init"_s}).exitCode, 0);
    for (const QString &code : bm::recordTypeCodes())
        ASSERT_EQ(cli({u"--home"_s, home, u"--quiet"_s, u"import"_s,
                       bm::test::testDataDir() + u"roundtrip/herd."_s + code})
                          .exitCode,
                  0);

    const QString archive = dir.path() + u"/herd.zip"_s;
    auto r = cli({u"--home"_s, home, u"save"_s, u"--dif"_s, u"--zip"_s, archive});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, archive + u'\n');
    r = bm::test::runProgram(u"unzip"_s, {u"-Z1"_s, archive});
    EXPECT_EQ(r.out.split(u'\n', Qt::SkipEmptyParts).size(), 12);
    EXPECT_EQ(bm::test::runProgram(u"unzip"_s, {u"-tq"_s, archive}).exitCode, 0);
    r = bm::test::runProgram(u"unzip"_s, {u"-p"_s, archive, u"herd.104"_s});
    EXPECT_EQ(r.out.toLatin1(), readAll(bm::test::testDataDir() + u"roundtrip/herd.104"_s));

    r = cli({u"--home"_s, home, u"save"_s, u"--csv"_s, u"--types"_s, u"104,101"_s,
             dir.path() + u"/h.csv"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, dir.path() + u"/h_101.csv\n"_s + dir.path() + u"/h_104.csv\n"_s);
    EXPECT_TRUE(readAll(dir.path() + u"/h_104.csv"_s).startsWith("RecordType,VersionNo,"));
}

TEST(CliSave, badUsageAndErrors)
{
    QTemporaryDir dir;
    const QString home = dir.path() + u"/"_s;
    ASSERT_EQ(cli({u"--home"_s, home, u"init"_s}).exitCode, 0);
    const QString out = home + u"x.zip"_s;
    EXPECT_EQ(cli({u"--home"_s, home, u"save"_s, out}).exitCode, 2);
    EXPECT_EQ(cli({u"--home"_s, home, u"save"_s, u"--dif"_s, u"--csv"_s, out}).exitCode, 2);
    EXPECT_EQ(cli({u"--home"_s, home, u"save"_s, u"--dif"_s}).exitCode, 2);
    EXPECT_EQ(cli({u"--home"_s, home, u"save"_s, u"--dif"_s, u"--types"_s, u"101,999"_s, out})
                      .exitCode,
              2);
    EXPECT_EQ(cli({u"--home"_s, home, u"stats"_s, u"--zip"_s}).exitCode, 2);

    // Empty tables: nothing written, and the command says so.
    auto r = cli({u"--home"_s, home, u"save"_s, u"--dif"_s, u"--types"_s, u"101"_s, out});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(u"101 has no rows"_s)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(home + u"x.101"_s));

    r = cli({u"--home"_s, home, u"save"_s, u"--csv"_s, home + u"no/such/x.csv"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"x_101.csv"_s)) << r.err.toStdString();
}
