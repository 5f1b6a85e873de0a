#include "WriteBehind.h"
#include "SqliteConnection.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <thread>

using namespace bm;
using namespace Qt::StringLiterals;

// Run by the test below in a process of its own: tries to begin writing to the database named
// in BM_WRITE_BEHIND_DB and prints SQLite's answer.
TEST(WriteBehind, DISABLED_otherProcessBeginsWriting)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(qgetenv("BM_WRITE_BEHIND_DB").constData(), &db, SQLITE_OPEN_READWRITE,
                             nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    std::printf("rc=%d\n", rc);
    sqlite3_close(db);
}

namespace {

// SQLite's answer to another process that begins writing to `database`.
int otherProcessBeginsWriting(const QString &database)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"BM_WRITE_BEHIND_DB"_s, database);
    child.setProcessEnvironment(env);
    child.start(QFileInfo(u"/proc/self/exe"_s).symLinkTarget(),
                {u"--gtest_filter=WriteBehind.DISABLED_otherProcessBeginsWriting"_s,
                 u"--gtest_also_run_disabled_tests"_s});
    if (!child.waitForFinished(60000))
        return -1;
    const QByteArray out = child.readAllStandardOutput();
    const qsizetype at = out.indexOf("rc=");
    return at < 0 ? -1 : out.mid(at + 3).split('\n').first().toInt();
}

} // namespace

// The writing is asked for through the connection's own descriptor of the file: the locks of
// its transaction hold throughout (a descriptor of the file closed anywhere in the process
// would drop them), and what it commits is there.
TEST(WriteBehind, theTransactionKeepsItsLocksAndItsRows)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    const QString database = home.path() + u"/Tembra.db"_s;
    {
        Transaction transaction(dm);
        dm.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                "INSERT INTO [101] (HerdCode) SELECT 'H' || i FROM n"_s);
        {
            const WriteBehind behind(dynamic_cast<const db::SqliteConnection &>(dm.connection()),
                                     std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(otherProcessBeginsWriting(database), SQLITE_BUSY);
        }
        EXPECT_EQ(otherProcessBeginsWriting(database), SQLITE_BUSY);
        transaction.commit();
    }
    EXPECT_EQ(otherProcessBeginsWriting(database), SQLITE_OK);
    EXPECT_EQ(dm.rowCount(u"101"_s), 20000);
}
