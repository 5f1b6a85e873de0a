#include "GuiFixture.h"

#include "Loader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
    void errorIsShownAndEveryTableStaysAsItWas();
    void openEditIsWrittenBeforeTheTablesAreReplaced();
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

    // The dialog opens on the file chosen last; the combined file gives the same rows.
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

void LoadFilesTest::errorIsShownAndEveryTableStaysAsItWas()
{
    MainWindowFixture f;
    f.home.dm().exec(uR"(INSERT INTO "101" (RecordType, HerdCode) VALUES ('101', 'KEEP'))"_s);
    QVERIFY(f.show());
    QTemporaryDir dir;
    QFile broken(dir.path() + u"/broken.zip"_s);
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("PK\x03\x04 not an archive");
    broken.close();

    f.prompter.choices = {broken.fileName()};
    clickLoadFiles(f);
    QTRY_COMPARE(f.prompter.errors.size(), 1);
    QVERIFY2(f.prompter.errors.first().startsWith(u"Cannot open the archive"_s),
             qPrintable(f.prompter.errors.first()));
    QCOMPARE(f.home.rows(uR"(SELECT HerdCode FROM "101")"_s), QStringList{u"KEEP"_s});
    QCOMPARE(f.model()->rowCount(), 1);
    QVERIFY(!f.frmProgress.QWidget::isVisible());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
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
             (QStringList{u"V3200237"_s, u"N5208156"_s}));
    QVERIFY(f.prompter.errors.isEmpty());
}

QTEST_MAIN(LoadFilesTest)
#include "LoadFilesTest.moc"
