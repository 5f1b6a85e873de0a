#include "GuiFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

using namespace Qt::StringLiterals;
using namespace bm::gui;

// The main window worked from the keyboard alone: real key presses on the active window.
class KeyboardTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void focusGoesRoundTheFilterBarAndBetweenItAndTheGrid();
    void applyAndClearFromTheKeyboard();
    void f3SortsByTheCurrentColumnAndAgainReverses();
    void everyMenuItemHasItsOwnLetter();
};

namespace {

QWidget *focused()
{
    return QApplication::focusWidget();
}

void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = focused();
    QVERIFY(target);
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

} // namespace

void KeyboardTest::focusGoesRoundTheFilterBarAndBetweenItAndTheGrid()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    QVERIFY(f.activate());
    f.clickCell(1, u"HerdCode"_s);
    QCOMPARE(focused(), f.grid());

    // Ctrl+Tab leaves the grid for the filter bar; Tab then goes through the bar, the buttons
    // last, and on into the grid (where Tab moves from cell to cell).
    press(Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(focused(), f.combo("cmbFilter"));
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        press(Qt::Key_Tab);
        order << focused()->objectName();
    }
    QCOMPARE(order, (QStringList{u"cmbOperator"_s, u"edtStart"_s, u"edtEnd"_s, u"btnApply"_s,
                                 u"btnClear"_s, u"dbg"_s}));
    const QModelIndex current = f.grid()->currentIndex();
    press(Qt::Key_Tab);
    QCOMPARE(focused(), f.grid());
    QCOMPARE(f.grid()->currentIndex().column(), current.column() + 1);

    // F6 goes back to the bar's control that had the focus last, and F6 again to the grid;
    // Shift+Tab goes back through the bar.
    press(Qt::Key_F6);
    QCOMPARE(focused()->objectName(), u"btnClear"_s);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(focused()->objectName(), u"btnApply"_s);
    press(Qt::Key_F6);
    QCOMPARE(focused(), f.grid());
    press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(focused()->objectName(), u"btnApply"_s);
}

void KeyboardTest::applyAndClearFromTheKeyboard()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    QVERIFY(f.activate());
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    f.pick("cmbFilter", u"HerdCode"_s);
    f.pick("cmbOperator", u"Is Equal To"_s);
    QCOMPARE(focused()->objectName(), u"edtStart"_s);
    QTest::keyClicks(focused(), u"h1"_s);

    // Enter on Apply, with the focus on it, applies the filter (Tab passes the end value, which
    // "Is Equal To" does not use).
    press(Qt::Key_Tab);
    QCOMPARE(focused()->objectName(), u"btnApply"_s);
    press(Qt::Key_Return);
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);

    // Escape in the filter bar clears it, as Clear does.
    press(Qt::Key_Escape);
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    QCOMPARE(f.combo("cmbFilter")->currentIndex(), -1);
    QVERIFY(f.child<QLineEdit>("edtStart")->text().isEmpty());

    // Alt+A applies and Alt+C clears, wherever the focus is.
    f.pick("cmbFilter", u"HerdCode"_s);
    f.pick("cmbOperator", u"Is Equal To"_s);
    QTest::keyClicks(focused(), u"h2"_s);
    f.clickCell(0, u"CowID"_s);
    press(Qt::Key_A, Qt::AltModifier); // a button's letter presses it for a moment
    QTRY_COMPARE(f.status(), u"Test Day  :  1  Records Listed"_s);
    press(Qt::Key_C, Qt::AltModifier);
    QTRY_COMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    QVERIFY(f.prompter.errors.isEmpty());
    QVERIFY(f.prompter.notices.isEmpty());
}

void KeyboardTest::f3SortsByTheCurrentColumnAndAgainReverses()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    QVERIFY(f.activate());
    f.clickCell(1, u"CowID"_s);
    press(Qt::Key_F3);
    QCOMPARE(f.shown(u"CowID"_s), (QStringList{u"C1"_s, u"C2"_s, u"C3"_s}));
    QVERIFY(f.titles()->isSortIndicatorShown());
    QCOMPARE(f.titles()->sortIndicatorSection(), f.model()->columnIndex(u"CowID"_s));
    QCOMPARE(f.titles()->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(f.grid()->currentIndex().column(), f.model()->columnIndex(u"CowID"_s));
    press(Qt::Key_F3);
    QCOMPARE(f.shown(u"CowID"_s), (QStringList{u"C3"_s, u"C2"_s, u"C1"_s}));
    QCOMPARE(f.titles()->sortIndicatorOrder(), Qt::DescendingOrder);

    // The same from the View menu and the grid's context menu.
    auto *sort = f.child<QAction>("SortColumn1");
    QCOMPARE(sort->shortcut(), QKeySequence(Qt::Key_F3));
    QVERIFY(f.child<QMenu>("pumView")->actions().contains(sort));
    QVERIFY(f.child<QMenu>("pumGrid")->actions().contains(sort));
}

void KeyboardTest::everyMenuItemHasItsOwnLetter()
{
    MainWindowFixture f;
    seedTables(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    static const QRegularExpression letter(u"&(\\w)"_s);
    QList<QMenu *> menus;
    for (const char *name : {"pumActions", "pumEdit", "pumView", "pumGrid"}) {
        menus << f.child<QMenu>(name);
        menus << menus.last()->findChildren<QMenu *>();
    }
    for (QMenu *menu : std::as_const(menus)) {
        QSet<QString> letters;
        for (QAction *item : menu->actions()) {
            if (item->isSeparator())
                continue;
            const QRegularExpressionMatch m = letter.match(item->text());
            QVERIFY2(m.hasMatch(), qPrintable(menu->objectName() + u": "_s + item->text()));
            const QString key = m.captured(1).toLower();
            QVERIFY2(!letters.contains(key),
                     qPrintable(menu->objectName() + u": "_s + item->text()));
            letters.insert(key);
        }
    }

    // With the File menu open, a letter runs its item: "C", then "2" runs the first clean-up.
    QVERIFY(f.activate());
    press(Qt::Key_F, Qt::AltModifier);
    auto *menu = f.child<QMenu>("pumActions");
    QTRY_VERIFY(menu->isVisible());
    QTest::keyClick(menu, Qt::Key_C);
    auto *cleanup = f.child<QMenu>("Cleanup1");
    QTRY_VERIFY(cleanup->isVisible());
    QTest::keyClick(cleanup, Qt::Key_2);
    QTRY_COMPARE(f.prompter.notices, QStringList{u"Finished Cleanup."_s});
}

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
