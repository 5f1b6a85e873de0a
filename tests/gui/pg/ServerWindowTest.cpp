// The program window on a herd database on a PostgreSQL server: opened through File > Open
// Database..., browsed, sorted and edited there, remembered without a password, never compacted.
#include "GuiFixture.h"

#include "TabStrip.h"
#include "TfrmOpenDatabase.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <cstdlib>

using namespace Qt::StringLiterals;
using bm::gui::TabStrip;

namespace {

QString serverUri()
{
    const char *uri = std::getenv("BM_TEST_POSTGRES");
    return uri ? QString::fromUtf8(uri) : QString();
}

bm::test::ProcessResult psql(const QString &sql)
{
    return bm::test::runProgram(u"psql"_s, {u"-qXAt"_s, serverUri(), u"-c"_s, sql});
}

} // namespace

class ServerWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openedBrowsedSortedAndEditedOnAServer();
};

void ServerWindowTest::openedBrowsedSortedAndEditedOnAServer()
{
    QVERIFY2(!serverUri().isEmpty(), "BM_TEST_POSTGRES names no server");
    const QString schema = u"win%1"_s.arg(QCoreApplication::applicationPid());
    QCOMPARE(psql(u"DROP SCHEMA IF EXISTS %1 CASCADE; CREATE SCHEMA %1"_s.arg(schema)).exitCode, 0);
    MainWindowFixture f;
    QUrl url(serverUri());
    QUrlQuery query(url);
    query.addQueryItem(u"options"_s, u"-csearch_path%3D"_s + schema);
    url.setQuery(query);
    const QString uri = url.toString(QUrl::FullyEncoded);
    for (const QStringList &step :
         {QStringList{u"init"_s},
          QStringList{u"load"_s, QStringLiteral(BM_SOURCE_DIR) + u"/samples/herd.DIF"_s}}) {
        const auto r = bm::test::runProgram(
                QStringLiteral(BM_CLI_PATH),
                QStringList{u"--home"_s, f.home.path(), u"--database"_s, uri} + step);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    }
    QVERIFY(f.show());
    QCOMPARE(f.frmMain.windowTitle(), u"Corvelle Automation Systems"_s);

    // File > Open Database...: a server, its host a socket folder, and the schema.
    const QString host = QUrlQuery(QUrl(serverUri())).queryItemValue(u"host"_s);
    bool filled = false;
    QTimer::singleShot(0, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *d = qobject_cast<bm::gui::TfrmOpenDatabase *>(w);
            if (!d || !d->isVisible())
                continue;
            d->findChild<QRadioButton *>(u"rbServer"_s)->setChecked(true);
            d->findChild<QLineEdit *>(u"edtHost"_s)->setText(host);
            d->findChild<QLineEdit *>(u"edtDatabase"_s)->setText(u"postgres"_s);
            d->findChild<QLineEdit *>(u"edtSchema"_s)->setText(schema);
            d->findChild<QLineEdit *>(u"edtUser"_s)->setText(u"postgres"_s);
            QTest::mouseClick(d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
            filled = true;
        }
    });
    f.clickFileMenu("OpenDatabase1");
    QTRY_VERIFY(filled);
    QVERIFY2(f.prompter.errors.isEmpty(), qPrintable(f.prompter.errors.join(u'\n')));
    QVERIFY2(f.frmMain.windowTitle().endsWith(u"(%1)"_s.arg(schema)),
             qPrintable(f.frmMain.windowTitle()));
    QCOMPARE(f.model()->rowCount(), 2);

    // Table 104, sorted by Milk with a click on its title: the smallest first.
    f.child<TabStrip>("tc")->setCurrentIndex(3);
    QTRY_COMPARE(f.model()->rowCount(), 190);
    const int milk = f.model()->columnNames().indexOf(u"Milk"_s);
    QHeaderView *header = f.grid()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(milk) + 5, header->height() / 2));
    QTRY_COMPARE(f.model()->index(0, milk).data().toString(),
                 psql(uR"(SELECT min("Milk") FROM %1."104")"_s.arg(schema)).out.trimmed());

    // An edit is written to the server, and the grid shows the row as stored.
    QVERIFY(f.model()->setData(f.model()->index(0, milk), u"77.5"_s, Qt::EditRole));
    f.model()->submitRow();
    QCOMPARE(psql(uR"(SELECT count(*) FROM %1."104" WHERE "Milk" = 77.5)"_s.arg(schema))
                     .out.trimmed(),
             u"1"_s);
    QCOMPARE(f.model()->index(0, milk).data().toString(), u"77.5"_s);

    // Someone else changes that row meanwhile: a second edit of it is refused and overwrites
    // nothing of theirs.
    QCOMPARE(
            psql(uR"(UPDATE %1."104" SET "Milk" = 1.5 WHERE "Milk" = 77.5)"_s.arg(schema)).exitCode,
            0);
    QVERIFY(f.model()->setData(f.model()->index(0, milk), u"66.5"_s, Qt::EditRole));
    QString refusal;
    try {
        f.model()->submitRow();
    } catch (const bm::Error &e) {
        refusal = e.message();
    }
    QVERIFY2(refusal.contains(u"changed or removed by someone else"_s), qPrintable(refusal));
    QCOMPARE(psql(uR"(SELECT count(*) FROM %1."104" WHERE "Milk" = 1.5)"_s.arg(schema))
                     .out.trimmed(),
             u"1"_s);
    QCOMPARE(psql(uR"(SELECT count(*) FROM %1."104" WHERE "Milk" = 66.5)"_s.arg(schema))
                     .out.trimmed(),
             u"0"_s);

    // One bulk command at a time: while a command-line load of someone else holds the herd
    // database (waiting for its file, a pipe), the window's herd-code change is refused with
    // who runs what; once it has gone, the change runs and lets the lock go again.
    QTemporaryDir other;
    const QString fifo = other.path() + u"/herd.104"_s;
    QCOMPARE(bm::test::runProgram(u"mkfifo"_s, {fifo}).exitCode, 0);
    QProcess load;
    load.start(QStringLiteral(BM_CLI_PATH),
               {u"--home"_s, other.path(), u"--database"_s, uri, u"load"_s, fifo});
    QVERIFY(load.waitForStarted());
    const QString held = u"SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND granted "
                         "AND objid = hashtext('%1')::oid"_s.arg(schema);
    QTRY_COMPARE_WITH_TIMEOUT(psql(held).out.trimmed(), u"1"_s, 10000);
    f.prompter.choices = {u"NEWHC"_s};
    f.prompter.answers = {true};
    f.clickFileMenu("ChangeHerdcode1");
    QCOMPARE(f.prompter.errors.size(), 1);
    QVERIFY2(f.prompter.errors.first().contains(
                     u"The herd data is being changed by postgres on %1 (load, started "_s.arg(
                             QSysInfo::machineHostName())),
             qPrintable(f.prompter.errors.first()));
    load.kill();
    load.waitForFinished();
    // The server lets the lock go once it sees the killed command's connection end.
    QTRY_COMPARE_WITH_TIMEOUT(psql(held).out.trimmed(), u"0"_s, 10000);
    f.prompter.errors.clear();
    f.prompter.choices = {u"NEWHC"_s};
    f.prompter.answers = {true};
    f.clickFileMenu("ChangeHerdcode1");
    QVERIFY2(f.prompter.errors.isEmpty(), qPrintable(f.prompter.errors.join(u'\n')));
    QCOMPARE(psql(uR"(SELECT DISTINCT "HerdCode" FROM %1."104")"_s.arg(schema)).out.trimmed(),
             u"NEWHC"_s);
    QCOMPARE(psql(held).out.trimmed(), u"0"_s);

    // Remembered without a password; closing compacts nothing on the server.
    f.frmMain.close();
    QSettings ini(f.home.path() + u"Brindlemark.ini"_s, QSettings::IniFormat);
    const QString remembered = ini.value(u"Database/Server"_s).toString();
    QVERIFY2(remembered.contains(schema), qPrintable(remembered));
    QVERIFY(!remembered.contains(u"password"_s));
    QVERIFY(!QFile::exists(f.home.path() + u"Backup.db"_s));
    psql(u"DROP SCHEMA %1 CASCADE"_s.arg(schema));
}

QTEST_MAIN(ServerWindowTest)
#include "ServerWindowTest.moc"
