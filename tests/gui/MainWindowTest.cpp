#include "GuiFixture.h"

#include "DateBox.h"
#include "Error.h"
#include "FilterQuery.h"
#include "HyperlinkLabel.h"
#include "Layout.h"

#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using namespace bm::gui;

namespace {

// The rows of a database file, read without the program.
QStringList rowsIn(const QString &file, const char *sql)
{
    QStringList rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            rows << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return rows;
}

} // namespace

// Receives the links the about box opens.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls << url; }
};

class MainWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsOnTable101UnfilteredAndUnsorted();
    void anEmptyDatabaseSaysHowToFillItAndTabsNameTheirTypes();
    void missingDatabaseShowsTheErrorAndAnEmptyGrid();
    void fileMenuHoldsEveryCommandAndTheAboutBox();
    void applyChecksRunInTheirOrder();
    void operatorEnablesTheInputs_data();
    void operatorEnablesTheInputs();
    void dateFieldSwitchesToDateInputsAndBack();
    void pickingTheSameFieldAgainDoesNothing();
    void titleClicksCycleTheSort();
    void clearSortsByRecordTypeWithoutADirection();
    void tabChangeKeepsOrClearsFilterAndSort();
    void fieldListFollowsTheNewTable();
    void statusLineNamesTheTable();
    void displayFormatsShowFixedDecimals();
    void editIsWrittenWhenLeavingTheRow();
    void insertAndCtrlDeleteChangeTheTable();
    void refusedStatementKeepsTheStatusLine();
    void commandErrorsHideProgressAndRestoreTheCursor();
    void closingCompactsAndKeepsTheStateAtClose();
    void failingCompactionKeepsTheDatabase();
};

void MainWindowTest::startsOnTable101UnfilteredAndUnsorted()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    QCOMPARE(f.frmMain.windowTitle(), u"Corvelle Automation Systems"_s);
    QCOMPARE(f.frmMain.tables(), bm::recordTypeCodes());
    QCOMPARE(f.frmMain.currentTable(), u"101"_s);
    // Twelve tabs of 85 pixels do not fit across 1000: the last wraps onto a second row.
    auto *tc = f.child<TabStrip>("tc");
    QCOMPARE(tc->tabRect(11).topLeft(), QPoint(0, 20));
    QTRY_VERIFY(tc->height() >= 40);
    QCOMPARE(f.status(), u"Herd  :  2  Records Listed"_s);
    QCOMPARE(f.shown(u"HerdCode"_s), (QStringList{u"H2"_s, u"H1"_s}));
    QVERIFY(!f.titles()->isSortIndicatorShown());
    QCOMPARE(f.model()->columnNames(), f.home.dm().columns(u"101"_s));
    QCOMPARE(f.combo("cmbFilter")->count(), f.model()->columnCount());
    QCOMPARE(f.combo("cmbFilter")->currentIndex(), -1);
    QCOMPARE(f.combo("cmbOperator")->currentIndex(), -1);
    QStringList operators;
    for (int i = 0; i < f.combo("cmbOperator")->count(); ++i)
        operators << f.combo("cmbOperator")->itemText(i);
    QCOMPARE(operators, bm::operatorCaptions());
    QCOMPARE(f.frmMain.CreateSQL(false), uR"(SELECT * FROM "101" )"_s);
    QVERIFY(f.prompter.errors.isEmpty());
}

void MainWindowTest::anEmptyDatabaseSaysHowToFillItAndTabsNameTheirTypes()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    QVERIFY(f.grid()->emptyText().contains(u"File > Load Files (Ctrl+O)"_s));
    // An empty table of a database that holds data shows no hint; nor does a table with rows.
    f.home.dm().exec(uR"(INSERT INTO "104" (RecordType, HerdCode) VALUES ('104', 'H1'))"_s);
    f.clickTab(u"102"_s);
    QCOMPARE(f.status(), u"Cow Pedigree  :  0  Records Listed"_s);
    QVERIFY(f.grid()->emptyText().isEmpty());
    f.clickTab(u"104"_s);
    QVERIFY(f.grid()->emptyText().isEmpty());

    auto *tc = f.child<TabStrip>("tc");
    QCOMPARE(tc->tabText(3), u"104"_s);
    QCOMPARE(tc->tabToolTip(3), u"104 Test Day"_s);
    QCOMPARE(tc->tabToolTip(7), u"108 Mating & Preg Test"_s);

    // The about box shows the version.
    QVERIFY(!QCoreApplication::applicationVersion().isEmpty());
    QVERIFY(f.frmAbout.findChild<QLabel *>(u"lblVersion"_s)
                    ->text()
                    .startsWith(u"Version "_s + QCoreApplication::applicationVersion()));
}

void MainWindowTest::missingDatabaseShowsTheErrorAndAnEmptyGrid()
{
    MainWindowFixture f;
    f.home.dm().close();
    QVERIFY(QFile::remove(f.home.path() + u"Tembra.db"_s));
    QVERIFY(f.show());
    QCOMPARE(f.prompter.errors.size(), 1);
    QVERIFY(f.prompter.errors.first().contains(u"Tembra.db"_s));
    QCOMPARE(f.status(), u"Table Name"_s);
    QCOMPARE(f.model()->columnCount(), 0);
    QVERIFY(!QFile::exists(f.home.path() + u"Tembra.db"_s));
}

void MainWindowTest::fileMenuHoldsEveryCommandAndTheAboutBox()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    f.clickButton("btnActions");
    auto *menu = f.child<QMenu>("pumActions");
    QTRY_VERIFY(menu->isVisible());
    auto describe = [](QMenu *m) {
        QStringList items;
        for (QAction *a : m->actions())
            items << (a->isSeparator() ? u"-"_s
                                       : a->text() + (a->menu() ? u" >"_s : QString())
                                                 + (a->isEnabled() ? QString() : u" (off)"_s));
        return items;
    };
    QCOMPARE(describe(menu),
             (QStringList{u"&Load Files"_s, u"&Save Files"_s, u"Open &Database..."_s, u"-"_s,
                          u"F&ilter >"_s, u"&Cleanup >"_s, u"-"_s, u"Change &Herdcode"_s,
                          u"&Merge National ID's"_s, u"-"_s, u"File Chec&k"_s, u"-"_s,
                          u"&About"_s}));
    QCOMPARE(describe(f.child<QMenu>("Filter1")),
             (QStringList{u"&Apply Filter To Current Table"_s,
                          u"&Remove Displayed Data From Current Table"_s}));
    QCOMPARE(describe(f.child<QMenu>("Cleanup1")),
             (QStringList{u"Remove Data For Cows Not In 10&2"_s,
                          u"Remove Data For Cows Not In 10&3"_s}));

    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(f.child<QAction>("About1")).center());
    QTRY_VERIFY(f.frmAbout.isVisible());
    QCOMPARE(f.frmAbout.windowModality(), Qt::ApplicationModal);

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"mailto"_s, &catcher, "open");
    QDesktopServices::setUrlHandler(u"https"_s, &catcher, "open");
    QTest::mouseClick(f.frmAbout.lblMail, Qt::LeftButton);
    QTest::mouseClick(f.frmAbout.lblWeb, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(u"mailto"_s);
    QDesktopServices::unsetUrlHandler(u"https"_s);
    QCOMPARE(catcher.urls, (QList<QUrl>{QUrl(u"mailto:support@corvelle.example?subject=Corvelle"_s),
                                        QUrl(u"https://www.corvelle.example/"_s)}));

    QTest::mouseClick(f.frmAbout.btnClose, Qt::LeftButton);
    QTRY_VERIFY(!f.frmAbout.isVisible());
}

void MainWindowTest::applyChecksRunInTheirOrder()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    const QString unfiltered = f.status();
    QCOMPARE(unfiltered, u"Test Day  :  3  Records Listed"_s);
    auto *edtStart = f.child<QLineEdit>("edtStart");
    auto *edtEnd = f.child<QLineEdit>("edtEnd");

    f.clickButton("btnApply");
    f.pick("cmbFilter", u"HerdCode"_s);
    f.clickButton("btnApply");
    f.pick("cmbOperator", u"Is Equal To"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.prompter.notices, QStringList(3, u"Incomplete Filter."_s));
    QCOMPARE(f.status(), unfiltered);

    QTest::keyClicks(edtStart, u"h1"_s);
    QCOMPARE(edtStart->text(), u"H1"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.prompter.notices.size(), 3);
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);
    QCOMPARE(f.shown(u"HerdCode"_s), (QStringList{u"H1"_s, u"H1"_s}));

    f.pick("cmbOperator", u"Is Between"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.prompter.notices.size(), 4); // the end value is missing
    QTest::keyClicks(edtEnd, u"h2"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.status(), unfiltered);

    // A number column refuses text that is not a number, before any statement runs.
    f.pick("cmbFilter", u"CellCount"_s);
    f.pick("cmbOperator", u"Is Greater Than"_s);
    edtStart->clear();
    QTest::keyClicks(edtStart, u"1o0"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.prompter.errors.size(), 1);
    QVERIFY(f.prompter.errors.first().startsWith(u"'1O0' is not a number"_s));
    QCOMPARE(f.status(), unfiltered);
    QCOMPARE(f.model()->rowCount(), 3);
}

void MainWindowTest::operatorEnablesTheInputs_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("start");
    QTest::addColumn<bool>("end");
    const QStringList &captions = bm::operatorCaptions();
    for (int i = 0; i < captions.size(); ++i)
        QTest::newRow(qPrintable(captions.at(i)))
                << captions.at(i) << (i != bm::opEmpty && i != bm::opNotEmpty)
                << (i == bm::opBetween);
}

void MainWindowTest::operatorEnablesTheInputs()
{
    QFETCH(QString, caption);
    QFETCH(bool, start);
    QFETCH(bool, end);
    MainWindowFixture f;
    QVERIFY(f.show());
    f.pick("cmbFilter", u"HerdCode"_s);
    QTRY_VERIFY(f.combo("cmbOperator")->hasFocus());
    f.pick("cmbOperator", caption);
    QCOMPARE(f.child<QLineEdit>("edtStart")->isEnabled(), start);
    QCOMPARE(f.child<DateBox>("deStart")->isEnabled(), start);
    QCOMPARE(f.child<QLineEdit>("edtEnd")->isEnabled(), end);
    QCOMPARE(f.child<DateBox>("deEnd")->isEnabled(), end);
    QCOMPARE(f.child<QLabel>("lblAnd")->isEnabled(), end);
    // The focus moves on to the next input that can take it.
    QWidget *next = start ? f.child<QWidget>("edtStart") : static_cast<QWidget *>(f.grid());
    QTRY_VERIFY(next->hasFocus());
}

void MainWindowTest::dateFieldSwitchesToDateInputsAndBack()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    auto *edtStart = f.child<QLineEdit>("edtStart");
    auto *deStart = f.child<DateBox>("deStart");
    auto *deEnd = f.child<DateBox>("deEnd");

    f.pick("cmbFilter", u"TestDate"_s);
    QVERIFY(deStart->isVisible() && deEnd->isVisible());
    QVERIFY(!edtStart->isVisible());
    f.pick("cmbOperator", u"Contains"_s);
    f.clickButton("btnApply");
    QTest::keyClicks(deStart->lineEdit(), u"1 Mar 2021"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.prompter.notices,
             (QStringList{u"Incomplete Filter."_s,
                          u"Cannot use the Contains Operator on a Date field."_s}));

    f.pick("cmbOperator", u"Is Between"_s);
    QTest::keyClicks(deEnd->lineEdit(), u"30 Apr 2021"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);
    QCOMPARE(f.shown(u"TestDate"_s), (QStringList{u"5 Mar 2021"_s, u"10 Apr 2021"_s}));

    f.clickButton("btnClear");
    QVERIFY(edtStart->isVisible());
    QVERIFY(!deStart->isVisible());
    QCOMPARE(f.combo("cmbFilter")->currentIndex(), -1);
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    // The same date field picked again after Clear brings the date inputs back.
    f.pick("cmbFilter", u"TestDate"_s);
    QVERIFY(deStart->isVisible());
    f.pick("cmbFilter", u"HerdCode"_s);
    QVERIFY(edtStart->isVisible());
}

void MainWindowTest::pickingTheSameFieldAgainDoesNothing()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    f.pick("cmbFilter", u"HerdCode"_s);
    QTRY_VERIFY(f.combo("cmbOperator")->hasFocus());
    f.pick("cmbFilter", u"HerdCode"_s);
    QTRY_VERIFY(f.combo("cmbFilter")->hasFocus());
    QTest::qWait(20);
    QVERIFY2(f.combo("cmbFilter")->hasFocus(), "the focus moved on");
}

void MainWindowTest::titleClicksCycleTheSort()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    const int milk = f.model()->columnIndex(u"Milk"_s);
    const QStringList ascending{u"18.7"_s, u"25.3"_s, u"30.0"_s};
    const QStringList descending{u"30.0"_s, u"25.3"_s, u"18.7"_s};

    f.clickTitle(u"Milk"_s);
    QCOMPARE(f.shown(u"Milk"_s), ascending);
    QVERIFY(f.titles()->isSortIndicatorShown());
    QCOMPARE(f.titles()->sortIndicatorSection(), milk);
    QCOMPARE(f.titles()->sortIndicatorOrder(), Qt::AscendingOrder);
    f.clickTitle(u"Milk"_s);
    QCOMPARE(f.shown(u"Milk"_s), descending);
    QCOMPARE(f.titles()->sortIndicatorOrder(), Qt::DescendingOrder);
    f.clickTitle(u"Milk"_s);
    QCOMPARE(f.shown(u"Milk"_s), ascending);
    f.clickTitle(u"CowID"_s);
    QCOMPARE(f.shown(u"CowID"_s), (QStringList{u"C1"_s, u"C2"_s, u"C3"_s}));
    QCOMPARE(f.titles()->sortIndicatorSection(), f.model()->columnIndex(u"CowID"_s));
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
}

void MainWindowTest::clearSortsByRecordTypeWithoutADirection()
{
    MainWindowFixture f;
    seedTables(f);
    f.home.dm().exec(uR"(UPDATE "104" SET RecordType = '10' || (4 - rowid))"_s);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    QCOMPARE(f.shown(u"RecordType"_s), (QStringList{u"103"_s, u"102"_s, u"101"_s}));
    f.clickButton("btnClear");
    const QStringList ascending{u"101"_s, u"102"_s, u"103"_s};
    QCOMPARE(f.shown(u"RecordType"_s), ascending);
    QVERIFY(!f.titles()->isSortIndicatorShown());
    // No title was clicked yet: the direction stays none, the order ascending.
    for (int click = 0; click < 2; ++click) {
        f.clickTitle(u"RecordType"_s);
        QCOMPARE(f.shown(u"RecordType"_s), ascending);
        QVERIFY(!f.titles()->isSortIndicatorShown());
    }
    f.clickTitle(u"Milk"_s);
    f.clickTitle(u"RecordType"_s);
    QVERIFY(f.titles()->isSortIndicatorShown());
    f.clickTitle(u"RecordType"_s);
    QCOMPARE(f.shown(u"RecordType"_s), (QStringList{u"103"_s, u"102"_s, u"101"_s}));
}

void MainWindowTest::tabChangeKeepsOrClearsFilterAndSort()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.pick("cmbFilter", u"HerdCode"_s);
    f.pick("cmbOperator", u"Is Equal To"_s);
    QTest::keyClicks(f.child<QLineEdit>("edtStart"), u"H1"_s);
    f.clickButton("btnApply");
    f.clickTitle(u"Milk"_s);
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);

    // 102 has HerdCode: the filter holds there at once; it has no Milk: unsorted.
    f.clickTab(u"102"_s);
    QCOMPARE(f.combo("cmbFilter")->currentText(), u"HerdCode"_s);
    QCOMPARE(f.status(), u"Cow Pedigree  :  2  Records Listed"_s);
    QCOMPARE(f.shown(u"CowID"_s), (QStringList{u"C1"_s, u"C3"_s}));
    QVERIFY(!f.titles()->isSortIndicatorShown());
    f.clickTab(u"104"_s);
    QCOMPARE(f.shown(u"CowID"_s), (QStringList{u"C3"_s, u"C2"_s})); // the sort was dropped

    // A filter on Milk does not survive the move to 102.
    f.pick("cmbFilter", u"Milk"_s);
    f.pick("cmbOperator", u"Is Greater Than"_s);
    f.child<QLineEdit>("edtStart")->clear();
    QTest::keyClicks(f.child<QLineEdit>("edtStart"), u"20"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);
    f.clickTab(u"102"_s);
    QCOMPARE(f.combo("cmbFilter")->currentIndex(), -1);
    QCOMPARE(f.combo("cmbOperator")->currentIndex(), -1);
    QVERIFY(f.child<QLineEdit>("edtStart")->text().isEmpty());
    QCOMPARE(f.status(), u"Cow Pedigree  :  4  Records Listed"_s);
    QCOMPARE(f.frmMain.filterState().sort.column, u"RecordType"_s);
    QVERIFY(f.prompter.notices.isEmpty());
    QVERIFY(f.prompter.errors.isEmpty());
}

void MainWindowTest::fieldListFollowsTheNewTable()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.pick("cmbFilter", u"CalvingDate"_s);
    const int oldPosition = f.combo("cmbFilter")->currentIndex();
    QVERIFY(f.child<DateBox>("deStart")->isVisible());
    f.clickTab(u"103"_s);
    QCOMPARE(f.combo("cmbFilter")->currentText(), u"CalvingDate"_s);
    QCOMPARE(f.combo("cmbFilter")->count(), f.home.dm().columns(u"103"_s).size());
    QVERIFY(f.combo("cmbFilter")->currentIndex() != oldPosition);
    // The column now at the field's former position sets up the inputs for itself.
    const QString other = f.combo("cmbFilter")->itemText(oldPosition);
    QCOMPARE(bm::GetFieldType(f.home.dm(), u"103"_s, other), int(bm::ftInteger));
    f.pick("cmbFilter", other);
    QVERIFY(f.child<QLineEdit>("edtStart")->isVisible());
}

void MainWindowTest::statusLineNamesTheTable()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"108"_s);
    QCOMPARE(f.status(), u"Mating & Preg Test  :  0  Records Listed"_s);
    f.clickTab(u"211"_s);
    QCOMPARE(f.frmMain.currentTable(), u"211"_s);
    QCOMPARE(f.status().section(u"  :  "_s, 1), u"1  Records Listed"_s);
}

void MainWindowTest::displayFormatsShowFixedDecimals()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    QCOMPARE(f.shown(u"Milk"_s), (QStringList{u"25.3"_s, u"30.0"_s, u"18.7"_s}));
    QCOMPARE(f.shown(u"FatPercent"_s), (QStringList{u"4.50"_s, u"4.00"_s, u"3.90"_s}));
    QCOMPARE(f.shown(u"ProteinPercent"_s).first(), u"3.13"_s);
    QCOMPARE(f.shown(u"LactosePercent"_s).first(), u"4.80"_s);
    QCOMPARE(f.shown(u"TotalSolidsPercent"_s), (QStringList{u"13.01"_s, u"12.50"_s, u"12.00"_s}));
    QCOMPARE(f.shown(u"MilkUrea"_s), (QStringList{u"12.25"_s, u"10"_s, QString()}));
    QCOMPARE(f.shown(u"TestDate"_s).first(), u"5 Mar 2021"_s);
    // The filter compares stored values, not the rounded ones.
    f.pick("cmbFilter", u"Milk"_s);
    f.pick("cmbOperator", u"Is Equal To"_s);
    QTest::keyClicks(f.child<QLineEdit>("edtStart"), u"25.25"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.status(), u"Test Day  :  1  Records Listed"_s);

    f.clickTab(u"211"_s);
    QCOMPARE(f.shown(u"FatPercent"_s), QStringList{u"0.13"_s});
    // -0.045 is held as -0.04499999999999999833...: shown as the writers save it.
    QCOMPARE(f.shown(u"ProteinPercent"_s), QStringList{u"-0.04"_s});
    QCOMPARE(f.shown(u"MilkBV"_s), QStringList{u"250"_s});
    QCOMPARE(f.home.rows(uR"(SELECT FatPercent FROM "211")"_s), QStringList{u"0.125"_s});
}

void MainWindowTest::editIsWrittenWhenLeavingTheRow()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    const QString status = f.status();
    auto herdOfFirstRow = [&] {
        return f.home.rows(uR"(SELECT HerdCode FROM "104" WHERE rowid = 1)"_s);
    };

    f.clickCell(0, u"HerdCode"_s);
    QTest::keyClick(f.grid(), Qt::Key_F2);
    QTRY_VERIFY(QApplication::focusWidget() != f.grid());
    QWidget *editor = QApplication::focusWidget();
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, u"Z9"_s);
    QTest::keyClick(editor, Qt::Key_Tab); // next cell, same row: nothing written yet
    QCOMPARE(herdOfFirstRow(), QStringList{u"H1"_s});
    QCOMPARE(f.model()->pendingRow(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTRY_COMPARE(herdOfFirstRow(), QStringList{u"Z9"_s});
    QCOMPARE(f.model()->pendingRow(), -1);
    QCOMPARE(f.status(), status);

    // Letters in a number column and an impossible date are refused and never stored.
    for (const auto &[column, typed] :
         {std::pair{u"CellCount"_s, u"12A"_s}, std::pair{u"TestDate"_s, u"31 Feb 2021"_s}}) {
        f.clickCell(1, column);
        QTest::keyClick(f.grid(), Qt::Key_F2);
        QTRY_VERIFY(QApplication::focusWidget() != f.grid());
        editor = QApplication::focusWidget();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, typed);
        QTest::keyClick(editor, Qt::Key_Down);
    }
    QTRY_COMPARE(f.prompter.errors.size(), 2);
    QVERIFY(f.prompter.errors.at(0).contains(u"'12A' is not a valid whole number"_s));
    QVERIFY(f.prompter.errors.at(1).contains(u"'31 Feb 2021' is not a valid date"_s));
    QCOMPARE(f.home.rows(uR"(SELECT CellCount, TestDate FROM "104" WHERE rowid = 2)"_s),
             QStringList{u"80|2021-04-10"_s});

    // A date typed in the short form is stored as ISO text.
    f.clickCell(2, u"TestDate"_s);
    QTest::keyClick(f.grid(), Qt::Key_F2);
    QTRY_VERIFY(QApplication::focusWidget() != f.grid());
    editor = QApplication::focusWidget();
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, u"7 Mar 2022"_s);
    QTest::keyClick(editor, Qt::Key_Up);
    QTRY_COMPARE(f.home.rows(uR"(SELECT TestDate FROM "104" WHERE rowid = 3)"_s),
                 QStringList{u"2022-03-07"_s});
}

void MainWindowTest::insertAndCtrlDeleteChangeTheTable()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.clickCell(1, u"HerdCode"_s);
    QTest::keyClick(f.grid(), Qt::Key_Insert);
    QCOMPARE(f.model()->rowCount(), 4);
    QCOMPARE(f.grid()->currentIndex().row(), 1);
    QVERIFY(f.model()->pendingIsInsert());
    QTest::keyClicks(f.grid(), u"N"_s); // typing starts the editor
    QTRY_VERIFY(QApplication::focusWidget() != f.grid());
    QTest::keyClicks(QApplication::focusWidget(), u"EW"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTRY_COMPARE(f.home.rows(uR"(SELECT count(*) FROM "104" WHERE HerdCode = 'NEW')"_s),
                 QStringList{u"1"_s});
    QCOMPARE(f.shown(u"HerdCode"_s), (QStringList{u"H1"_s, u"NEW"_s, u"H2"_s, u"H1"_s}));

    // Ctrl+Delete asks first; No keeps the row, Yes deletes it.
    f.clickCell(2, u"CowID"_s);
    f.prompter.answers = {false, true};
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.home.dm().rowCount(u"104"_s), 4);
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.prompter.questions, QStringList(2, u"Delete record?"_s));
    QCOMPARE(f.home.rows(uR"(SELECT CowID FROM "104" ORDER BY rowid)"_s),
             (QStringList{u"C3"_s, u"C2"_s, u"<null>"_s}));
    QCOMPARE(f.shown(u"HerdCode"_s), (QStringList{u"H1"_s, u"NEW"_s, u"H1"_s}));
}

void MainWindowTest::refusedStatementKeepsTheStatusLine()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    const QString status = f.status();
    // An operator without its value: a title click re-queries without Apply's checks.
    f.pick("cmbFilter", u"HerdCode"_s);
    f.pick("cmbOperator", u"Is Less Than"_s);
    f.clickTitle(u"Milk"_s);
    QCOMPARE(f.prompter.errors.size(), 1);
    QCOMPARE(f.model()->columnCount(), 0);
    QCOMPARE(f.status(), status);
    // Clear removes the filter and the table comes back.
    f.clickButton("btnClear");
    QCOMPARE(f.prompter.errors.size(), 1);
    QCOMPARE(f.model()->rowCount(), 3);
    QCOMPARE(f.status(), status);
}

void MainWindowTest::commandErrorsHideProgressAndRestoreTheCursor()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    QCOMPARE(f.frmProgress.windowTitle(), u"Please Wait"_s);
    QCOMPARE(f.frmProgress.size(), QSize(342, 98));
    QVERIFY(!(f.frmProgress.windowFlags() & Qt::WindowCloseButtonHint));
    bool shown = false;
    int gauge = -1;
    const bool ok = f.frmMain.runCommand([&] {
        f.frmProgress.show();
        f.frmProgress.setStatus(u"Importing 104"_s);
        f.frmProgress.setMaximum(4);
        f.frmProgress.step();
        f.frmProgress.step();
        f.frmProgress.setRecords(u"2"_s);
        f.frmProgress.repaint();
        shown = f.frmProgress.QWidget::isVisible();
        gauge = f.frmProgress.Gauge->value();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        f.frmProgress.setMaximum(-1); // refused: ends the command
    });
    QVERIFY(!ok);
    QVERIFY(shown);
    QCOMPARE(gauge, 50);
    QCOMPARE(f.frmProgress.lblStatus->text(), u"Importing 104"_s);
    QCOMPARE(f.frmProgress.lblRecords->text(), u"2"_s);
    QCOMPARE(f.prompter.errors, QStringList{u"Property out of range"_s});
    QVERIFY(!f.frmProgress.QWidget::isVisible());
    QVERIFY(!f.frmProgress.isVisible());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void MainWindowTest::closingCompactsAndKeepsTheStateAtClose()
{
    MainWindowFixture f;
    seedTables(f);
    f.home.dm().exec(uR"(INSERT INTO "104" (HerdCode) SELECT HerdCode || 'X' FROM "104")"_s);
    f.home.dm().exec(uR"(DELETE FROM "104" WHERE HerdCode LIKE '%X')"_s);
    f.home.dm().close();
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    // An edit still open when the window closes is written before the database is packed.
    f.clickCell(0, u"HerdCode"_s);
    QTest::keyClick(f.grid(), Qt::Key_F2);
    QTRY_VERIFY(QApplication::focusWidget() != f.grid());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), u"LAST"_s);
    f.frmMain.close();

    QVERIFY2(f.prompter.errors.isEmpty(), qPrintable(f.prompter.errors.join(u'\n')));
    const char *sql = R"(SELECT group_concat(HerdCode, ',') FROM "104")";
    const QString db = f.home.path() + u"Tembra.db"_s;
    const QString backup = f.home.path() + u"Backup.db"_s;
    QCOMPARE(rowsIn(backup, sql), QStringList{u"LAST,H2,H1"_s});
    QCOMPARE(rowsIn(db, sql), rowsIn(backup, sql));
    QVERIFY(QFileInfo(db).size() <= QFileInfo(backup).size());
    QCOMPARE(QDir(f.home.path()).entryList({u"*.compact-*"_s}, QDir::Files), QStringList{});
}

void MainWindowTest::failingCompactionKeepsTheDatabase()
{
    MainWindowFixture f;
    seedTables(f);
    f.home.dm().close();
    QVERIFY(QDir().mkpath(f.home.path() + u"Backup.db/in-the-way"_s));
    QVERIFY(f.show());
    f.frmMain.close();
    QCOMPARE(f.prompter.errors.size(), 1);
    QVERIFY(f.prompter.errors.first().contains(u"Backup.db"_s));
    QCOMPARE(rowsIn(f.home.path() + u"Tembra.db"_s, R"(SELECT count(*) FROM "104")"),
             QStringList{u"3"_s});
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
