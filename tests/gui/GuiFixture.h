#pragma once

#include "DataGrid.h"
#include "GridModel.h"
#include "Program.h"
#include "TabStrip.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTest>

// The program's windows on a fresh program folder, made in start-up order, with a scripted
// prompter in place of the message boxes. Helpers click and type as a user does.
struct MainWindowFixture
{
    // The application is prepared as the program prepares it, once, before any window is made.
    const bool prepared = [] {
        static const bool once = (bm::gui::prepareApplication(), true);
        return once;
    }();
    bm::test::TestHome home;
    bm::test::ScriptedPrompter prompter;
    bm::gui::Program program{home.path(), &prompter};
    bm::gui::TfrmMain &frmMain = program.frmMain;
    bm::Tdm &dm = program.dm;
    bm::gui::TfrmProgress &frmProgress = program.frmProgress;
    bm::gui::TfrmAbout &frmAbout = program.frmAbout;
    bm::gui::TfrmFileCheck &frmFileCheck = program.frmFileCheck;
    bm::gui::TfrmSaveFiles &frmSaveFiles = program.frmSaveFiles;

    MainWindowFixture() { frmMain.resize(1000, 611); }

    // Shows the window as start-up does; false when it was never exposed.
    bool show()
    {
        frmMain.show();
        return QTest::qWaitForWindowExposed(&frmMain);
    }

    template<class T>
    T *child(const char *name) const
    {
        T *w = frmMain.findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    QComboBox *combo(const char *name) const { return child<QComboBox>(name); }
    bm::gui::DataGrid *grid() const { return child<bm::gui::DataGrid>("dbg"); }
    bm::GridModel *model() const { return frmMain.gridModel(); }
    QString status() const { return child<QLabel>("pnlBottom")->text(); }

    void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }
    void clickButton(const char *name) { click(child<QWidget>(name)); }

    // Opens the File menu with a click on its button and clicks the item named `action`.
    void clickFileMenu(const char *action)
    {
        clickButton("btnActions");
        auto *menu = child<QMenu>("pumActions");
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(child<QAction>(action)).center());
        QTRY_VERIFY(!menu->isVisible());
    }

    // Opens the File menu and its submenu `submenu` with clicks and clicks the item `action`.
    void clickFileSubmenu(const char *submenu, const char *action)
    {
        clickButton("btnActions");
        auto *menu = child<QMenu>("pumActions");
        QTRY_VERIFY(menu->isVisible());
        auto *sub = child<QMenu>(submenu);
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(sub->menuAction()).center());
        QTRY_VERIFY(sub->isVisible());
        QTest::mouseClick(sub, Qt::LeftButton, {},
                          sub->actionGeometry(child<QAction>(action)).center());
        QTRY_VERIFY(!menu->isVisible());
    }

    // Opens a combo box's list with the mouse and picks the item with `text` in the list with
    // the keyboard (a click on the list item depends on the time since the list opened).
    void pick(const char *comboName, const QString &text)
    {
        QComboBox *c = combo(comboName);
        QTest::mouseClick(c, Qt::LeftButton);
        QAbstractItemView *view = c->view();
        QVERIFY(QTest::qWaitForWindowExposed(view->window()));
        const int row = c->findText(text);
        QVERIFY2(row >= 0, qPrintable(text));
        QTest::keyClick(view, Qt::Key_Home);
        for (int i = 0; i < row; ++i)
            QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Return);
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(c->currentIndex(), row);
    }

    void clickTab(const QString &code)
    {
        auto *tc = child<bm::gui::TabStrip>("tc");
        const int index = frmMain.tables().indexOf(code);
        QTest::mouseClick(tc, Qt::LeftButton, {}, tc->tabRect(index).center());
    }

    QHeaderView *titles() const { return grid()->horizontalHeader(); }
    void clickTitle(const QString &column)
    {
        QHeaderView *h = titles();
        const int section = model()->columnIndex(column);
        grid()->scrollTo(model()->index(0, section));
        const QPoint at(h->sectionViewportPosition(section) + h->sectionSize(section) / 2,
                        h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
    }

    // The texts of one grid column, top to bottom, as the grid shows them.
    QStringList shown(const QString &column) const
    {
        QStringList texts;
        const int c = model()->columnIndex(column);
        for (int r = 0; r < model()->rowCount(); ++r)
            texts << model()->index(r, c).data().toString();
        return texts;
    }

    // Clicks a grid cell, making it current.
    void clickCell(int row, const QString &column)
    {
        const QModelIndex index = model()->index(row, model()->columnIndex(column));
        grid()->scrollTo(index);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                          grid()->visualRect(index).center());
    }
};
