#include "TfrmMain.h"

#include "Artwork.h"
#include "CellText.h"
#include "ChangeSummary.h"
#include "Command.h"
#include "Compaction.h"
#include "DataGrid.h"
#include "DateBox.h"
#include "Error.h"
#include "FileCheck.h"
#include "FolderLock.h"
#include "GridModel.h"
#include "Importer.h"
#include "Layout.h"
#include "Leftovers.h"
#include "LiveWindows.h"
#include "Loader.h"
#include "Look.h"
#include "Maintenance.h"
#include "NumberText.h"
#include "ProblemList.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "TabStrip.h"
#include "Tdm.h"
#include "TfrmAbout.h"
#include "TfrmFileCheck.h"
#include "TfrmProblems.h"
#include "TfrmProgress.h"
#include "TfrmSaveFiles.h"
#include "Undo.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

#include <optional>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

// Turns typed letters into capitals as they are typed.
class UpperCaseValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

// A file-check run as the desktop shows it: the run's findings come up in the file-check window
// under a line that names the run and its time, and pending window events run between the
// script's lines.
class FindingsWindow final : public bm::CheckOutput
{
public:
    FindingsWindow(TfrmFileCheck &window, const bool &stop)
        : m_window(window)
        , m_stop(stop)
    {}
    void start()
    {
        // The runs before stay above, a blank line apart.
        const QString started = QLocale().toString(QDateTime::currentDateTime(), u"d MMM yyyy"_s)
                                + u' ' + QLocale().toString(QTime::currentTime(), u"HH:mm:ss"_s);
        if (!m_window.mOutput->document()->isEmpty())
            m_window.mOutput->appendPlainText(QString());
        m_window.mOutput->appendPlainText(u"File Check of %1"_s.arg(started));
        bringUp();
    }
    void findings(const QStringList &lines) override
    {
        ++m_found;
        bringUp();
        m_window.mOutput->appendPlainText(lines.join(u'\n'));
    }
    // What a fix changed, and what the user should know of the run: no findings of a check.
    void fixDone(const QString &line) override { append(line); }
    void notice(const QString &text) override { append(text); }
    bool lineDone() override
    {
        QApplication::processEvents();
        return !m_stop;
    }
    // The end of the run: what it found, or the error that stopped it.
    void finish(const std::optional<QString> &error)
    {
        if (error)
            m_window.mOutput->appendPlainText(u"The run stopped: "_s + *error);
        else if (m_found == 0)
            m_window.mOutput->appendPlainText(u"No check found any rows."_s);
    }
    int found() const { return m_found; }

private:
    void append(const QString &text)
    {
        bringUp();
        m_window.mOutput->appendPlainText(text);
    }
    void bringUp()
    {
        m_window.show();
        m_window.raise();
        m_window.activateWindow();
    }

    TfrmFileCheck &m_window;
    const bool &m_stop;
    int m_found = 0;
};

} // namespace

TfrmMain::TfrmMain(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Corvelle Automation Systems"_s);
    setWindowIcon(artwork::windowIcon());
    setFont(tahoma(8));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kFormColour);
    setPalette(pal);
    // The size and place when not maximised: the design size, centred on the screen, or smaller
    // where the screen is, leaving room for the window's frame.
    resize(1000, 611);
    // Narrower than this the filter bar could not show its controls even on two rows.
    setMinimumSize(480, 360);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        resize(size().boundedTo(area.size() - QSize(16, 48)));
        move(area.center() - rect().center());
    }

    buildTopBar();
    buildMenu();

    tc = new TabStrip(this);
    tc->setObjectName(u"tc"_s);
    tc->setTabSize(QSize(85, 20));
    // Each tab is captioned with its record type's code; its tooltip names the type too.
    for (const bm::RecordType &type : bm::recordTypes())
        tc->setTabToolTip(tc->addTab(type.code),
                          type.code + u' ' + bm::displayDescription(type.description));
    connect(tc, &TabStrip::currentChanged, this, &TfrmMain::tcChange);

    dbg = new DataGrid(this);
    dbg->setObjectName(u"dbg"_s);
    dbg->setFont(tahoma(8));
    buildViewMenu();
    layoutTopBar();

    // The status line: the table and its count in the first panel, what the last command did
    // in the second.
    auto statusPanel = [this](QLabel *label) {
        label->setFixedHeight(32);
        label->setFont(tahoma(12));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setContentsMargins(6, 0, 6, 0);
    };
    pnlBottom = new QLabel(u"Table Name"_s, this);
    pnlBottom->setObjectName(u"pnlBottom"_s);
    statusPanel(pnlBottom);
    lblMessage = new QLabel(this);
    lblMessage->setObjectName(u"lblMessage"_s);
    statusPanel(lblMessage);
    lblMessage->installEventFilter(this);
    lblMessage->setMinimumWidth(0);
    lblMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto *bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->setSpacing(2);
    bottom->addWidget(pnlBottom);
    bottom->addWidget(lblMessage, 1);

    auto *page = new QVBoxLayout;
    page->setContentsMargins(4, 4, 4, 4);
    page->setSpacing(0);
    page->addWidget(tc);
    page->addWidget(dbg, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlTop);
    layout->addLayout(page, 1);
    layout->addLayout(bottom);

    // Keyboard order of the filter bar, its buttons last, then the grid (where Tab moves from
    // cell to cell).
    setTabOrder(cmbFilter, cmbOperator);
    setTabOrder(cmbOperator, edtStart);
    setTabOrder(edtStart, edtEnd);
    setTabOrder(edtEnd, deStart);
    setTabOrder(deStart, deEnd);
    setTabOrder(deEnd, btnApply);
    setTabOrder(btnApply, btnClear);
    setTabOrder(btnClear, dbg);

    // Ctrl+Tab and F6 (with Shift too) move between the filter bar and the grid.
    for (const QKeySequence &key :
         {QKeySequence(Qt::CTRL | Qt::Key_Tab),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::Key_F6),
          QKeySequence(Qt::SHIFT | Qt::Key_F6)}) {
        auto *area = new QShortcut(key, this);
        connect(area, &QShortcut::activated, this, &TfrmMain::switchFocusArea);
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && pnlTop->isAncestorOf(now))
            m_filterFocus = now;
    });

    auto *nextTab = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), this);
    connect(nextTab, &QShortcut::activated, this,
            [this] { tc->setCurrentIndex((tc->currentIndex() + 1) % tc->count()); });
    auto *previousTab = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), this);
    connect(previousTab, &QShortcut::activated, this,
            [this] { tc->setCurrentIndex((tc->currentIndex() + tc->count() - 1) % tc->count()); });
    auto *quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QWidget::close);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::buildTopBar()
{
    pnlTop = new QWidget(this);
    pnlTop->setObjectName(u"pnlTop"_s);
    pnlTop->setFixedHeight(73);
    pnlTop->setAutoFillBackground(true);
    QPalette pal = pnlTop->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pnlTop->setPalette(pal);

    imgLogo = new QLabel(pnlTop);
    imgLogo->setPixmap(artwork::logo());
    imgLogo->setGeometry(4, 4, 64, 64);

    lblTitle = new QLabel(u"Corvelle Brindlemark"_s, pnlTop);
    lblTitle->setObjectName(u"lblTitle"_s);
    lblTitle->setFont(tahoma(18, true));
    QPalette black = lblTitle->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    lblTitle->setPalette(black);

    imgBanner = new QLabel(pnlTop);
    imgBanner->setObjectName(u"imgBanner"_s);
    imgBanner->setPixmap(artwork::banner());
    imgBanner->resize(131, 61);

    // "&File": Alt+F opens the File menu.
    btnActions = new QPushButton(u"&File"_s, pnlTop);
    btnActions->setObjectName(u"btnActions"_s);
    btnActions->setFocusPolicy(Qt::NoFocus);
    btnActions->setToolTip(u"The commands: load, save, filter, clean up, check (Alt+F)"_s);

    // "&Edit": Alt+E opens the Edit menu with the undo of the last bulk command.
    btnEdit = new QPushButton(u"&Edit"_s, pnlTop);
    btnEdit->setObjectName(u"btnEdit"_s);
    btnEdit->setFocusPolicy(Qt::NoFocus);
    btnEdit->setToolTip(u"Undo the last load, clean-up, trim, herd-code change, merge or file "
                        "check (Alt+E)"_s);

    // "Fil&ter :": Alt+T goes to the field list.
    lblFilter = new QLabel(u"Fil&ter :"_s, pnlTop);

    cmbFilter = new QComboBox(pnlTop);
    cmbFilter->setObjectName(u"cmbFilter"_s);
    cmbFilter->setMaxVisibleItems(25);
    cmbFilter->setToolTip(u"The column to filter on (Alt+T; Ctrl+Tab or F6 goes to the grid and "
                          "back)"_s);
    lblFilter->setBuddy(cmbFilter);
    connect(cmbFilter, &QComboBox::activated, this, &TfrmMain::cmbFilterChange);

    cmbOperator = new QComboBox(pnlTop);
    cmbOperator->setObjectName(u"cmbOperator"_s);
    cmbOperator->setMaxVisibleItems(10);
    cmbOperator->addItems(bm::operatorCaptions());
    cmbOperator->setCurrentIndex(-1);
    cmbOperator->setToolTip(u"How the column is compared with the value"_s);
    connect(cmbOperator, &QComboBox::activated, this, &TfrmMain::cmbOperatorChange);

    const QString valueTip = u"The value to compare with; Enter applies the filter"_s;
    const QString dateTip
            = u"The date to compare with, typed like %1 or picked from the "
              "calendar (Alt+Down); Up and Down step a day; Enter applies the filter"_s;
    edtStart = new QLineEdit(pnlTop);
    edtStart->setObjectName(u"edtStart"_s);
    edtStart->setValidator(new UpperCaseValidator(edtStart));
    edtStart->setToolTip(valueTip);
    deStart = new DateBox(pnlTop);
    deStart->setObjectName(u"deStart"_s);
    deStart->hide();

    lblAnd = new QLabel(u"and"_s, pnlTop);
    lblAnd->setObjectName(u"lblAnd"_s);

    edtEnd = new QLineEdit(pnlTop);
    edtEnd->setObjectName(u"edtEnd"_s);
    edtEnd->setValidator(new UpperCaseValidator(edtEnd));
    edtEnd->setToolTip(u"The end value of \"Is Between\"; Enter applies the filter"_s);
    deEnd = new DateBox(pnlTop);
    deEnd->setObjectName(u"deEnd"_s);
    deEnd->hide();
    for (DateBox *box : {deStart, deEnd}) {
        box->lineEdit()->setToolTip(
                dateTip.arg(QLocale().toString(QDate(2010, 11, 19), bm::shortDateFormat())));
        connect(box, &DateBox::returnPressed, this, &TfrmMain::btnApplyClick);
    }
    connect(edtStart, &QLineEdit::returnPressed, this, &TfrmMain::btnApplyClick);
    connect(edtEnd, &QLineEdit::returnPressed, this, &TfrmMain::btnApplyClick);

    // The buttons take the focus in their turn, and Enter or Space on them clicks them.
    btnApply = new QPushButton(u"&Apply"_s, pnlTop);
    btnApply->setObjectName(u"btnApply"_s);
    btnApply->setFocusPolicy(Qt::StrongFocus);
    btnApply->setAutoDefault(true);
    btnApply->setToolTip(u"Show the rows that meet the filter (Alt+A, or Enter in a value box)"_s);
    connect(btnApply, &QPushButton::clicked, this, &TfrmMain::btnApplyClick);

    btnClear = new QPushButton(u"&Clear"_s, pnlTop);
    btnClear->setObjectName(u"btnClear"_s);
    btnClear->setFocusPolicy(Qt::StrongFocus);
    btnClear->setAutoDefault(true);
    btnClear->setToolTip(u"Remove the filter and show every row, ordered by RecordType (Alt+C, "
                         "or Escape in the filter bar)"_s);
    connect(btnClear, &QPushButton::clicked, this, &TfrmMain::btnClearClick);

    // Disabled inputs take the window colour.
    pnlTop->setStyleSheet(u"QLineEdit:disabled { background: #FFFFE6; }"_s);
}

void TfrmMain::layoutTopBar()
{
    // The designed bar, left to right from x 78 on its lower row: File, Edit, View, "Filter :",
    // field, operator, start, "and", end, Apply, Clear, each after a fixed gap; the artwork at the
    // right.
    const int width = this->width(); // the bar spans the window
    const int banner = imgBanner->width() + 8;
    struct Item
    {
        QWidget *widget;
        int gap;     // before the item
        int natural; // designed width
        int least;   // narrowest usable width
        int height;
    };
    QWidget *start = m_dateMode ? static_cast<QWidget *>(deStart) : edtStart;
    QWidget *end = m_dateMode ? static_cast<QWidget *>(deEnd) : edtEnd;
    const Item first[] = {{btnActions, 0, 42, 40, 25},  {btnEdit, 2, 40, 36, 25},
                          {btnView, 2, 40, 36, 25},     {lblFilter, 4, 38, 38, 21},
                          {cmbFilter, 0, 122, 104, 21}, {cmbOperator, 6, 134, 130, 21}};
    const Item second[] = {{start, 6, 100, 86, 21},
                           {lblAnd, 7, 22, 22, 21},
                           {end, 2, 100, 86, 21},
                           {btnApply, 7, 50, 46, 25},
                           {btnClear, 3, 50, 46, 25}};
    auto span = [](const auto &items, bool least) {
        int sum = 0;
        for (const Item &item : items)
            sum += item.gap + (least ? item.least : item.natural);
        return sum;
    };
    const int left = 78;
    const int natural = span(first, false) + span(second, false);
    const int least = span(first, true) + span(second, true);
    const int room = width - left - 4;

    // One row when the bar fits (at its designed widths beside the artwork, or shrunk down to its
    // narrowest widths without it); two rows otherwise.
    const bool twoRows = least > room;
    const bool showBanner = !twoRows && natural + banner <= room;
    const int available = showBanner ? room - banner : room;
    auto place = [&](const auto &items, int x, int y, int spare, int shrinkable) {
        for (const Item &item : items) {
            int w = item.natural;
            if (spare < 0 && shrinkable > 0)
                // Rounded up, so the items together give up at least the pixels missing.
                w -= ((item.natural - item.least) * -spare + shrinkable - 1) / shrinkable;
            w = std::max(w, item.least);
            x += item.gap;
            item.widget->setGeometry(x, y + (25 - item.height) / 2, w, item.height);
            x += w;
        }
        return x;
    };
    auto shrinkable = [](const auto &items) {
        int sum = 0;
        for (const Item &item : items)
            sum += item.natural - item.least;
        return sum;
    };
    if (!twoRows) {
        const int spare = std::min(0, available - natural);
        const int total = shrinkable(first) + shrinkable(second);
        const int x = place(first, left, 42, spare, total);
        place(second, x, 42, spare, total);
        pnlTop->setFixedHeight(73);
    } else {
        place(first, left, 42, std::min(0, room - span(first, false)), shrinkable(first));
        // The values under the field where they fit there, else under the File button.
        const int under = lblFilter->geometry().right() + 1 - 6;
        const int x = under + span(second, true) <= width - 4 ? under : left - 6;
        place(second, x, 71, std::min(0, width - 4 - x - span(second, false)), shrinkable(second));
        pnlTop->setFixedHeight(101);
    }
    // The date inputs stand where the text inputs stand.
    edtStart->setGeometry(start->geometry());
    deStart->setGeometry(start->geometry());
    edtEnd->setGeometry(end->geometry());
    deEnd->setGeometry(end->geometry());
    lblTitle->setGeometry(left, 2, std::max(0, (showBanner ? width - banner : width) - left), 36);
    imgBanner->move(width - imgBanner->width() - 4, 6);
    imgBanner->setVisible(showBanner);
}

void TfrmMain::buildMenu()
{
    pumActions = new QMenu(this);
    pumActions->setObjectName(u"pumActions"_s);
    auto item = [](QMenu *menu, const QString &caption, const QString &name) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(name);
        action->setEnabled(false); // enabled once its command is connected
        return action;
    };
    // Every item has its letter: with the menu open, the underlined letter runs it.
    LoadFiles1 = item(pumActions, u"&Load Files"_s, u"LoadFiles1"_s);
    LoadFiles1->setEnabled(true);
    connect(LoadFiles1, &QAction::triggered, this, &TfrmMain::LoadFiles1Click);
    SaveFiles1 = item(pumActions, u"&Save Files"_s, u"SaveFiles1"_s);
    OpenDatabase1 = item(pumActions, u"Open &Database..."_s, u"OpenDatabase1"_s);
    connect(OpenDatabase1, &QAction::triggered, this, &TfrmMain::OpenDatabase1Click);
    pumActions->addSeparator();
    QMenu *filter = pumActions->addMenu(u"F&ilter"_s);
    filter->setObjectName(u"Filter1"_s);
    ApplyFilterToCurrentTable1
            = item(filter, u"&Apply Filter To Current Table"_s, u"ApplyFilterToCurrentTable1"_s);
    RemoveFilteredDataFromCurrrentTable1
            = item(filter, u"&Remove Displayed Data From Current Table"_s,
                   u"RemoveFilteredDataFromCurrrentTable1"_s);
    QMenu *cleanup = pumActions->addMenu(u"&Cleanup"_s);
    cleanup->setObjectName(u"Cleanup1"_s);
    RemoveDataForCowsNotIn1021
            = item(cleanup, u"Remove Data For Cows Not In 10&2"_s, u"RemoveDataForCowsNotIn1021"_s);
    RemoveCowsNotIn1031
            = item(cleanup, u"Remove Data For Cows Not In 10&3"_s, u"RemoveCowsNotIn1031"_s);
    pumActions->addSeparator();
    ChangeHerdcode1 = item(pumActions, u"Change &Herdcode"_s, u"ChangeHerdcode1"_s);
    MergeNationalIDs1 = item(pumActions, u"&Merge National ID's"_s, u"MergeNationalIDs1"_s);
    pumActions->addSeparator();
    Analyse1 = item(pumActions, u"File Chec&k"_s, u"Analyse1"_s);
    pumActions->addSeparator();
    About1 = item(pumActions, u"&About"_s, u"About1"_s);
    About1->setEnabled(true);
    connect(About1, &QAction::triggered, this, &TfrmMain::About1Click);

    // The desktop's keys for the commands, shown beside them in the menu and working while the
    // menu is closed.
    LoadFiles1->setShortcut(QKeySequence::Open);
    SaveFiles1->setShortcut(QKeySequence::Save);
    About1->setShortcut(QKeySequence::HelpContents);
    for (QAction *action : {LoadFiles1, SaveFiles1, About1})
        addAction(action);

    connect(btnActions, &QPushButton::clicked, this, [this] {
        pumActions->popup(btnActions->mapToGlobal(QPoint(0, btnActions->height())));
    });

    // The Edit menu: "Undo <command>" (or "Redo <command>" after an undo), disabled when there
    // is nothing to undo; Ctrl+Z works while the menu is closed.
    pumEdit = new QMenu(this);
    pumEdit->setObjectName(u"pumEdit"_s);
    Undo1 = item(pumEdit, u"&Undo"_s, u"Undo1"_s);
    Undo1->setShortcut(QKeySequence::Undo);
    addAction(Undo1);
    connect(Undo1, &QAction::triggered, this, &TfrmMain::Undo1Click);
    connect(pumEdit, &QMenu::aboutToShow, this, &TfrmMain::refreshUndo);
    connect(btnEdit, &QPushButton::clicked, this,
            [this] { pumEdit->popup(btnEdit->mapToGlobal(QPoint(0, btnEdit->height()))); });
}

void TfrmMain::attach(const Forms &forms)
{
    dm = forms.dm;
    frmProgress = forms.frmProgress;
    frmAbout = forms.frmAbout;
    frmSaveFiles = forms.frmSaveFiles;
    if (frmSaveFiles) {
        SaveFiles1->setEnabled(true);
        connect(SaveFiles1, &QAction::triggered, this, &TfrmMain::SaveFiles1Click);
    }
    const std::pair<QAction *, void (TfrmMain::*)()> maintenance[] = {
            {ApplyFilterToCurrentTable1, &TfrmMain::ApplyFilterToCurrentTable1Click},
            {RemoveFilteredDataFromCurrrentTable1,
             &TfrmMain::RemoveFilteredDataFromCurrrentTable1Click},
            {RemoveDataForCowsNotIn1021, &TfrmMain::RemoveDataForCowsNotIn1021Click},
            {RemoveCowsNotIn1031, &TfrmMain::RemoveCowsNotIn1031Click},
            {ChangeHerdcode1, &TfrmMain::ChangeHerdcode1Click},
            {MergeNationalIDs1, &TfrmMain::MergeNationalIDs1Click},
    };
    for (const auto &[action, handler] : maintenance) {
        action->setEnabled(true);
        connect(action, &QAction::triggered, this, handler);
    }
    frmProblems = forms.frmProblems;
    frmFileCheck = forms.frmFileCheck;
    if (frmFileCheck) {
        Analyse1->setEnabled(true);
        connect(Analyse1, &QAction::triggered, this, &TfrmMain::Analyse1Click);
    }
    m_prompter = forms.prompter;
    Q_ASSERT(dm && m_prompter);

    qData = new bm::GridModel(*dm, this);
    dbg->setDataSource(qData);
    connect(dbg->horizontalHeader(), &QHeaderView::sectionClicked, this, &TfrmMain::dbgTitleClick);
    connect(dbg, &DataGrid::insertRequested, this, &TfrmMain::dbgInsert);
    connect(dbg, &DataGrid::deleteRequested, this, &TfrmMain::dbgDelete);
    connect(dbg, &DataGrid::revertRequested, this, [this] { qData->revertRow(); });
    // Changes are written when the user leaves the row, once the grid has closed its editor.
    connect(
            dbg->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] {
                live::afterStatement([this] {
                    const int pending = qData->pendingRow();
                    if (pending >= 0 && dbg->currentIndex().row() != pending)
                        runCommand([this] { qData->submitRow(); });
                });
            },
            Qt::QueuedConnection);
    // Messages from inside the grid's editing come after the editor has closed.
    // The typed text goes back into the editor for correction once the message is read.
    connect(
            qData, &bm::GridModel::editRefused, this,
            [this](const QString &message) {
                live::afterStatement([this, message] {
                    m_prompter->showError(message);
                    dbg->restoreRefusedEdit();
                });
            },
            Qt::QueuedConnection);
    // The count follows the rows the grid lists: Insert adds one, Ctrl+Delete removes one.
    connect(qData, &QAbstractItemModel::rowsInserted, this, [this] {
        if (qData->isActive())
            showRecordsListed();
    });
    connect(qData, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (qData->isActive())
            showRecordsListed();
    });
    connect(dbg->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int width) { rememberWidth(section, width); });
    loadWidths();
    connect(
            qData, &bm::GridModel::reopenFailed, this,
            [this](const QString &message) {
                live::afterStatement([this, message] { m_prompter->showError(message); });
            },
            Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------------

QString TfrmMain::currentTable() const
{
    return tc->tabText(tc->currentIndex());
}

QStringList TfrmMain::tables() const
{
    QStringList list;
    for (int i = 0; i < tc->count(); ++i)
        list << tc->tabText(i);
    return list;
}

int TfrmMain::recordsListed() const
{
    return qData ? qData->rowCount() : 0;
}

bm::FilterState TfrmMain::filterState() const
{
    bm::FilterState s;
    s.table = currentTable();
    s.field = cmbFilter->currentIndex() >= 0 ? cmbFilter->currentText() : QString();
    s.op = cmbOperator->currentIndex();
    s.dateMode = m_dateMode;
    s.startText = edtStart->text();
    s.endText = edtEnd->text();
    s.startTextEnabled = edtStart->isEnabled();
    s.endTextEnabled = edtEnd->isEnabled();
    s.startDate = deStart->date();
    s.endDate = deEnd->date();
    s.startDateText = deStart->text();
    s.endDateText = deEnd->text();
    s.startDateEnabled = deStart->isEnabled();
    s.endDateEnabled = deEnd->isEnabled();
    s.sort = m_sort;
    return s;
}

int TfrmMain::GetFieldType(const QString &FieldName)
{
    return bm::GetFieldType(*dm, currentTable(), FieldName);
}

QString TfrmMain::CreateSQL(bool WhereOnly)
{
    return bm::CreateSQL(
            filterState(), WhereOnly, [this](const QString &field) { return GetFieldType(field); },
            dm->connection().caseless());
}

// ---------------------------------------------------------------------------------------------

bool TfrmMain::runCommand(const std::function<void()> &command)
{
    return bm::gui::runCommand(frmProgress, *m_prompter, command);
}

void TfrmMain::postEdits()
{
    dbg->finishEditing();
    qData->submitRow();
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmMain::FormShow()
{
    // The window holds the lock of the program folder while it is open. When another copy of
    // the program has it, the message says so and the window closes without touching the data:
    // the program ends, and the user starts it again once the other copy is done.
    const bool locked = runCommand([this] {
        m_lock = std::make_unique<bm::FolderLock>(dm->home());
        bm::removeLeftovers(dm->home(), m_lock->previousHolderDied());
    });
    if (!locked) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    if (m_settings)
        dm->setServer(m_settings->value(u"Database/Server"_s).toString());
    runCommand([this] {
        connectHerdDatabase();
        // Long statements on the connection keep the windows painted.
        live::attach(dm->connection(), qData, dbg);
        ChangeFile();
    });
    OpenDatabase1->setEnabled(true);
    showDatabase();
    refreshUndo();
}

void TfrmMain::tcChange(int)
{
    runCommand([this] { ChangeFile(); });
}

void TfrmMain::ChangeFile()
{
    const QString table = currentTable();
    if (cmbFilter->currentIndex() >= 0 && !dm->FieldExists(table, cmbFilter->currentText()))
        ClearFilter();
    if (!m_sort.column.isEmpty() && !dm->FieldExists(table, m_sort.column))
        m_sort.column.clear();
    SetSQL();
    FillCombo();
}

void TfrmMain::SetSQL()
{
    postEdits();
    const bm::FilterQuery query = bm::buildFilterQuery(
            filterState(), [this](const QString &field) { return GetFieldType(field); },
            dm->connection().caseless());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        qData->setQuery(query);
    } catch (...) {
        showSortIndicator();
        throw;
    }
    sizeColumns();
    showSortIndicator();
    FormatGrid(query.table);
    showRecordsListed();
    QApplication::restoreOverrideCursor();
}

bm::FilterQuery TfrmMain::appliedQuery() const
{
    if (qData->isActive() && qData->query().table == currentTable())
        return qData->query();
    // Nothing of this table is listed (its last re-query failed): the table without a filter.
    bm::FilterState plain;
    plain.table = currentTable();
    plain.sort = m_sort;
    if (!plain.sort.column.isEmpty() && !dm->FieldExists(plain.table, plain.sort.column))
        plain.sort.column.clear();
    return bm::buildFilterQuery(
            plain, [](const QString &) { return int(bm::ftUnknown); }, dm->connection().caseless());
}

void TfrmMain::showDataAfter(const QString &command)
{
    if (!dm || !qData || !m_lock)
        return;
    // An edit made meanwhile (the file check lets the grid be used) is written first.
    runCommand([this] { postEdits(); });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString failure;
    bm::FilterQuery query;
    try {
        query = appliedQuery();
        qData->setQuery(query);
        sizeColumns();
        showSortIndicator();
        FormatGrid(query.table);
        showRecordsListed();
    } catch (const bm::Error &e) {
        failure = e.message();
    }
    QApplication::restoreOverrideCursor();
    if (failure.isEmpty())
        return;
    // The count of the rows listed before the command would be wrong now.
    showSortIndicator();
    pnlBottom->setText(u"%1  :  not listed"_s.arg(tableDescription(currentTable())));
    m_prompter->showError(u"%1 has finished, but the grid cannot list table %2: %3"_s.arg(
            command, currentTable(), failure));
}

QString TfrmMain::tableDescription(const QString &table)
{
    const int index = bm::recordTypeIndex(table);
    return index < 0 ? table : bm::displayDescription(bm::recordTypes().at(index).description);
}

void TfrmMain::showRecordsListed()
{
    pnlBottom->setText(u"%1  :  %2  Records Listed"_s.arg(tableDescription(qData->query().table),
                                                          bm::countText(qData->rowCount())));
    // An empty herd database says in the grid how to fill it.
    bool empty = false;
    if (qData->rowCount() == 0 && dm && dm->isOpen()) {
        try {
            empty = !dm->holdsRecords();
        } catch (const bm::Error &) {
            // The next command says what is wrong with the database.
        }
    }
    dbg->setEmptyText(empty ? u"The herd database is empty.\nUse File > Load Files (Ctrl+O) to "
                              "load a data set."_s
                            : QString());
}

void TfrmMain::showMessage(const QString &text)
{
    m_message = text;
    lblMessage->setToolTip(text);
    lblMessage->setText(lblMessage->fontMetrics().elidedText(
            text, Qt::ElideMiddle, std::max(0, lblMessage->contentsRect().width())));
}

QString TfrmMain::message() const
{
    return m_message;
}

void TfrmMain::FillCombo()
{
    const QString kept = cmbFilter->currentIndex() >= 0 ? cmbFilter->currentText() : QString();
    cmbFilter->clear();
    cmbFilter->addItems(qData->columnNames());
    const int position = kept.isEmpty() ? -1 : cmbFilter->findText(kept, Qt::MatchFixedString);
    cmbFilter->setCurrentIndex(position);
    m_fieldPos = position;
}

void TfrmMain::FormatGrid(const QString &TableName)
{
    for (const bm::DisplayFormat &format : bm::displayFormats(TableName)) {
        const int column = qData->columnIndex(format.column);
        if (column < 0)
            throw bm::Error(u"Field '%1' not found"_s.arg(format.column));
        qData->setDecimals(column, format.decimals);
    }
}

void TfrmMain::ClearFilter()
{
    cmbFilter->setCurrentIndex(-1);
    cmbOperator->setCurrentIndex(-1);
    m_fieldPos = -1;
    edtStart->clear();
    edtEnd->clear();
    deStart->clear();
    deEnd->clear();
    setDateMode(false);
    setPairsEnabled(true, true);
    m_sort.column = u"RecordType"_s;
}

void TfrmMain::setDateMode(bool dateMode)
{
    m_dateMode = dateMode;
    edtStart->setVisible(!dateMode);
    edtEnd->setVisible(!dateMode);
    deStart->setVisible(dateMode);
    deEnd->setVisible(dateMode);
}

void TfrmMain::setPairsEnabled(bool start, bool end)
{
    edtStart->setEnabled(start);
    deStart->setEnabled(start);
    edtEnd->setEnabled(end);
    deEnd->setEnabled(end);
    lblAnd->setEnabled(end);
}

QDate TfrmMain::dateInGrid(const QString &field) const
{
    const int column = qData->columnIndex(field);
    if (column < 0 || qData->rowCount() == 0)
        return QDate();
    const QModelIndex current = dbg->currentIndex();
    for (const int row : {current.isValid() ? current.row() : 0, 0}) {
        const QDate d
                = bm::celltext::parseDate(qData->index(row, column).data(Qt::EditRole).toString());
        if (d.isValid())
            return d;
    }
    return QDate();
}

void TfrmMain::focusNextAfter(QWidget *widget)
{
    const QList<QWidget *> order = {cmbFilter, cmbOperator, edtStart, edtEnd, deStart, deEnd, dbg};
    for (qsizetype i = order.indexOf(widget) + 1; i > 0 && i < order.size(); ++i) {
        QWidget *next = order.at(i);
        if (next->isEnabled() && !next->isHidden()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void TfrmMain::switchFocusArea()
{
    QWidget *focus = QApplication::focusWidget();
    const bool inBar = focus && pnlTop->isAncestorOf(focus);
    if (!inBar) {
        // The grid writes an open editor's text when it loses the focus.
        QWidget *back = m_filterFocus;
        if (!back || !back->isVisible() || !back->isEnabled())
            back = cmbFilter;
        back->setFocus(Qt::ShortcutFocusReason);
        return;
    }
    dbg->setFocus(Qt::ShortcutFocusReason);
    if (!dbg->currentIndex().isValid() && qData->rowCount() > 0)
        dbg->setCurrentIndex(qData->index(0, 0));
}

void TfrmMain::sortByCurrentColumn()
{
    const QModelIndex current = dbg->currentIndex();
    const int column = current.isValid() ? current.column() : -1;
    if (column < 0 || column >= qData->columnCount())
        return;
    dbgTitleClick(column);
    // The cell stays current in its column, on the first row of the new order.
    if (qData->rowCount() > 0) {
        dbg->setCurrentIndex(qData->index(0, column));
        dbg->scrollTo(dbg->currentIndex());
    }
}

void TfrmMain::showSortIndicator()
{
    QHeaderView *header = dbg->horizontalHeader();
    const int column = qData->columnIndex(m_sort.column);
    if (column < 0 || m_sort.column.isEmpty() || m_sort.direction == bm::SortDirection::None) {
        header->setSortIndicatorShown(false);
        return;
    }
    header->setSortIndicator(column, m_sort.direction == bm::SortDirection::Ascending
                                             ? Qt::AscendingOrder
                                             : Qt::DescendingOrder);
    header->setSortIndicatorShown(true);
}

void TfrmMain::sizeColumns()
{
    // Widths from titles and the rows in view, the same whichever column is sorted; the sort
    // column gets room for its arrow. A width the user set for a column of this table wins.
    const QScopedValueRollback<bool> sizing(m_sizing, true);
    dbg->horizontalHeader()->setSortIndicatorShown(false);
    dbg->resizeColumnsToContents();
    const int sorted
            = m_sort.direction == bm::SortDirection::None ? -1 : qData->columnIndex(m_sort.column);
    const QHash<QString, int> set = m_widths.value(qData->query().table);
    for (int c = 0; c < qData->columnCount(); ++c) {
        const int width = dbg->columnWidth(c) + (c == sorted ? 14 : 0);
        dbg->setColumnWidth(c, set.value(qData->columnNames().at(c), std::min(width, 240)));
    }
}

namespace {

QString widthsFile(const QString &home)
{
    return home + u"Brindlemark.ini"_s;
}

} // namespace

void TfrmMain::rememberWidth(int section, int width)
{
    const QString table = qData->query().table;
    if (m_sizing || table.isEmpty() || section < 0 || section >= qData->columnCount())
        return;
    const QString column = qData->columnNames().at(section);
    m_widths[table][column] = width;
    // Written to the file a moment later, and when the program ends.
    m_settings->setValue(u"ColumnWidths/%1/%2"_s.arg(table, column), width);
}

QString TfrmMain::dataFolder() const
{
    if (!m_dataFolder.isEmpty() && QFileInfo(m_dataFolder).isDir())
        return m_dataFolder + u'/';
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return (QFileInfo(documents).isDir() ? documents : QDir::homePath()) + u'/';
}

void TfrmMain::usedDataFile(const QString &file)
{
    m_dataFolder = QFileInfo(file).absolutePath();
    if (m_settings)
        m_settings->setValue(u"Files/DataFolder"_s, m_dataFolder);
}

void TfrmMain::loadWidths()
{
    m_settings = std::make_unique<QSettings>(widthsFile(dm->home()), QSettings::IniFormat);
    m_dataFolder = m_settings->value(u"Files/DataFolder"_s).toString();
    m_dataSet = m_settings->value(u"Files/DataSet"_s).toString();
    m_settings->beginGroup(u"ColumnWidths"_s);
    for (const QString &table : m_settings->childGroups()) {
        m_settings->beginGroup(table);
        for (const QString &column : m_settings->childKeys()) {
            bool ok = false;
            const int width = m_settings->value(column).toInt(&ok);
            if (ok && width > 0 && width < 4000)
                m_widths[table][column] = width;
        }
        m_settings->endGroup();
    }
    m_settings->endGroup();
}

// ---------------------------------------------------------------------------------------------

void TfrmMain::cmbFilterChange(int index)
{
    runCommand([this, index] {
        if (index == m_fieldPos)
            return;
        const int code = GetFieldType(cmbFilter->itemText(index));
        setDateMode(code == bm::ftDateTime);
        if (code == bm::ftDateTime) {
            // An empty date input opens its calendar on a date of the table.
            const QDate shown = dateInGrid(cmbFilter->itemText(index));
            deStart->setCalendarStart(shown);
            deEnd->setCalendarStart(shown);
        }
        m_fieldPos = index;
        focusNextAfter(cmbFilter);
    });
}

void TfrmMain::cmbOperatorChange(int index)
{
    const bool start = index != bm::opEmpty && index != bm::opNotEmpty;
    setPairsEnabled(start, index == bm::opBetween);
    focusNextAfter(cmbOperator);
}

void TfrmMain::btnApplyClick()
{
    deStart->tidy();
    deEnd->tidy();
    runCommand([this] {
        const QString problem = bm::checkFilter(filterState());
        if (!problem.isEmpty()) {
            m_prompter->notify(problem);
            return;
        }
        SetSQL();
    });
}

void TfrmMain::btnClearClick()
{
    runCommand([this] {
        ClearFilter();
        SetSQL();
    });
}

void TfrmMain::dbgTitleClick(int section)
{
    runCommand([this, section] {
        bm::titleClick(m_sort, qData->headerData(section, Qt::Horizontal).toString());
        SetSQL();
    });
}

void TfrmMain::dbgInsert()
{
    runCommand([this] {
        dbg->finishEditing();
        const QModelIndex current = dbg->currentIndex();
        const int row = current.isValid() ? current.row() : 0;
        qData->insertRowAt(row);
        const QModelIndex cell = qData->index(row, current.isValid() ? current.column() : 0);
        dbg->setCurrentIndex(cell);
        dbg->scrollTo(cell);
    });
}

void TfrmMain::dbgDelete()
{
    runCommand([this] {
        dbg->finishEditing();
        const QModelIndex current = dbg->currentIndex();
        if (!current.isValid())
            return;
        if (!m_prompter->confirm(u"Delete record?"_s))
            return;
        qData->deleteRow(current.row());
    });
}

bm::ProgressSink &TfrmMain::progress()
{
    static bm::NullProgress none;
    return frmProgress ? static_cast<bm::ProgressSink &>(*frmProgress) : none;
}

void TfrmMain::LoadFiles1Click()
{
    bm::ProblemList problems;
    QString chosenName;
    bool loaded = false;
    runCommand([&] {
        const std::optional<QString> chosen = m_prompter->openFile(
                bm::loadFileFilter(), odFileName.isEmpty() ? dataFolder() : odFileName);
        if (!chosen)
            return;
        odFileName = *chosen;
        usedDataFile(*chosen);
        chosenName = QFileInfo(*chosen).fileName();
        showMessage(QString());
        // An edit still open in the grid belongs to the data being replaced: write it first,
        // so it can never land on a row of the new data.
        postEdits();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bm::Loader loader(*dm, progress(), *m_prompter);
        loader.setProblems(&problems);
        if (!loader.load(*chosen)) {
            chosenName.clear(); // no data set of the archive was chosen: nothing changed
            return;
        }
        loaded = true;
        // Save Files offers the name of the data set loaded.
        const QFileInfo set(*chosen);
        m_dataSet = set.dir().filePath(set.completeBaseName());
        m_settings->setValue(u"Files/DataSet"_s, m_dataSet);
        if (frmSaveFiles)
            frmSaveFiles->offerFile(m_dataSet);
        showMessage(loader.summary(*chosen));
    });
    if (loaded)
        showDataAfter(u"Load Files"_s);
    refreshUndo();
    // Also after a load that ended with an error: what it found may tell why.
    if (!chosenName.isEmpty())
        showProblems(u"Load Files \"%1\""_s.arg(chosenName), problems);
}

void TfrmMain::showProblems(const QString &caption, bm::ProblemList &problems)
{
    if (!frmProblems)
        return;
    frmProblems->setFolder(dataFolder());
    if (problems.isEmpty())
        frmProblems->clearProblems(); // the list of an earlier command would mislead
    else
        frmProblems->showProblems(caption, std::move(problems));
}

QString TfrmMain::UnZipFile(const QString &FName)
{
    return bm::Loader(*dm, progress(), *m_prompter).UnZipFile(FName);
}

QString TfrmMain::SplitDIF(const QString &FName)
{
    return bm::Loader(*dm, progress(), *m_prompter).SplitDIF(FName);
}

void TfrmMain::DeleteFileSpec(const QString &FSpec)
{
    bm::DeleteFileSpec(FSpec);
}

void TfrmMain::SaveFiles1Click()
{
    // Edits still open in the grid are written first, so the files hold what the grid shows.
    if (!frmSaveFiles || !runCommand([this] { postEdits(); }))
        return;
    frmSaveFiles->clearEntries();
    const QStringList captions = tables();
    const QList<bm::RecordType> &types = bm::recordTypes();
    for (qsizetype i = 0; i < captions.size() && i < types.size(); ++i)
        frmSaveFiles->addEntry(captions.at(i) + u" - "_s
                               + bm::displayDescription(types.at(i).description));
    if (frmSaveFiles->lastFile().isEmpty())
        frmSaveFiles->offerFile(m_dataSet.isEmpty() ? dataFolder() : m_dataSet);
    frmSaveFiles->exec();
    if (!frmSaveFiles->lastSummary().isEmpty()) {
        showMessage(frmSaveFiles->lastSummary());
        usedDataFile(frmSaveFiles->lastFile());
    }
}

void TfrmMain::Analyse1Click()
{
    // Window events run between the script's lines: the command cannot be started again
    // meanwhile, and a close of the main window waits for the run to end.
    if (!frmFileCheck || m_checkRunning)
        return;
    m_checkRunning = true;
    Analyse1->setEnabled(false);
    refreshUndo();
    FindingsWindow output(*frmFileCheck, m_closeAfterCheck);
    qint64 changesBefore = -1;
    const bool finished = runCommand([&] {
        // The checks see the data as the grid shows it: an open grid edit is written first.
        postEdits();
        changesBefore = dm->connection().totalChanges();
        output.start();
        try {
            bm::runFileCheck(*dm, output, &progress());
        } catch (const bm::Error &e) {
            output.finish(e.message());
            throw;
        }
        output.finish(std::nullopt);
    });
    m_checkRunning = false;
    Analyse1->setEnabled(true);
    refreshUndo();
    if (m_closeAfterCheck) {
        close();
        return;
    }
    if (changesBefore < 0)
        return; // the run did not start
    const QString caption = Analyse1->iconText();
    if (!finished)
        showMessage(caption + u": stopped by an error (see the File Check window)"_s);
    else
        showMessage(output.found() == 0
                            ? caption + u": no check found any rows"_s
                            : u"%1: %2 %3 found rows"_s.arg(caption)
                                      .arg(output.found())
                                      .arg(output.found() == 1 ? u"check"_s : u"checks"_s));
    // The fixes of the script may have changed rows the grid shows, also those of a run that
    // stopped with an error.
    if (dm->isOpen() && dm->connection().totalChanges() != changesBefore)
        showDataAfter(caption);
}

void TfrmMain::runMaintenance(const QAction *item, bool removes,
                              const std::function<void(bm::Maintenance &)> &command)
{
    runCommand([&] {
        // The command sees the data as the grid shows it: an open grid edit is written first.
        postEdits();
        bm::Maintenance maintenance(*dm, progress(), *m_prompter);
        // Once the command has committed, and before its closing notice, the grid shows the
        // table as it now is, under the filter last applied and the same sort, and the line
        // beside the status line says what the command did.
        maintenance.setCommitted([&] {
            // The menu's caption without its key letter, and the file a merge read.
            QString caption = item->iconText();
            if (!maintenance.mergeFile().isEmpty())
                caption += u" \"%1\""_s.arg(QFileInfo(maintenance.mergeFile()).fileName());
            showMessage(changesSummary(caption, maintenance.changes(), removes));
            if (changedRows(maintenance.changes()) > 0)
                showDataAfter(caption);
        });
        command(maintenance);
    });
    refreshUndo();
}

void TfrmMain::refreshUndo()
{
    std::optional<bm::UndoInfo> info;
    // The kept states belong to Tembra.db: a server database keeps none.
    if (dm && m_lock && !dm->onServer())
        info = bm::undoInfo(dm->home());
    // Not while a file-check run lets other events through: it keeps its own state to undo.
    Undo1->setEnabled(info.has_value() && !m_checkRunning);
    // "&Undo Load Files" or "&Redo Load Files": U or R runs it from the open menu.
    Undo1->setText(u"&"_s + (info ? info->menuText() : u"Undo"_s));
}

void TfrmMain::Undo1Click()
{
    refreshUndo();
    if (!Undo1->isEnabled())
        return;
    QString command;          // set once the data is put back
    bool reconnected = false; // the herd database could not be opened before the undo
    runCommand([&] {
        // An open grid edit is written first: it is a change the undo must know of.
        postEdits();
        const bm::UndoCheck check = bm::checkUndo(dm->home());
        if (!check.info)
            return;
        if (!check.refusal.isEmpty())
            throw bm::Error(check.refusal);
        if (!m_prompter->askYesNoDefaultNo(bm::undoQuestion(check)))
            return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // A herd database the program could not open is replaced on a connection of its own.
        const bool open = dm->isOpen();
        const bm::UndoResult result = open ? bm::undoLastCommand(*dm, progress())
                                           : bm::undoLastCommand(dm->home(), progress());
        const bm::UndoInfo &undone = result.undone;
        command = undone.menuText();
        showMessage((undone.redo ? u"Redone: "_s : u"Undone: "_s) + undone.caption);
        if (!result.warning.isEmpty())
            m_prompter->notify(result.warning);
        if (!open) {
            dm->ConnectDB(&progress());
            live::attach(dm->connection(), qData, dbg);
            reconnected = true;
        }
    });
    if (!command.isEmpty())
        showDataAfter(command);
    // The filter's field list was never filled while the database could not be opened.
    if (reconnected && qData->isActive())
        FillCombo();
    refreshUndo();
}

void TfrmMain::RemoveDataForCowsNotIn1021Click()
{
    runMaintenance(RemoveDataForCowsNotIn1021, true,
                   [](bm::Maintenance &m) { m.RemoveDataForCowsNotIn102(); });
}

void TfrmMain::RemoveCowsNotIn1031Click()
{
    runMaintenance(RemoveCowsNotIn1031, true, [](bm::Maintenance &m) { m.RemoveCowsNotIn103(); });
}

void TfrmMain::FileClean(const QString &MasterTable, const QString &ClientTable)
{
    runMaintenance(MasterTable == u"103"_s ? RemoveCowsNotIn1031 : RemoveDataForCowsNotIn1021, true,
                   [&](bm::Maintenance &m) { m.FileClean(MasterTable, ClientTable); });
}

void TfrmMain::ApplyFilterToCurrentTable1Click()
{
    runMaintenance(ApplyFilterToCurrentTable1, true, [this](bm::Maintenance &m) {
        const bm::FilterQuery shown = shownFilter();
        m.ApplyFilterToCurrentTable(shown.table, shown.where);
    });
}

void TfrmMain::RemoveFilteredDataFromCurrrentTable1Click()
{
    runMaintenance(RemoveFilteredDataFromCurrrentTable1, true, [this](bm::Maintenance &m) {
        const bm::FilterQuery shown = shownFilter();
        m.RemoveDisplayedData(shown.table, shown.where);
    });
}

bm::FilterQuery TfrmMain::shownFilter() const
{
    bm::FilterQuery shown = qData->query();
    if (shown.table.isEmpty())
        shown.table = currentTable(); // nothing shown yet: the table without a filter
    return shown;
}

QString TfrmMain::currentRecordText(const QString &column) const
{
    const int c = qData->columnIndex(column);
    if (c < 0 || qData->rowCount() == 0)
        return QString();
    const QModelIndex current = dbg->currentIndex();
    return qData->index(current.isValid() ? current.row() : 0, c).data(Qt::EditRole).toString();
}

void TfrmMain::ChangeHerdcode1Click()
{
    runMaintenance(ChangeHerdcode1, false, [this](bm::Maintenance &m) {
        m.ChangeHerdcode(currentRecordText(u"Herdcode"_s));
    });
}

void TfrmMain::MergeNationalIDs1Click()
{
    bm::ProblemList problems;
    bool read = false; // the merge file was there to read
    runMaintenance(MergeNationalIDs1, false, [&](bm::Maintenance &m) {
        m.setProblems(&problems);
        // The dialog keeps the name it was given, the ".102" file, however the merge ends.
        struct KeepName
        {
            bm::Maintenance &m;
            QString &name;
            bool &read;
            TfrmMain &window;
            ~KeepName()
            {
                if (!m.mergeFile().isEmpty())
                    name = m.mergeFile();
                read = QFileInfo(m.mergeFile()).isFile();
                if (read)
                    window.usedDataFile(m.mergeFile());
            }
        } keep{m, odFileName, read, *this};
        m.MergeNationalIDs(odFileName.isEmpty() ? dataFolder() : odFileName);
    });
    if (read)
        showProblems(u"Merge National ID's \"%1\""_s.arg(QFileInfo(odFileName).fileName()),
                     problems);
}

void TfrmMain::About1Click()
{
    if (!frmAbout)
        return;
    frmAbout->setWindowModality(Qt::ApplicationModal);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        frmAbout->move(screen->availableGeometry().center() - frmAbout->rect().center());
    frmAbout->show();
    frmAbout->raise();
    frmAbout->activateWindow();
}

// ---------------------------------------------------------------------------------------------

void TfrmMain::closeEvent(QCloseEvent *event)
{
    if (live::commandRunning() && !m_checkRunning) {
        // Asked while a command works (its windows are painted meanwhile): the window closes
        // once the command has ended.
        event->ignore();
        QTimer::singleShot(100, this, &QWidget::close);
        return;
    }
    if (m_checkRunning) {
        // The connection stays open until the file check has finished its line.
        m_closeAfterCheck = true;
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TfrmMain::FormClose()
{
    if (m_closed || !dm)
        return;
    m_closed = true;
    if (!m_lock)
        return; // the data was never opened: another copy of the program has it
    runCommand([this] { postEdits(); });
    if (m_settings)
        m_settings->sync();
    qData->close();
    if (dm->isOpen())
        live::detach(&dm->connection());
    dm->close();
    // The window goes at once; the progress window shows the compaction until it is done.
    hide();
    // The server keeps its own files; only Tembra.db is compacted.
    if (!dm->onServer())
        PackDB(u"Tembra"_s, u"Backup"_s);
    m_lock.reset(); // held through the compaction
}

qint64 TfrmMain::GetRecordCount(const QString &strSQL)
{
    return dm->GetRecordCount(strSQL);
}

QString TfrmMain::USADate(const QDate &s)
{
    return bm::USADate(s);
}

QString TfrmMain::SQLDate(const QDate &s)
{
    return bm::SQLDate(s);
}

QString TfrmMain::GetDIFVersion(const QString &FName)
{
    return bm::GetDIFVersion(FName);
}

void TfrmMain::ImportFile(const QString &FileName, const QString &TableName, const QString &DefName)
{
    bm::Importer(*dm, progress(), *m_prompter).ImportFile(FileName, TableName, DefName);
}

bool TfrmMain::PackDB(const QString &SourceName, const QString &DestName)
{
    bool packed = false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    runCommand(
            [&] { packed = bm::compactDatabase(dm->home(), SourceName, DestName, &progress()); });
    return packed;
}

void TfrmMain::keyPressEvent(QKeyEvent *event)
{
    // Escape in the filter bar clears the filter, as Clear does. The bar's controls leave
    // Escape to their window; an open list or calendar takes it first and only closes.
    QWidget *focus = QApplication::focusWidget();
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && focus
        && pnlTop->isAncestorOf(focus)) {
        btnClearClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfrmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutTopBar();
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    // The message keeps to its panel, shortened in the middle where the window is narrow.
    if (watched == lblMessage && event->type() == QEvent::Resize)
        showMessage(m_message);
    return QWidget::eventFilter(watched, event);
}

} // namespace bm::gui
