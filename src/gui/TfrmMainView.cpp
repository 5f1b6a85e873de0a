// The main window's View menu and the grid's context menu: the lactation and herd charts of the
// grid's current row; and, in the View menu, the lactation check of the whole herd database.
#include "TfrmMain.h"

#include "DataGrid.h"
#include "GridModel.h"
#include "HerdCharts.h"
#include "Tdm.h"
#include "TfrmHerdSummary.h"
#include "TfrmLactationCheck.h"
#include "TfrmLactationCurves.h"
#include "TfrmProblems.h"

#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

// The tables whose rows name a cow.
bool namesCow(const QString &table)
{
    return table == u"102"_s || table == u"103"_s || table == u"104"_s;
}

} // namespace

void TfrmMain::buildViewMenu()
{
    // "&View": Alt+V opens the View menu.
    btnView = new QPushButton(u"&View"_s, pnlTop);
    btnView->setObjectName(u"btnView"_s);
    btnView->setFocusPolicy(Qt::NoFocus);
    btnView->setToolTip(u"Charts of the current row's cow and herd (Alt+V)"_s);

    LactationCurves1 = new QAction(u"&Lactation Curves"_s, this);
    LactationCurves1->setObjectName(u"LactationCurves1"_s);
    LactationCurves1->setToolTip(
            u"The test-day milk of the current row's cow against days in milk, per lactation"_s);
    connect(LactationCurves1, &QAction::triggered, this, &TfrmMain::LactationCurves1Click);
    HerdSummary1 = new QAction(u"&Herd Summary"_s, this);
    HerdSummary1->setObjectName(u"HerdSummary1"_s);
    HerdSummary1->setToolTip(u"The test dates of the current row's herd"_s);
    connect(HerdSummary1, &QAction::triggered, this, &TfrmMain::HerdSummary1Click);
    LactationCheck1 = new QAction(u"Lactation Chec&k"_s, this);
    LactationCheck1->setObjectName(u"LactationCheck1"_s);
    LactationCheck1->setToolTip(u"The stated 305-day yields of every lactation against those "
                                "computed from its test days"_s);
    connect(LactationCheck1, &QAction::triggered, this, &TfrmMain::LactationCheck1Click);
    // The problem list of the last load, import or merge, reopened after it was closed.
    Problems1 = new QAction(u"&Problems"_s, this);
    Problems1->setObjectName(u"Problems1"_s);
    Problems1->setToolTip(u"The problems of the last load or merge that had any"_s);
    connect(Problems1, &QAction::triggered, this, &TfrmMain::Problems1Click);
    // The keyboard's title click.
    SortColumn1 = new QAction(u"&Sort By Current Column"_s, this);
    SortColumn1->setObjectName(u"SortColumn1"_s);
    SortColumn1->setShortcut(QKeySequence(Qt::Key_F3));
    SortColumn1->setToolTip(u"Sort by the current cell's column as a click on its title does; "
                            "again reverses the order (F3)"_s);
    connect(SortColumn1, &QAction::triggered, this, &TfrmMain::sortByCurrentColumn);
    addAction(SortColumn1);

    pumView = new QMenu(this);
    pumView->setObjectName(u"pumView"_s);
    pumView->addAction(LactationCurves1);
    pumView->addAction(HerdSummary1);
    pumView->addSeparator();
    pumView->addAction(Problems1);
    pumView->addAction(SortColumn1);
    pumView->addAction(LactationCheck1);
    connect(pumView, &QMenu::aboutToShow, this, &TfrmMain::updateViewActions);
    connect(btnView, &QPushButton::clicked, this,
            [this] { pumView->popup(btnView->mapToGlobal(QPoint(0, btnView->height()))); });

    pumGrid = new QMenu(this);
    pumGrid->setObjectName(u"pumGrid"_s);
    pumGrid->addAction(LactationCurves1);
    pumGrid->addAction(HerdSummary1);
    pumGrid->addSeparator();
    pumGrid->addAction(SortColumn1);
    dbg->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dbg, &QWidget::customContextMenuRequested, this, &TfrmMain::dbgContextMenu);
    updateViewActions();
}

void TfrmMain::updateViewActions()
{
    const bool rows = dm && qData && qData->isActive() && qData->rowCount() > 0;
    const QString table = currentTable();
    LactationCurves1->setEnabled(rows && namesCow(table));
    HerdSummary1->setEnabled(rows && qData->columnIndex(u"HerdCode"_s) >= 0);
    LactationCheck1->setEnabled(dm && dm->isOpen());
    Problems1->setEnabled(frmProblems && frmProblems->hasProblems());
}

void TfrmMain::dbgContextMenu(const QPoint &position)
{
    QPoint at = position;
    if (QGuiApplication::mouseButtons() & Qt::RightButton) {
        // The row clicked becomes the current row, as a left click would make it.
        const QModelIndex index = dbg->indexAt(position);
        if (index.isValid())
            dbg->setCurrentIndex(index);
    } else if (dbg->currentIndex().isValid()) {
        // From the keyboard: the menu opens on the current cell.
        at = dbg->visualRect(dbg->currentIndex()).center();
    }
    updateViewActions();
    pumGrid->popup(dbg->viewport()->mapToGlobal(at));
}

void TfrmMain::LactationCurves1Click()
{
    updateViewActions();
    if (!LactationCurves1->isEnabled())
        return;
    runCommand([this] {
        const bm::CowIdentity cow{currentRecordText(u"NationalID"_s), currentRecordText(u"CowID"_s),
                                  currentRecordText(u"HerdCode"_s)};
        const bm::LactationCurves curves = bm::lactationCurves(*dm, cow);
        if (!m_frmLactationCurves)
            m_frmLactationCurves = new TfrmLactationCurves(*m_prompter, dataFolder(), this);
        m_frmLactationCurves->showCurves(curves);
        m_frmLactationCurves->show();
        m_frmLactationCurves->raise();
        m_frmLactationCurves->activateWindow();
    });
}

void TfrmMain::Problems1Click()
{
    if (frmProblems && frmProblems->hasProblems())
        frmProblems->reopen();
}

void TfrmMain::HerdSummary1Click()
{
    updateViewActions();
    if (!HerdSummary1->isEnabled())
        return;
    runCommand([this] {
        const QString herd = currentRecordText(u"HerdCode"_s);
        const QList<bm::HerdTestDay> days = bm::herdSummary(*dm, herd);
        if (!m_frmHerdSummary)
            m_frmHerdSummary = new TfrmHerdSummary(*m_prompter, dataFolder(), this);
        m_frmHerdSummary->showSummary(herd, days);
        m_frmHerdSummary->show();
        m_frmHerdSummary->raise();
        m_frmHerdSummary->activateWindow();
    });
}

void TfrmMain::LactationCheck1Click()
{
    updateViewActions();
    if (!LactationCheck1->isEnabled())
        return;
    runCommand([this] {
        if (!m_frmLactationCheck)
            m_frmLactationCheck = new TfrmLactationCheck(*dm, progress(), *m_prompter, this);
        m_frmLactationCheck->runCheck();
        m_frmLactationCheck->show();
        m_frmLactationCheck->raise();
        m_frmLactationCheck->activateWindow();
    });
}

} // namespace bm::gui
