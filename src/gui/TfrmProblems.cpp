#include "TfrmProblems.h"

#include "Artwork.h"
#include "Command.h"
#include "Error.h"
#include "Prompter.h"
#include "ScreenFit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <set>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

constexpr int kColumns = 6;
constexpr int kFileColumn = 0;
constexpr int kLineColumn = 1;
constexpr int kFieldColumn = 3;
constexpr int kSortRole = Qt::UserRole;

// The rows of one file and one field (either may be any), sorted by a column title's click.
class ProblemFilter final : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setFilter(const QString &file, const QString &field)
    {
        m_file = file;
        m_field = field;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &) const override
    {
        const auto *model = static_cast<const ProblemModel *>(sourceModel());
        const Problem &p = model->problems().at(row);
        return (m_file.isNull() || p.file == m_file) && (m_field.isNull() || p.field == m_field);
    }

private:
    QString m_file;  // null: every file
    QString m_field; // null: every field
};

QString countText(qsizetype n, const char *one, const char *many)
{
    return QLocale().toString(qint64(n)) + u' ' + QString::fromLatin1(n == 1 ? one : many);
}

} // namespace

// ---------------------------------------------------------------------------------------------

void ProblemModel::setProblems(ProblemList problems)
{
    beginResetModel();
    m_problems = std::move(problems);
    endResetModel();
}

int ProblemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_problems.size());
}

int ProblemModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant ProblemModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_problems.size())
        return QVariant();
    const Problem &p = m_problems.at(index.row());
    if (role == kSortRole && index.column() == kLineColumn)
        return QVariant(p.line);
    if (role == Qt::DisplayRole || role == kSortRole || role == Qt::ToolTipRole)
        return ProblemList::cell(p, index.column());
    if (role == Qt::TextAlignmentRole && index.column() == kLineColumn)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QVariant ProblemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < kColumns)
        return ProblemList::headers().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

// ---------------------------------------------------------------------------------------------

TfrmProblems::TfrmProblems(Prompter &prompter, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_prompter(prompter)
{
    setObjectName(u"frmProblems"_s);
    setWindowTitle(u"Problems"_s);
    setWindowIcon(artwork::windowIcon());
    resize(900, 480);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(u"lblTitle"_s);
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);

    cmbFile = new QComboBox(this);
    cmbFile->setObjectName(u"cmbFile"_s);
    cmbFile->setToolTip(u"List the problems of one file"_s);
    cmbField = new QComboBox(this);
    cmbField->setObjectName(u"cmbField"_s);
    cmbField->setToolTip(u"List the problems of one field"_s);
    for (QComboBox *box : {cmbFile, cmbField}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        connect(box, &QComboBox::currentIndexChanged, this, &TfrmProblems::cmbFilterChange);
    }

    btnCopy = new QPushButton(u"&Copy"_s, this);
    btnCopy->setObjectName(u"btnCopy"_s);
    btnCopy->setToolTip(u"Copy the selected rows, or every row listed, with the titles "
                        "(Ctrl+C)"_s);
    connect(btnCopy, &QPushButton::clicked, this, &TfrmProblems::btnCopyClick);
    btnSave = new QPushButton(u"&Save As CSV"_s, this);
    btnSave->setObjectName(u"btnSave"_s);
    btnSave->setToolTip(u"Write the rows listed to a CSV file"_s);
    connect(btnSave, &QPushButton::clicked, this, &TfrmProblems::btnSaveClick);
    btnClose = new QPushButton(u"Close"_s, this);
    btnClose->setObjectName(u"btnClose"_s);
    btnClose->setToolTip(u"Close the list; View, Problems shows it again (Escape)"_s);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    m_model = new ProblemModel(this);
    m_listed = new ProblemFilter(this);
    m_listed->setSourceModel(m_model);
    m_listed->setSortRole(kSortRole);
    m_listed->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_listed->setSortLocaleAware(true);

    tblProblems = new QTableView(this);
    tblProblems->setObjectName(u"tblProblems"_s);
    tblProblems->setModel(m_listed);
    tblProblems->setSortingEnabled(true);
    tblProblems->sortByColumn(-1, Qt::AscendingOrder); // in the order found until a title click
    tblProblems->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblProblems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblProblems->setWordWrap(false);
    tblProblems->verticalHeader()->setDefaultSectionSize(tblProblems->fontMetrics().height() + 6);
    tblProblems->verticalHeader()->hide();
    tblProblems->horizontalHeader()->setStretchLastSection(true);
    const int widths[kColumns] = {140, 60, 90, 110, 220, 260};
    for (int c = 0; c < kColumns; ++c)
        tblProblems->setColumnWidth(c, widths[c]);

    auto *copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &TfrmProblems::btnCopyClick);
    addAction(copy);

    auto *bar = new QHBoxLayout;
    auto *lblFile = new QLabel(u"&File :"_s, this);
    lblFile->setBuddy(cmbFile);
    auto *lblField = new QLabel(u"F&ield :"_s, this);
    lblField->setBuddy(cmbField);
    bar->addWidget(lblFile);
    bar->addWidget(cmbFile);
    bar->addSpacing(12);
    bar->addWidget(lblField);
    bar->addWidget(cmbField);
    bar->addStretch(1);
    bar->addWidget(btnCopy);
    bar->addWidget(btnSave);
    bar->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle);
    layout->addLayout(bar);
    layout->addWidget(tblProblems, 1);

    // It opens over the main window and within the screen; as a window of the main window, the
    // window system keeps it above the main window while it is open.
    keepOnScreen(this, parent);
}

bool TfrmProblems::hasProblems() const
{
    return !m_model->problems().isEmpty();
}

void TfrmProblems::reopen()
{
    show();
    raise();
    activateWindow();
}

void TfrmProblems::clearProblems()
{
    hide();
    m_caption.clear();
    m_model->setProblems(ProblemList());
    for (QComboBox *box : {cmbFile, cmbField}) {
        const QSignalBlocker block(box);
        box->clear();
    }
    lblTitle->clear();
}

void TfrmProblems::showProblems(const QString &caption, ProblemList problems)
{
    m_caption = caption;
    std::set<QString> files;
    std::set<QString> fields;
    for (qsizetype i = 0; i < problems.size(); ++i) {
        const Problem p = problems.at(i);
        files.insert(p.file);
        fields.insert(p.field);
    }
    m_model->setProblems(std::move(problems));
    for (QComboBox *box : {cmbFile, cmbField}) {
        const QSignalBlocker block(box);
        box->clear();
    }
    cmbFile->addItem(u"All files"_s);
    for (const QString &file : files)
        cmbFile->addItem(file, file);
    cmbField->addItem(u"All fields"_s);
    for (const QString &field : fields)
        cmbField->addItem(field.isEmpty() ? u"(whole line)"_s : field, field);
    tblProblems->sortByColumn(-1, Qt::AscendingOrder);
    cmbFilterChange();
    reopen();
}

void TfrmProblems::cmbFilterChange()
{
    // "All" carries no data: a null text, which matches every row.
    const QString file
            = cmbFile->currentIndex() > 0 ? cmbFile->currentData().toString() : QString();
    QString field;
    if (cmbField->currentIndex() > 0) {
        field = cmbField->currentData().toString();
        if (field.isNull())
            field = u""_s; // the whole-line problems: an empty, not a null, field
    }
    static_cast<ProblemFilter *>(m_listed)->setFilter(file, field);
    updateTitle();
}

void TfrmProblems::updateTitle()
{
    const qsizetype all = m_model->problems().size();
    const int listed = m_listed->rowCount();
    QString text = u"%1: %2"_s.arg(m_caption, countText(all, "problem", "problems"));
    if (listed != all)
        text += u", %1 listed"_s.arg(QLocale().toString(listed));
    lblTitle->setText(text);
}

std::vector<qsizetype> TfrmProblems::listedRows() const
{
    std::vector<qsizetype> rows;
    rows.reserve(size_t(m_listed->rowCount()));
    for (int r = 0; r < m_listed->rowCount(); ++r)
        rows.push_back(m_listed->mapToSource(m_listed->index(r, 0)).row());
    return rows;
}

QString TfrmProblems::copyText() const
{
    std::vector<int> rows;
    for (const QModelIndex &index : tblProblems->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.empty())
        for (int r = 0; r < m_listed->rowCount(); ++r)
            rows.push_back(r);
    QStringList lines{ProblemList::headers().join(u'\t')};
    QStringList cells;
    for (const int r : rows) {
        const Problem &p
                = m_model->problems().at(m_listed->mapToSource(m_listed->index(r, 0)).row());
        cells.clear();
        for (int c = 0; c < kColumns; ++c)
            cells << ProblemList::cell(p, c);
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

void TfrmProblems::btnCopyClick()
{
    QApplication::clipboard()->setText(copyText());
}

void TfrmProblems::btnSaveClick()
{
    runCommand(nullptr, m_prompter, [this] {
        const QString offered = m_savedName.isEmpty() ? m_folder + u"Problems.csv"_s : m_savedName;
        const std::optional<QString> chosen
                = m_prompter.saveFile(u"CSV Files (*.csv)"_s, u"csv"_s, offered);
        if (!chosen)
            return;
        if (QFileInfo::exists(*chosen)
            && !m_prompter.askYesNo(u"\"%1\" already exists.\r\rDo you wish to replace it."_s.arg(
                    QFileInfo(*chosen).fileName())))
            return;
        m_model->problems().writeCsv(*chosen, listedRows());
        m_savedName = *chosen;
    });
}

} // namespace bm::gui
