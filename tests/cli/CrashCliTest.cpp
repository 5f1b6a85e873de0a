#include "Layout.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

// Every table as "<code> <rows> <digest of the rows in row order>", read by a fresh connection.
QStringList tables(const QString &home)
{
    bm::Tdm dm(home);
    dm.ConnectDB();
    QStringList out;
    for (const QString &code : bm::recordTypeCodes()) {
        bm::Stmt stmt = dm.prepare(u"SELECT * FROM [%1] ORDER BY rowid"_s.arg(code));
        QCryptographicHash hash(QCryptographicHash::Sha1);
        qint64 rows = 0;
        while (stmt->next()) {
            ++rows;
            for (int i = 0; i < stmt->columnCount(); ++i) {
                hash.addData(QByteArray::number(int(stmt->type(i))));
                hash.addData(stmt->text(i));
            }
        }
        out << u"%1 %2 %3"_s.arg(code).arg(rows).arg(
                QString::fromLatin1(hash.result().toHex().left(12)));
    }
    bm::Stmt check = dm.prepare(u"PRAGMA integrity_check"_s);
    check->next();
    out << check->string(0);
    return out;
}

} // namespace

// A load killed in the middle, after it has begun writing into the database file, leaves the
// database exactly as it was before the load, and whole.
TEST(CliCrash, aLoadKilledHalfwayLeavesTheDatabaseAsItWas)
{
    bm::test::TestHome home;
    const QString samples = QStringLiteral(BM_SOURCE_DIR "/samples/");
    ASSERT_EQ(cli({u"--home"_s, home.path(), u"load"_s, samples + u"herd.DIF"_s}).exitCode, 0);
    const QStringList before = tables(home.path());
    ASSERT_EQ(before.last(), u"ok"_s);

    // A large per-type file: the sample's test days many times over, far more than SQLite's
    // page cache holds, so the load writes into the database file long before it ends.
    const QByteArray sample = bm::test::readFile(samples + u"herd.104"_s);
    QByteArray big;
    big.reserve(sample.size() * 2000);
    for (int i = 0; i < 2000; ++i)
        big += sample;
    const QString file = home.write(u"in/big.104"_s, big);

    const QString database = home.path() + u"Tembra.db"_s;
    const qint64 size = QFileInfo(database).size();
    QProcess load;
    load.start(QStringLiteral(BM_CLI_PATH),
               {u"--home"_s, home.path(), u"--quiet"_s, u"load"_s, file});
    ASSERT_TRUE(load.waitForStarted());
    QElapsedTimer timer;
    timer.start();
    while (QFileInfo(database).size() <= size && load.state() == QProcess::Running
           && timer.elapsed() < 60000)
        QThread::msleep(2);
    ASSERT_EQ(load.state(), QProcess::Running) << "the load ended before it could be killed: "
                                               << load.readAllStandardError().constData();
    ASSERT_GT(QFileInfo(database).size(), size);
    load.kill(); // SIGKILL
    ASSERT_TRUE(load.waitForFinished(10000));
    EXPECT_EQ(load.exitStatus(), QProcess::CrashExit);
    EXPECT_TRUE(QFile::exists(database + u"-journal"_s)) << "no journal to roll back from";
    EXPECT_FALSE(QDir(home.path()).entryList({u"Undo.db.*.part"_s}).isEmpty());

    // The next command rolls the database back before it looks at it, and removes the copy the
    // killed load was keeping for undo; the undo of the load before stays.
    const bm::test::ProcessResult asked = cli({u"--home"_s, home.path(), u"undo"_s});
    EXPECT_TRUE(asked.err.startsWith(
            u"This will put the herd data back as it was before \"Load Files\""_s))
            << asked.err.toStdString();
    EXPECT_EQ(QDir(home.path()).entryList({u"Undo.db.*"_s}), QStringList());
    EXPECT_EQ(tables(home.path()), before);

    // The killed load's lock went with it: the next command works.
    const bm::test::ProcessResult again
            = cli({u"--home"_s, home.path(), u"load"_s, samples + u"herd.zip"_s});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
}
