#include "TfrmLactationCheck.h"

#include "Artwork.h"
#include "Command.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "Tdm.h"
#include "TfrmLactationCurves.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

// A column title as the window shows it: on two lines where it is long, so the figures' columns
// stay narrow ("Computed" / "Milk305", "MilkDiff" / "Percent").
QString shownTitle(int column)
{
    QString title = bm::checkHeaders().at(column);
    if (title.startsWith(u"Computed"_s))
        return title.insert(8, u'\n');
    if (title.endsWith(u"Percent"_s))
        return title.insert(title.size() - 7, u'\n');
    if (title == u"Protein305Kg"_s)
        return title.insert(7, u'\n');
    return title;
}

QString countText(qsizetype n, const char *one, const char *many)
{
    return QLocale().toString(qint64(n)) + u' ' + QString::fromLatin1(n == 1 ? one : many);
}

// A figure as the window shows it: one decimal, the locale's separator and grouping.
QString figure(const std::optional<double> &value, const QString &unit)
{
    return value ? QLocale().toString(*value, 'f', 1) + unit : u"-"_s;
}

} // namespace

// The rows listed: all, or the flagged ones; sorted by a column title's click, numbers as
// numbers and empty cells first, dates as dates, text without regard to case.
class CheckFilter final : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setFlaggedOnly(bool flaggedOnly)
    {
        m_flaggedOnly = flaggedOnly;
        invalidateFilter();
    }
    void toleranceChanged() { invalidate(); }

protected:
    const LactationCheckModel &checks() const
    {
        return *static_cast<const LactationCheckModel *>(sourceModel());
    }
    bool filterAcceptsRow(int row, const QModelIndex &) const override
    {
        return !m_flaggedOnly || checks().row(row).isFlagged(checks().tolerance());
    }
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override
    {
        const bm::LactationCheckRow &a = checks().row(left.row());
        const bm::LactationCheckRow &b = checks().row(right.row());
        const int column = left.column();
        if (bm::isNumberColumn(column)) {
            const std::optional<double> x = bm::checkNumber(a, column);
            const std::optional<double> y = bm::checkNumber(b, column);
            return y && (!x || *x < *y);
        }
        if (column == int(bm::CheckColumn::CalvingDate))
            return a.calvingDate < b.calvingDate;
        const double tolerance = checks().tolerance();
        return QString::localeAwareCompare(bm::checkCell(a, column, tolerance, true).toCaseFolded(),
                                           bm::checkCell(b, column, tolerance, true).toCaseFolded())
               < 0;
    }

private:
    bool m_flaggedOnly = false;
};

// ---------------------------------------------------------------------------------------------

void LactationCheckModel::setRows(std::vector<bm::LactationCheckRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void LactationCheckModel::setTolerance(double tolerance)
{
    m_tolerance = tolerance;
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int LactationCheckModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LactationCheckModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : bm::kCheckColumns;
}

QVariant LactationCheckModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const bm::LactationCheckRow &r = row(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return bm::checkCell(r, index.column(), m_tolerance, true);
    case Qt::TextAlignmentRole:
        return bm::isNumberColumn(index.column()) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                  : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        return r.isFlagged(m_tolerance) ? QVariant(QColor(0xff, 0xdd, 0xdd)) : QVariant();
    default:
        return QVariant();
    }
}

QVariant LactationCheckModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < bm::kCheckColumns)
        return shownTitle(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

// ---------------------------------------------------------------------------------------------

TfrmLactationCheck::TfrmLactationCheck(bm::Tdm &dm, bm::ProgressSink &progress,
                                       bm::Prompter &prompter, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
{
    setObjectName(u"frmLactationCheck"_s);
    setWindowTitle(u"Lactation Check"_s);
    setWindowIcon(artwork::windowIcon());
    resize(1100, 520);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(u"lblTitle"_s);
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);

    edtTolerance = new QDoubleSpinBox(this);
    edtTolerance->setObjectName(u"edtTolerance"_s);
    edtTolerance->setRange(0, 1000);
    edtTolerance->setDecimals(1);
    edtTolerance->setSingleStep(1);
    edtTolerance->setSuffix(u" %"_s);
    edtTolerance->setValue(bm::kDefaultTolerance);
    edtTolerance->setToolTip(u"A lactation is flagged where its computed 305-day milk, fat or "
                             "protein differs from the stated one by more than this"_s);
    connect(edtTolerance, &QDoubleSpinBox::valueChanged, this,
            &TfrmLactationCheck::edtToleranceChange);
    ckbFlagged = new QCheckBox(u"&Flagged Only"_s, this);
    ckbFlagged->setObjectName(u"ckbFlagged"_s);
    ckbFlagged->setToolTip(u"List only the lactations flagged under the tolerance"_s);
    connect(ckbFlagged, &QCheckBox::toggled, this, &TfrmLactationCheck::ckbFlaggedClick);

    btnCopy = new QPushButton(u"&Copy"_s, this);
    btnCopy->setObjectName(u"btnCopy"_s);
    btnCopy->setToolTip(u"Copy the selected rows, or every row listed, with the titles "
                        "(Ctrl+C)"_s);
    connect(btnCopy, &QPushButton::clicked, this, &TfrmLactationCheck::btnCopyClick);
    btnSave = new QPushButton(u"&Save As CSV"_s, this);
    btnSave->setObjectName(u"btnSave"_s);
    btnSave->setToolTip(u"Write the rows listed to a CSV file"_s);
    connect(btnSave, &QPushButton::clicked, this, &TfrmLactationCheck::btnSaveClick);
    btnClose = new QPushButton(u"Close"_s, this);
    btnClose->setObjectName(u"btnClose"_s);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);

    m_model = new LactationCheckModel(this);
    m_listed = new CheckFilter(this);
    m_listed->setSourceModel(m_model);

    tblCheck = new QTableView(this);
    tblCheck->setObjectName(u"tblCheck"_s);
    tblCheck->setModel(m_listed);
    tblCheck->setSortingEnabled(true);
    tblCheck->sortByColumn(-1, Qt::AscendingOrder); // in the order of table 103 until a click
    tblCheck->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblCheck->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblCheck->setWordWrap(false);
    tblCheck->setToolTip(u"Double-click a row to see the lactation's curve"_s);
    tblCheck->verticalHeader()->setDefaultSectionSize(tblCheck->fontMetrics().height() + 6);
    tblCheck->verticalHeader()->hide();
    tblCheck->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < bm::kCheckColumns; ++c) {
        int widest = 0;
        for (const QString &line : shownTitle(c).split(u'\n'))
            widest = std::max(widest, tblCheck->fontMetrics().horizontalAdvance(line));
        tblCheck->setColumnWidth(c, std::max(56, widest + 20));
    }
    tblCheck->setColumnWidth(int(bm::CheckColumn::NationalID),
                             tblCheck->fontMetrics().horizontalAdvance(u"HOLAUSF000041234567"_s)
                                     + 16);
    connect(tblCheck, &QTableView::doubleClicked, this, &TfrmLactationCheck::tblCheckDblClick);

    auto *copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &TfrmLactationCheck::btnCopyClick);
    addAction(copy);

    auto *bar = new QHBoxLayout;
    auto *lblTolerance = new QLabel(u"&Tolerance :"_s, this);
    lblTolerance->setBuddy(edtTolerance);
    bar->addWidget(lblTolerance);
    bar->addWidget(edtTolerance);
    bar->addSpacing(12);
    bar->addWidget(ckbFlagged);
    bar->addStretch(1);
    bar->addWidget(btnCopy);
    bar->addWidget(btnSave);
    bar->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle);
    layout->addLayout(bar);
    layout->addWidget(tblCheck, 1);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        resize(std::min(width(), room.width()), std::min(height(), room.height()));
        move(room.center() - rect().center());
    }
}

void TfrmLactationCheck::runCheck()
{
    std::vector<bm::LactationCheckRow> rows;
    bm::runLactationCheck(m_dm, &m_progress,
                          [&rows](const bm::LactationCheckRow &row) { rows.push_back(row); });
    m_model->setRows(std::move(rows));
    tblCheck->sortByColumn(-1, Qt::AscendingOrder);
    updateTitle();
}

void TfrmLactationCheck::edtToleranceChange()
{
    m_model->setTolerance(edtTolerance->value());
    m_listed->toleranceChanged();
    updateTitle();
}

void TfrmLactationCheck::ckbFlaggedClick()
{
    m_listed->setFlaggedOnly(ckbFlagged->isChecked());
    updateTitle();
}

void TfrmLactationCheck::updateTitle()
{
    int flagged = 0;
    int inProgress = 0;
    int without = 0;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const bm::LactationCheckRow &row = m_model->row(r);
        flagged += row.isFlagged(m_model->tolerance()) ? 1 : 0;
        inProgress += row.outcome == bm::YieldOutcome::InProgress && row.hasYield() ? 1 : 0;
        without += row.hasYield() ? 0 : 1;
    }
    QString text = u"%1: %2 flagged over %3 %, %4 in progress, %5"_s.arg(
            countText(m_model->rowCount(), "lactation", "lactations"), QLocale().toString(flagged),
            QLocale().toString(m_model->tolerance(), 'f', 1), QLocale().toString(inProgress),
            countText(without, "without a yield", "without a yield"));
    const int listed = m_listed->rowCount();
    if (listed != m_model->rowCount())
        text += u"; %1 listed"_s.arg(QLocale().toString(listed));
    lblTitle->setText(text);
}

std::vector<int> TfrmLactationCheck::listedRows() const
{
    std::vector<int> rows;
    rows.reserve(size_t(m_listed->rowCount()));
    for (int r = 0; r < m_listed->rowCount(); ++r)
        rows.push_back(m_listed->mapToSource(m_listed->index(r, 0)).row());
    return rows;
}

QString TfrmLactationCheck::copyText() const
{
    std::vector<int> rows;
    for (const QModelIndex &index : tblCheck->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.empty())
        for (int r = 0; r < m_listed->rowCount(); ++r)
            rows.push_back(r);
    QStringList lines{bm::checkHeaders().join(u'\t')};
    QStringList cells;
    for (const int r : rows) {
        const bm::LactationCheckRow &row
                = m_model->row(m_listed->mapToSource(m_listed->index(r, 0)).row());
        cells.clear();
        for (int c = 0; c < bm::kCheckColumns; ++c)
            cells << bm::checkCell(row, c, m_model->tolerance(), true);
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

void TfrmLactationCheck::btnCopyClick()
{
    QApplication::clipboard()->setText(copyText());
}

void TfrmLactationCheck::btnSaveClick()
{
    runCommand(nullptr, m_prompter, [this] {
        const QString offered = m_savedName.isEmpty() ? u"Lactation check.csv"_s : m_savedName;
        const std::optional<QString> chosen
                = m_prompter.saveFile(u"CSV Files (*.csv)"_s, u"csv"_s, offered);
        if (!chosen)
            return;
        if (QFileInfo::exists(*chosen)
            && !m_prompter.askYesNo(u"\"%1\" already exists.\r\rDo you wish to replace it."_s.arg(
                    QFileInfo(*chosen).fileName())))
            return;
        std::vector<const bm::LactationCheckRow *> rows;
        for (const int r : listedRows())
            rows.push_back(&m_model->row(r));
        bm::writeLactationCheck(rows, m_model->tolerance(), *chosen);
        m_savedName = *chosen;
    });
}

void TfrmLactationCheck::tblCheckDblClick(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const bm::LactationCheckRow &row = m_model->row(m_listed->mapToSource(index).row());
    runCommand(nullptr, m_prompter, [&] {
        const bm::LactationCurves curves = bm::lactationTestDays(m_dm, row);
        if (!m_frmCurve)
            m_frmCurve = new TfrmLactationCurves(m_prompter, m_dm.home(), this);
        m_frmCurve->showCurves(curves);
        // The computed yield written on the chart, beside the stated one.
        QString yield;
        if (!row.hasYield()) {
            yield = u"No computed yield: "_s + row.why;
        } else {
            yield = u"%1: %2 milk, %3 fat, %4 protein from %5"_s.arg(
                    row.outcome == bm::YieldOutcome::InProgress
                            ? u"Computed yield to the last test (in progress)"_s
                            : u"Computed 305-day yield"_s,
                    figure(row.computedMilk, u" L"_s), figure(row.computedFat, u" kg"_s),
                    figure(row.computedProtein, u" kg"_s), countText(row.tests, "test", "tests"));
            yield += u"<br>Stated: %1 milk, %2 fat, %3 protein (%4)"_s.arg(
                    figure(row.statedMilk, u" L"_s), figure(row.statedFat, u" kg"_s),
                    figure(row.statedProtein, u" kg"_s), row.status(m_model->tolerance()));
        }
        m_frmCurve->chart()->setTitle(yield);
        m_frmCurve->show();
        m_frmCurve->raise();
        m_frmCurve->activateWindow();
    });
}

} // namespace bm::gui
