#include "GuiFixture.h"

#include "Loader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace bm::gui;

namespace {

QString sample(const char *name)
{
    return QStringLiteral(BM_SOURCE_DIR "/samples/") + QString::fromLatin1(name);
}

void clickLoadFiles(MainWindowFixture &f)
{
    f.clickFileMenu("LoadFiles1");
}

} // namespace

class LoadFilesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void loadsTheChosenDataSetAndShowsIt();
    void cancelChangesNothing();
    void errorIsShownAndEveryTableStaysAsItWas_data();
    void errorIsShownAndEveryTableStaysAsItWas();
    void loadSaysWhatItDidBesideTheStatusLine();
    void progressWindowIsOnScreenThroughTheLoad();
    void openEditIsWrittenBeforeTheTablesAreReplaced();
    void aFilterPickedButNeverAppliedCannotFailTheCommand();
    void aFailingRereadSaysTheCommandHasFinished();
};

void LoadFilesTest::loadsTheChosenDataSetAndShowsIt()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    QCOMPARE(f.model()->rowCount(), 0);

    f.prompter.choices = {sample("herd.zip")};
    clickLoadFiles(f);
    QTRY_COMPARE(f.model()->rowCount(), 2); // table 101 of the sample, shown at once
    QCOMPARE(f.prompter.filters, QStringList{bm::loadFileFilter()});
    QCOMPARE(f.prompter.filters.first(), u"DIF Files (*.1* *.2* *.DIF *.ZIP)"_s);
    QVERIFY(f.prompter.errors.isEmpty());
    QVERIFY(!f.frmProgress.QWidget::isVisible());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(f.home.rows(uR"(SELECT count(*) FROM "104")"_s), QStringList{u"190"_s});
    f.clickTab(u"104"_s);
    QTRY_COMPARE(f.model()->rowCount(), 190);

    // The first time it opens in a folder of the user's, not in the program folder; then on the
    // file chosen last. The combined file gives the same rows.
    QVERIFY(QFileInfo(f.prompter.initials.first()).isDir());
    QVERIFY(!f.prompter.initials.first().startsWith(f.home.path()));
    f.prompter.choices = {sample("herd.DIF")};
    clickLoadFiles(f);
    QTRY_COMPARE(f.prompter.initials.size(), 2);
    QCOMPARE(f.prompter.initials.at(1), sample("herd.zip"));
    QTRY_COMPARE(f.prompter.filters.size(), 2);
    QCOMPARE(f.frmMain.currentTable(), u"104"_s);
    QTRY_COMPARE(f.model()->rowCount(), 190);
    QCOMPARE(f.home.rows(uR"(SELECT count(*) FROM "102")"_s), QStringList{u"12"_s});
}

void LoadFilesTest::cancelChangesNothing()
{
    MainWindowFixture f;
    f.home.dm().exec(uR"(INSERT INTO "101" (RecordType, HerdCode) VALUES ('101', 'KEEP'))"_s);
    QVERIFY(f.show());
    QCOMPARE(f.model()->rowCount(), 1);
    clickLoadFiles(f); // no choice queued: the dialog is cancelled
    QTRY_COMPARE(f.prompter.filters.size(), 1);
    QCOMPARE(f.home.rows(uR"(SELECT HerdCode FROM "101")"_s), QStringList{u"KEEP"_s});
    QVERIFY(f.prompter.errors.isEmpty());
    QVERIFY(!f.frmProgress.QWidget::isVisible());
}

void LoadFilesTest::errorIsShownAndEveryTableStaysAsItWas_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message"); // %1: the file chosen
    QTest::newRow("damaged archive")
            << u"broken.zip"_s << QByteArray("PK\x03\x04 not an archive")
            << u"Cannot open the archive \"%1\". Not a zip archive. The tables were left as "
               "they were."_s;
    QTest::newRow("garbage") << u"notes.DIF"_s
                             << QByteArray("Dear farmer,\r\nthe results are attached.\r\n")
                             << u"\"%1\" holds no records of any record type. The tables were "
                                "left as they were."_s;
}

void LoadFilesTest::errorIsShownAndEveryTableStaysAsItWas()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    MainWindowFixture f;
    f.home.dm().exec(uR"(INSERT INTO "101" (RecordType, HerdCode) VALUES ('101', 'KEEP'))"_s);
    QVERIFY(f.show());
    QTemporaryDir dir;
    const QString chosen = f.home.write(dir.path() + u'/' + name, bytes);

    f.prompter.choices = {chosen};
    clickLoadFiles(f);
    QTRY_COMPARE(f.prompter.errors.size(), 1);
    QCOMPARE(f.prompter.errors.first(), message.arg(chosen));
    QCOMPARE(f.home.rows(uR"(SELECT HerdCode FROM "101")"_s), QStringList{u"KEEP"_s});
    QCOMPARE(f.model()->rowCount(), 1);
    QCOMPARE(f.status(), u"Herd  :  1  Records Listed"_s);
    QVERIFY(f.frmMain.message().isEmpty());
    QCOMPARE(QDir(f.home.path() + u"Scratch"_s).entryList(QDir::Files), QStringList{});
    QVERIFY(!f.frmProgress.QWidget::isVisible());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void LoadFilesTest::loadSaysWhatItDidBesideTheStatusLine()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    f.prompter.choices = {sample("herd.zip")};
    clickLoadFiles(f);
    QTRY_COMPARE(f.model()->rowCount(), 2);
    QVERIFY(f.prompter.notices.isEmpty());
    QCOMPARE(f.frmMain.message(),
             u"Loaded \"herd.zip\": 462 records (101: 2, 102: 12, 103: 21, 104: 190, 105: 27, "
             "106: 1, 107: 111, 108: 51, 112: 21, 114: 6, 202: 10, 211: 10)"_s);
    QCOMPARE(f.child<QLabel>("lblMessage")->toolTip(), f.frmMain.message());
    // The files unpacked for the load are gone.
    QCOMPARE(QDir(f.home.path() + u"Scratch"_s).entryList(QDir::Files), QStringList{});
}

void LoadFilesTest::progressWindowIsOnScreenThroughTheLoad()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    // The states of the progress window the screen shows, seen from the events the load lets
    // through while it paints the window.
    QStringList seen;
    QTimer watch;
    connect(&watch, &QTimer::timeout, &watch, [&] {
        const QWindow *window = f.frmProgress.windowHandle();
        if (!f.frmProgress.QWidget::isVisible() || !window || !window->isExposed())
            return;
        const QString line = f.frmProgress.lblStatus->text();
        if (seen.isEmpty() || seen.last() != line)
            seen << line;
    });
    watch.start(0);
    f.prompter.choices = {sample("herd.zip"), sample("herd.DIF")};
    clickLoadFiles(f);
    QTRY_COMPARE(f.model()->rowCount(), 2);
    clickLoadFiles(f);
    QTRY_COMPARE(f.prompter.filters.size(), 2);
    watch.stop();
    // Every phase is on screen: unpacking, the split, each table's import, the end.
    for (const QString &phase :
         {u"Un-Zipping Data."_s, u"Pre-Processing DIF File"_s, u"Importing DIF 101"_s,
          u"Importing DIF 104"_s, u"Importing DIF 211"_s, u"Finishing the load"_s})
        QVERIFY2(seen.contains(phase), qPrintable(phase + u": "_s + seen.join(u" | "_s)));
    QVERIFY(!f.frmProgress.QWidget::isVisible());
}

void LoadFilesTest::openEditIsWrittenBeforeTheTablesAreReplaced()
{
    MainWindowFixture f;
    f.home.dm().exec(uR"(INSERT INTO "101" (RecordType, HerdCode) VALUES ('101', 'OLD'))"_s);
    QVERIFY(f.show());
    f.clickCell(0, u"HerdCode"_s);
    QTest::keyClick(f.grid(), Qt::Key_F2);
    QTRY_VERIFY(QApplication::focusWidget() != f.grid());
    QWidget *editor = QApplication::focusWidget();
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, u"TYPED"_s);
    QTest::keyClick(editor, Qt::Key_Tab); // still on the row: nothing written yet
    QCOMPARE(f.model()->pendingRow(), 0);

    f.prompter.choices = {sample("herd.101")};
    clickLoadFiles(f);
    QTRY_COMPARE(f.model()->pendingRow(), -1);
    QTRY_COMPARE(f.model()->rowCount(), 2);
    // The sample's rows, untouched by the edit made on the data they replaced.
    QCOMPARE(f.home.rows(uR"(SELECT HerdCode FROM "101" ORDER BY rowid)"_s),
             (QStringList{u"V200237"_s, u"N208156"_s}));
    QVERIFY(f.prompter.errors.isEmpty());
}

void LoadFilesTest::aFilterPickedButNeverAppliedCannotFailTheCommand()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    // A filter applied, then a field and "Is Between" picked with no values: not applied.
    f.pick("cmbFilter", u"RecordType"_s);
    f.pick("cmbOperator", u"Is Equal To"_s);
    QTest::keyClicks(f.child<QLineEdit>("edtStart"), u"104"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    f.pick("cmbFilter", u"CowID"_s);
    f.pick("cmbOperator", u"Is Between"_s);
    f.child<QLineEdit>("edtStart")->clear();

    // The load succeeds and says so; the grid lists the new rows under the filter applied.
    f.prompter.choices = {sample("herd.zip")};
    clickLoadFiles(f);
    QTRY_VERIFY(f.frmMain.message().startsWith(u"Loaded \"herd.zip\""_s));
    QVERIFY2(f.prompter.errors.isEmpty(), qPrintable(f.prompter.errors.join(u'|')));
    QCOMPARE(f.status(), u"Test Day  :  190  Records Listed"_s);
    QCOMPARE(f.model()->columnNames(), f.home.dm().columns(u"104"_s));

    // So does its undo.
    QVERIFY(f.activate());
    QTest::keyClick(&f.frmMain, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(f.frmMain.message(), u"Undone: Load Files"_s);
    QVERIFY2(f.prompter.errors.isEmpty(), qPrintable(f.prompter.errors.join(u'|')));
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    // The filter bar still holds what was picked, for the user to finish.
    QCOMPARE(f.combo("cmbFilter")->currentText(), u"CowID"_s);
}

void LoadFilesTest::aFailingRereadSaysTheCommandHasFinished()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.pick("cmbFilter", u"Milk"_s);
    f.pick("cmbOperator", u"Is Greater Than"_s);
    QTest::keyClicks(f.child<QLineEdit>("edtStart"), u"20"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);

    // Another program renames the filtered column; a command then finishes.
    f.home.dm().exec(uR"(ALTER TABLE "104" RENAME COLUMN Milk TO MilkKg)"_s);
    f.frmMain.showMessage(u"Loaded \"herd.zip\": 462 records"_s);
    f.frmMain.showDataAfter(u"Load Files"_s);
    QCOMPARE(f.prompter.errors,
             QStringList{u"Load Files has finished, but the grid cannot list table 104: no such "
                         "column: Milk"_s});
    QCOMPARE(f.status(), u"Test Day  :  not listed"_s);
    QCOMPARE(f.frmMain.message(), u"Loaded \"herd.zip\": 462 records"_s);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(LoadFilesTest)
#include "LoadFilesTest.moc"
