#include "GuiFixture.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

QString sample(const char *name)
{
    return QStringLiteral(BM_SOURCE_DIR "/samples/") + QString::fromLatin1(name);
}

} // namespace

// The program window holds the lock of its program folder from the moment it opens on the data
// until compaction at close has finished.
class FolderLockTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void commandLineWaitsForTheOpenWindow();
    void windowOfASecondCopyShowsWhoHasTheDataAndCloses();
};

void FolderLockTest::commandLineWaitsForTheOpenWindow()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    QVERIFY(f.prompter.errors.isEmpty());

    const bm::test::ProcessResult r
            = cli({u"--home"_s, f.home.path(), u"load"_s, sample("herd.zip")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(u"is in use by another copy of the program (process %1)"_s.arg(
                     QCoreApplication::applicationPid())),
             qPrintable(r.err));
    QCOMPARE(f.home.rows(uR"(SELECT count(*) FROM "104")"_s), QStringList{u"0"_s});

    // Closing the window compacts the database and only then lets the data go.
    f.frmMain.close();
    QVERIFY(QFile::exists(f.home.path() + u"Backup.db"_s));
    QVERIFY(!bm::test::isLocked(f.home.path()));
    const bm::test::ProcessResult after
            = cli({u"--home"_s, f.home.path(), u"load"_s, sample("herd.zip")});
    QVERIFY2(after.exitCode == 0, qPrintable(after.err));
}

void FolderLockTest::windowOfASecondCopyShowsWhoHasTheDataAndCloses()
{
    MainWindowFixture f;
    // The first connection to a new database gives it the table of its data generation: made
    // here, so the holder's own connection has nothing to add while the file is compared.
    {
        bm::Tdm first(f.home.path());
        first.ConnectDB();
    }
    bm::test::LockHolder holder(QStringLiteral(BM_CLI_PATH), f.home.path());
    const QByteArray database = bm::test::readFile(f.home.path() + u"Tembra.db"_s);

    f.frmMain.show();
    QTRY_VERIFY(!f.frmMain.isVisible());
    QCOMPARE(f.prompter.errors.size(), 1);
    QVERIFY2(f.prompter.errors.first().contains(
                     u"is in use by another copy of the program (process %1)"_s.arg(holder.pid())),
             qPrintable(f.prompter.errors.first()));
    QVERIFY(!f.dm.isOpen());
    // Nothing of the data was touched: no compaction at close, no backup.
    QVERIFY(!QFile::exists(f.home.path() + u"Backup.db"_s));
    QCOMPARE(bm::test::readFile(f.home.path() + u"Tembra.db"_s), database);
}

QTEST_MAIN(FolderLockTest)
#include "FolderLockTest.moc"
