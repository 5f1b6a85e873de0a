#include "GuiFixture.h"

#include "DateBox.h"
#include "FilterQuery.h"

#include <QCalendarWidget>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace bm::gui;

namespace {

// Starts editing the cell with F2 and returns its editor.
QLineEdit *editCell(MainWindowFixture &f, int row, const QString &column)
{
    f.clickCell(row, column);
    QTest::keyClick(f.grid(), Qt::Key_F2);
    if (!QTest::qWaitFor([] { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); }))
        return nullptr;
    return qobject_cast<QLineEdit *>(QApplication::focusWidget());
}

// Widgets of the top bar that overlap one another, as "a/b" pairs.
QStringList overlaps(const QList<QWidget *> &widgets)
{
    QStringList pairs;
    for (qsizetype i = 0; i < widgets.size(); ++i)
        for (qsizetype j = i + 1; j < widgets.size(); ++j)
            if (widgets[i]->geometry().intersects(widgets[j]->geometry()))
                pairs << widgets[i]->objectName() + u'/' + widgets[j]->objectName();
    return pairs;
}

} // namespace

// The main window as people expect a desktop program to behave: typed dates, counts that
// follow the table, widths and text that stay, keys, the clipboard, a bar that fits.
class DesktopTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void datesAreTypedInTheLocalesForm_data();
    void datesAreTypedInTheLocalesForm();
    void calendarAndArrowsStartFromADateOfTheTable();
    void countFollowsInsertAndDelete();
    void columnWidthsSurviveSortTabChangeAndRestart();
    void refusedValueStaysInTheEditor();
    void ctrlCCopiesARangeAsShown();
    void desktopKeys();
    void filterBarFitsNarrowWindows_data();
    void filterBarFitsNarrowWindows();
    void closingShowsTheCompaction();
};

void DesktopTest::datesAreTypedInTheLocalesForm_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("shownEnd"); // the end date as the box shows it once applied
    QTest::newRow("C") << QLocale::c() << u"5 Mar 2021"_s << u"31-dec-21"_s << u"31 Dec 2021"_s;
    QTest::newRow("en_GB") << QLocale(QLocale::English, QLocale::UnitedKingdom) << u"05/03/2021"_s
                           << u"31.12.21"_s << u"31/12/2021"_s;
}

void DesktopTest::datesAreTypedInTheLocalesForm()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, shownEnd);
    const bm::test::LocaleScope scope(locale);
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.pick("cmbFilter", u"TestDate"_s);
    f.pick("cmbOperator", u"Is Between"_s);
    auto *deStart = f.child<DateBox>("deStart");
    auto *deEnd = f.child<DateBox>("deEnd");
    // The focus moved on to the start date: the user types at once.
    QTRY_VERIFY(deStart->lineEdit()->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), start);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_VERIFY(deEnd->lineEdit()->hasFocus());
    QTest::keyClicks(deEnd->lineEdit(), end);
    QTest::keyClick(deEnd->lineEdit(), Qt::Key_Return); // Enter applies
    QVERIFY2(f.prompter.notices.isEmpty(), qPrintable(f.prompter.notices.join(u'\n')));
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);
    QCOMPARE(deStart->text(), start); // already in the locale's form
    QCOMPARE(deEnd->text(), shownEnd);
    QCOMPARE(deEnd->date(), QDate(2021, 12, 31));

    // Text that is no date is named, and stays in the box for correction.
    deEnd->lineEdit()->clear();
    QTest::keyClicks(deEnd->lineEdit(), u"31 Decembre"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.prompter.notices.size(), 1);
    QVERIFY2(f.prompter.notices.first().startsWith(
                     u"'31 Decembre' is not a date. Type a date like "_s),
             qPrintable(f.prompter.notices.first()));
    QCOMPARE(deEnd->text(), u"31 Decembre"_s);
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);
    // An empty box is still incomplete.
    deEnd->lineEdit()->clear();
    f.clickButton("btnApply");
    QCOMPARE(f.prompter.notices.last(), u"Incomplete Filter."_s);
}

void DesktopTest::calendarAndArrowsStartFromADateOfTheTable()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.clickCell(1, u"HerdCode"_s); // the current row's test day: 10 Apr 2021
    f.pick("cmbFilter", u"TestDate"_s);
    f.pick("cmbOperator", u"Is Equal To"_s);
    auto *deStart = f.child<DateBox>("deStart");

    // The calendar of an empty box opens on the current row's date, not on today.
    QTest::mouseClick(deStart->calendarButton(), Qt::LeftButton);
    QTRY_VERIFY(deStart->calendar()->isVisible());
    QCOMPARE(deStart->calendar()->selectedDate(), QDate(2021, 4, 10));
    QCOMPARE(deStart->calendar()->yearShown(), 2021);
    // Picking a day with the keyboard fills the box.
    QTest::keyClick(deStart->calendar()->focusWidget(), Qt::Key_Left);
    QTest::keyClick(deStart->calendar()->focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(!deStart->calendar()->isVisible());
    QCOMPARE(deStart->date(), QDate(2021, 4, 9));

    // Up and Down step a day; Page Up a month.
    deStart->lineEdit()->setFocus();
    QTest::keyClick(deStart->lineEdit(), Qt::Key_Up);
    QTest::keyClick(deStart->lineEdit(), Qt::Key_Up);
    QTest::keyClick(deStart->lineEdit(), Qt::Key_Down);
    QCOMPARE(deStart->date(), QDate(2021, 4, 10));
    QTest::keyClick(deStart->lineEdit(), Qt::Key_Return);
    QCOMPARE(f.status(), u"Test Day  :  1  Records Listed"_s);

    // After Clear the box is empty, and its calendar opens on the date last used in it.
    f.clickButton("btnClear");
    f.pick("cmbFilter", u"TestDate"_s);
    QVERIFY(deStart->text().isEmpty());
    deStart->lineEdit()->setFocus();
    QTest::keyClick(deStart->lineEdit(), Qt::Key_PageUp);
    QCOMPARE(deStart->date(), QDate(2021, 5, 10));
    deStart->lineEdit()->clear();
    QTest::keyClick(deStart->lineEdit(), Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(deStart->calendar()->isVisible());
    QCOMPARE(deStart->calendar()->selectedDate(), QDate(2021, 5, 10));
    QTest::keyClick(deStart->calendar()->focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!deStart->calendar()->isVisible());
}

void DesktopTest::countFollowsInsertAndDelete()
{
    MainWindowFixture f;
    seedTables(f);
    // 1,238 pedigree rows: the count carries the thousands separator.
    f.home.dm().exec(uR"(WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n
                         WHERE i < 1234) INSERT INTO "102" (CowID) SELECT 'C' || i FROM n)"_s);
    QVERIFY(f.show());
    f.clickTab(u"102"_s);
    QCOMPARE(f.status(), u"Cow Pedigree  :  1,238  Records Listed"_s);

    f.clickTab(u"104"_s);
    f.clickCell(0, u"HerdCode"_s);
    QTest::keyClick(f.grid(), Qt::Key_Insert);
    QCOMPARE(f.status(), u"Test Day  :  4  Records Listed"_s);
    QTest::keyClick(f.grid(), Qt::Key_Escape); // the new row is dropped again
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);

    QTest::keyClick(f.grid(), Qt::Key_Insert);
    QTest::keyClicks(f.grid(), u"N"_s);
    QTRY_VERIFY(QApplication::focusWidget() != f.grid());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTRY_COMPARE(f.home.dm().rowCount(u"104"_s), qint64(4));
    QCOMPARE(f.status(), u"Test Day  :  4  Records Listed"_s);

    f.clickCell(2, u"CowID"_s);
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.home.dm().rowCount(u"104"_s), qint64(3));
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    f.prompter.answers = {false};
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
}

void DesktopTest::columnWidthsSurviveSortTabChangeAndRestart()
{
    auto dragBorder = [](MainWindowFixture &f, const QString &column, int by) {
        QHeaderView *h = f.titles();
        const int section = f.model()->columnIndex(column);
        const int edge = h->sectionViewportPosition(section) + h->sectionSize(section) - 1;
        const int y = h->height() / 2;
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
        QTest::mouseMove(h->viewport(), QPoint(edge + by / 2, y));
        QTest::mouseMove(h->viewport(), QPoint(edge + by, y));
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(edge + by, y));
    };
    auto widthOf = [](MainWindowFixture &f, const QString &column) {
        return f.grid()->columnWidth(f.model()->columnIndex(column));
    };

    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    const int before = widthOf(f, u"CowID"_s);
    dragBorder(f, u"CowID"_s, 60);
    const int cowWidth = widthOf(f, u"CowID"_s);
    QVERIFY2(cowWidth > before + 40, qPrintable(u"%1 -> %2"_s.arg(before).arg(cowWidth)));
    dragBorder(f, u"Milk"_s, -10);
    const int milkWidth = widthOf(f, u"Milk"_s);

    f.clickTitle(u"CowID"_s); // a sort re-queries
    QCOMPARE(f.shown(u"CowID"_s), (QStringList{u"C1"_s, u"C2"_s, u"C3"_s}));
    QCOMPARE(widthOf(f, u"CowID"_s), cowWidth);
    QCOMPARE(widthOf(f, u"Milk"_s), milkWidth);
    f.clickTab(u"102"_s); // another table keeps its own widths
    QVERIFY(widthOf(f, u"CowID"_s) != cowWidth);
    f.clickTab(u"104"_s);
    QCOMPARE(widthOf(f, u"CowID"_s), cowWidth);
    f.clickButton("btnClear");
    QCOMPARE(widthOf(f, u"CowID"_s), cowWidth);
    f.frmMain.close();
    QVERIFY(bm::test::readFile(f.home.path() + u"Brindlemark.ini"_s)
                    .contains("CowID=" + QByteArray::number(cowWidth)));

    // The next run of the program on this folder.
    bm::test::ScriptedPrompter prompter;
    bm::gui::Program again(f.home.path(), &prompter);
    again.frmMain.resize(1000, 611);
    again.frmMain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again.frmMain));
    again.frmMain.findChild<TabStrip *>(u"tc"_s)->setCurrentIndex(3);
    QCOMPARE(again.frmMain.currentTable(), u"104"_s);
    auto *grid = again.frmMain.findChild<DataGrid *>(u"dbg"_s);
    QCOMPARE(grid->columnWidth(again.frmMain.gridModel()->columnIndex(u"CowID"_s)), cowWidth);
    QCOMPARE(grid->columnWidth(again.frmMain.gridModel()->columnIndex(u"Milk"_s)), milkWidth);
    again.frmMain.close();
    QVERIFY(prompter.errors.isEmpty());
}

void DesktopTest::refusedValueStaysInTheEditor()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    QLineEdit *editor = editCell(f, 1, u"CellCount"_s);
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, u"12A"_s);
    QTest::keyClick(editor, Qt::Key_Down);
    QTRY_COMPARE(f.prompter.errors.size(), 1);
    QVERIFY(f.prompter.errors.first().contains(u"'12A' is not a valid whole number"_s));
    // The editor is open again on the same cell, holding what was typed.
    QTRY_VERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
    editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QCOMPARE(editor->text(), u"12A"_s);
    QCOMPARE(f.grid()->currentIndex(), f.model()->index(1, f.model()->columnIndex(u"CellCount"_s)));
    // Corrected, it is written when the row is left.
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, Qt::Key_Up);
    QTRY_COMPARE(f.home.rows(uR"(SELECT CellCount FROM "104" WHERE rowid = 2)"_s),
                 QStringList{u"12"_s});
    QCOMPARE(f.prompter.errors.size(), 1);
}

void DesktopTest::ctrlCCopiesARangeAsShown()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    // A click, then Shift and a click: the range between the two cells.
    f.clickCell(0, u"CowID"_s);
    const QModelIndex corner = f.model()->index(1, f.model()->columnIndex(u"TestDate"_s));
    QTest::mouseClick(f.grid()->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      f.grid()->visualRect(corner).center());
    QTest::keyClick(f.grid(), Qt::Key_C, Qt::ControlModifier);
    const QStringList columns = f.model()->columnNames();
    const qsizetype from = columns.indexOf(u"CowID"_s);
    const qsizetype to = columns.indexOf(u"TestDate"_s);
    QCOMPARE(to - from, 2); // CowID, NationalID, TestDate
    QCOMPARE(QApplication::clipboard()->text(), u"C3\t\t5 Mar 2021\nC1\t\t10 Apr 2021"_s);

    // Shift and the arrow keys grow the range from the current cell; Milk as the grid shows it.
    f.clickCell(0, u"Milk"_s);
    QTest::keyClick(f.grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(f.grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(f.grid(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), u"25.3\n30.0\n18.7"_s);
}

void DesktopTest::desktopKeys()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    QVERIFY(f.activate());
    auto *menu = f.child<QMenu>("pumActions");
    // Alt+F opens the File menu, which names the keys of its commands.
    QTest::keyClick(&f.frmMain, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(f.child<QAction>("LoadFiles1")->shortcut(), QKeySequence(u"Ctrl+O"_s));
    QCOMPARE(f.child<QAction>("SaveFiles1")->shortcut(), QKeySequence(u"Ctrl+S"_s));
    QCOMPARE(f.child<QAction>("About1")->shortcut(), QKeySequence(Qt::Key_F1));
    QTest::keyClick(menu, Qt::Key_Escape);
    QTRY_VERIFY(!menu->isVisible());

    QVERIFY(f.activate());
    QTest::keyClick(&f.frmMain, Qt::Key_F1);
    QTRY_VERIFY(f.frmAbout.isVisible());
    QTest::mouseClick(f.frmAbout.btnClose, Qt::LeftButton);
    QTRY_VERIFY(!f.frmAbout.isVisible());

    QVERIFY(f.activate());
    QTest::keyClick(&f.frmMain, Qt::Key_O, Qt::ControlModifier); // the dialog is cancelled
    QTRY_COMPARE(f.prompter.filters.size(), 1);

    // Enter in a value box applies the filter.
    f.clickTab(u"104"_s);
    f.pick("cmbFilter", u"HerdCode"_s);
    f.pick("cmbOperator", u"Is Equal To"_s);
    QTest::keyClicks(f.child<QLineEdit>("edtStart"), u"h1"_s);
    QTest::keyClick(f.child<QLineEdit>("edtStart"), Qt::Key_Enter);
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);

    // Every control of the filter bar says what it is for.
    for (const char *name :
         {"btnActions", "cmbFilter", "cmbOperator", "edtStart", "edtEnd", "btnApply", "btnClear"})
        QVERIFY2(!f.child<QWidget>(name)->toolTip().isEmpty(), name);
    QVERIFY(!f.child<DateBox>("deStart")->lineEdit()->toolTip().isEmpty());

    // Ctrl+Q closes the window, which compacts the database.
    QVERIFY(f.activate());
    QTest::keyClick(&f.frmMain, Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!f.frmMain.isVisible());
    QVERIFY(QFile::exists(f.home.path() + u"Backup.db"_s));
}

void DesktopTest::filterBarFitsNarrowWindows_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("banner");
    QTest::addColumn<bool>("twoRows");
    QTest::newRow("designed 1000") << 1000 << true << false;
    QTest::newRow("800") << 800 << false << false;
    QTest::newRow("640") << 640 << false << true;
    QTest::newRow("narrowest") << 480 << false << true;
}

void DesktopTest::filterBarFitsNarrowWindows()
{
    QFETCH(int, width);
    QFETCH(bool, banner);
    QFETCH(bool, twoRows);
    MainWindowFixture f;
    QVERIFY(f.show());
    f.frmMain.resize(width, 600);
    QTRY_COMPARE(f.frmMain.width(), width);
    auto *top = f.child<QWidget>("pnlTop");
    QList<QWidget *> bar;
    for (const char *name : {"lblTitle", "btnActions", "cmbFilter", "cmbOperator", "edtStart",
                             "lblAnd", "edtEnd", "btnApply", "btnClear"})
        bar << f.child<QWidget>(name);
    auto *imgBanner = f.child<QWidget>("imgBanner");
    QCOMPARE(imgBanner->isVisible(), banner);
    if (banner)
        bar << imgBanner;
    QCOMPARE(overlaps(bar), QStringList{});
    for (QWidget *w : std::as_const(bar)) {
        QVERIFY2(top->rect().contains(w->geometry()), qPrintable(w->objectName()));
        QVERIFY2(w->width() >= 40 || w->objectName() == u"lblAnd"_s, qPrintable(w->objectName()));
    }
    QCOMPARE(f.child<QWidget>("btnClear")->y() > f.child<QWidget>("btnActions")->y(), twoRows);
    // The operator's longest caption fits its box.
    auto *op = f.combo("cmbOperator");
    QVERIFY(op->fontMetrics().horizontalAdvance(u"Is Greater Or Equal To"_s) + 20 < op->width());
    // The date inputs stand where the text inputs stand.
    QCOMPARE(f.child<QWidget>("deEnd")->geometry(), f.child<QWidget>("edtEnd")->geometry());
}

void DesktopTest::closingShowsTheCompaction()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    // What the screen shows while the window closes, seen from the events the compaction lets
    // through while it paints the progress window.
    QStringList seen;
    QTimer watch;
    connect(&watch, &QTimer::timeout, &watch, [&] {
        const bool shown = f.frmProgress.QWidget::isVisible();
        const QString line = (f.frmMain.isVisible() ? u"main "_s : QString())
                             + (shown ? f.frmProgress.lblStatus->text() : u"-"_s);
        if (seen.isEmpty() || seen.last() != line)
            seen << line;
    });
    watch.start(0);
    f.frmMain.close();
    watch.stop();
    QVERIFY2(seen.contains(u"Compacting Database"_s), qPrintable(seen.join(u" | "_s)));
    QVERIFY(!f.frmProgress.QWidget::isVisible());
    QVERIFY(QFile::exists(f.home.path() + u"Backup.db"_s));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
