#include "GuiFixture.h"

#include <QClipboard>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

using namespace Qt::StringLiterals;
using namespace bm::gui;

class ProblemsWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void loadListsItsProblemsToSortFilterCopyAndSave();
    void viewMenuReopensTheLastListUntilTheNextLoad();
};

namespace {

// The sample's test days with three faults (layout 104 version 2): a day count that is no number
// on line 2, an impossible test date on line 5 and calving date on line 9.
QByteArray faultyTestDays()
{
    QList<QByteArray> lines
            = bm::test::readFile(QStringLiteral(BM_SOURCE_DIR "/samples/herd.104")).split('\n');
    lines[1].replace(57, 3, "x1 ");
    lines[4].replace(39, 8, "20210230");
    lines[8].replace(47, 8, "20211301");
    return lines.join('\n');
}

// The texts of one column as the window lists them.
QStringList column(QTableView *view, int c)
{
    QStringList out;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        out << view->model()->index(r, c).data().toString();
    return out;
}

} // namespace

void ProblemsWindowTest::loadListsItsProblemsToSortFilterCopyAndSave()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    const QString file = f.home.write(u"in/set.104"_s, faultyTestDays());
    f.prompter.choices = {file};
    f.clickFileMenu("LoadFiles1");
    QCOMPARE(f.prompter.questions.size(), 3); // the prompts stay as they are

    TfrmProblems &w = f.program.frmProblems;
    QTRY_VERIFY(w.isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.lblTitle->text(), u"Load Files \"set.104\": 3 problems"_s);
    QTableView *view = w.tblProblems;
    QCOMPARE(column(view, 1), (QStringList{u"2"_s, u"5"_s, u"9"_s}));
    QCOMPARE(column(view, 3), (QStringList{u"DaysInMilk"_s, u"TestDate"_s, u"CalvingDate"_s}));
    QCOMPARE(column(view, 0), QStringList(3, u"set.104"_s));

    // A click on a title sorts by it; a second click reverses the order.
    QHeaderView *titles = view->horizontalHeader();
    auto clickTitle = [&](int c) {
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                          QPoint(titles->sectionViewportPosition(c) + 10, titles->height() / 2));
    };
    clickTitle(3);
    QCOMPARE(column(view, 3), (QStringList{u"CalvingDate"_s, u"DaysInMilk"_s, u"TestDate"_s}));
    clickTitle(1);
    clickTitle(1);
    QCOMPARE(column(view, 1), (QStringList{u"9"_s, u"5"_s, u"2"_s}));

    // Ctrl+C copies every row listed when none is selected, with the titles.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text().split(u'\n').at(0),
             u"File\tLine\tRecord Type\tField\tText\tMessage"_s);
    QCOMPARE(QApplication::clipboard()->text().split(u'\n').at(1),
             u"set.104\t9\t104\tCalvingDate\t20211301\tNot a valid date: stored as empty"_s);

    // The field list narrows the rows.
    QTest::mouseClick(w.cmbField, Qt::LeftButton);
    QAbstractItemView *list = w.cmbField->view();
    QVERIFY(QTest::qWaitForWindowExposed(list->window()));
    const int row = w.cmbField->findText(u"DaysInMilk"_s);
    QVERIFY(row > 0);
    for (int i = w.cmbField->currentIndex(); i < row; ++i)
        QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_COMPARE(column(view, 3), QStringList{u"DaysInMilk"_s});
    QCOMPARE(w.lblTitle->text(), u"Load Files \"set.104\": 3 problems, 1 listed"_s);

    // Save As CSV writes the rows listed.
    const QString csv = f.home.path() + u"problems.csv"_s;
    f.prompter.choices = {csv};
    QTest::mouseClick(w.btnSave, Qt::LeftButton);
    QCOMPARE(bm::test::readFile(csv),
             "\"File\",\"Line\",\"Record Type\",\"Field\",\"Text\",\"Message\"\r\n"
             "\"set.104\",2,\"104\",\"DaysInMilk\",\"x1\",\"Not a number: the line was left "
             "out\"\r\n");
    QVERIFY(f.prompter.errors.isEmpty());

    // Closing only hides it; a load without problems leaves it closed.
    QTest::mouseClick(w.btnClose, Qt::LeftButton);
    QTRY_VERIFY(!w.isVisible());
    f.prompter.choices = {QStringLiteral(BM_SOURCE_DIR "/samples/herd.104")};
    f.clickFileMenu("LoadFiles1");
    QTRY_COMPARE(f.home.rows(uR"(SELECT count(*) FROM "104")"_s), QStringList{u"190"_s});
    QVERIFY(!w.isVisible());
}

void ProblemsWindowTest::viewMenuReopensTheLastListUntilTheNextLoad()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    const QString file = f.home.write(u"in/set.104"_s, faultyTestDays());
    f.prompter.choices = {file};
    f.clickFileMenu("LoadFiles1");
    TfrmProblems &w = f.program.frmProblems;
    QTRY_VERIFY(w.isVisible());
    // A window of the main window: the window system keeps it in front of it.
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowHandle()->transientParent(), f.frmMain.windowHandle());

    // Save As CSV offers its file in the folder of the data.
    f.prompter.choices.clear();
    QTest::mouseClick(w.btnSave, Qt::LeftButton);
    QCOMPARE(f.prompter.initials.last(), QFileInfo(file).absolutePath() + u"/Problems.csv"_s);

    // Closed, the View menu shows it again, as it was.
    w.close();
    QVERIFY(!w.isVisible());
    auto clickProblems = [&]() -> bool {
        f.clickButton("btnView");
        auto *menu = f.child<QMenu>("pumView");
        if (!QTest::qWaitFor([&] { return menu->isVisible(); }))
            return false;
        QAction *item = f.child<QAction>("Problems1");
        const bool enabled = item->isEnabled();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        if (menu->isVisible())
            QTest::keyClick(menu, Qt::Key_Escape);
        return QTest::qWaitFor([&] { return !menu->isVisible(); }) && enabled;
    };
    QVERIFY(clickProblems());
    QTRY_VERIFY(w.isVisible());
    QCOMPARE(w.lblTitle->text(), u"Load Files \"set.104\": 3 problems"_s);

    // A load without problems empties the list: there is nothing to show again.
    f.prompter.choices = {QStringLiteral(BM_SOURCE_DIR "/samples/herd.104")};
    f.clickFileMenu("LoadFiles1");
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(!clickProblems());
    QVERIFY(!w.isVisible());
    QVERIFY(f.prompter.errors.isEmpty());
}

QTEST_MAIN(ProblemsWindowTest)
#include "ProblemsWindowTest.moc"
