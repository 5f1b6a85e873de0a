#include "GuiFixture.h"

#include "Command.h"
#include "LiveWindows.h"

#include <QElapsedTimer>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace bm::gui;

// A long statement of a command on the herd database keeps the windows painted: the events of
// the window system run every 100 ms while it works, and nothing they do may use the database
// under it.
class LiveWindowsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eventsRunDuringALongStatementOfACommandOnly();
    void closingDuringTheStatementWaitsForTheCommand();
};

namespace {

// A statement that keeps SQLite busy for a while (several hundred milliseconds).
const QString kLongStatement = u"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                               "WHERE x < 3000000) SELECT count(*) FROM c"_s;

} // namespace

void LiveWindowsTest::eventsRunDuringALongStatementOfACommandOnly()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    QCOMPARE(f.shown(u"HerdCode"_s), (QStringList{u"H2"_s, u"H1"_s}));

    // A timer that can only fire while events run; what the grid shows then.
    QStringList seen;
    QTimer timer;
    connect(&timer, &QTimer::timeout, &timer, [&] {
        seen << (live::painting() ? u"painting "_s : u"idle "_s)
                        + f.model()
                                  ->index(0, f.model()->columnIndex(u"HerdCode"_s))
                                  .data()
                                  .toString();
    });
    timer.start(10);
    QElapsedTimer took;
    took.start();
    QVERIFY(runCommand(&f.frmProgress, f.prompter, [&] { f.dm.exec(kLongStatement); }));
    const qint64 ms = took.elapsed();
    timer.stop();
    QVERIFY2(ms > 250, qPrintable(QString::number(ms)));
    // Events ran at least every few hundred milliseconds, inside the statement; the grid showed
    // the rows it held without reading.
    QVERIFY2(seen.size() >= ms / 300, qPrintable(u"%1 ms: %2"_s.arg(ms).arg(seen.join(u", "_s))));
    QCOMPARE(seen, QStringList(seen.size(), u"painting H2"_s));

    // Outside a command the statement runs without letting events through.
    seen.clear();
    timer.start(10);
    f.dm.exec(kLongStatement);
    timer.stop();
    QVERIFY(seen.isEmpty());
    QVERIFY(f.prompter.errors.isEmpty());
}

void LiveWindowsTest::closingDuringTheStatementWaitsForTheCommand()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    bool closedDuring = false;
    bool openDuring = false;
    QTimer::singleShot(0, &f.frmMain, [&] {
        // The window system asks the window to close while the statement runs.
        f.frmMain.close();
        closedDuring = !f.frmMain.isVisible();
        openDuring = f.dm.isOpen();
    });
    QVERIFY(runCommand(&f.frmProgress, f.prompter, [&] { f.dm.exec(kLongStatement); }));
    QVERIFY(!closedDuring);
    QVERIFY(openDuring);
    // Once the command is over, the window closes as asked, compacting the database.
    QTRY_VERIFY(!f.frmMain.isVisible());
    QVERIFY(!f.dm.isOpen());
    QVERIFY(QFile::exists(f.home.path() + u"Backup.db"_s));
    QVERIFY(f.prompter.errors.isEmpty());
}

QTEST_MAIN(LiveWindowsTest)
#include "LiveWindowsTest.moc"
