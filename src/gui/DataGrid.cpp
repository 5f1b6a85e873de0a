#include "DataGrid.h"

#include "GridModel.h"
#include "Look.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

namespace bm::gui {

using namespace Qt::StringLiterals;

GridDelegate::GridDelegate(DataGrid *grid)
    : QStyledItemDelegate(grid)
    , m_grid(grid)
{}

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    m_grid->m_editor = editor;
    return editor;
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                const QModelIndex &index) const
{
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (!line) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    // The model refuses a text that does not suit the column; the text is kept for the user.
    if (!model->setData(index, line->text(), Qt::EditRole)) {
        m_grid->m_refusedIndex = index;
        m_grid->m_refusedText = line->text();
    }
}

// ---------------------------------------------------------------------------------------------

DataGrid::DataGrid(QWidget *parent)
    : QTableView(parent)
{
    setItemDelegate(new GridDelegate(this));
    setVerticalHeader(new IndicatorHeader(this));
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(12);
    verticalHeader()->setDefaultSectionSize(17);
    verticalHeader()->setFixedWidth(13);
    horizontalHeader()->setFixedHeight(17);
    horizontalHeader()->setMinimumSectionSize(24);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setResizeContentsPrecision(60);
    horizontalHeader()->setSortIndicatorShown(false);
    setSortingEnabled(false);
    setAlternatingRowColors(true);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, kAlternateRow);
    setPalette(pal);
    horizontalHeader()->setStyleSheet(
            u"QHeaderView::section { background-color: #DDFFDD; color: black; padding: 0 3px; "
            "border: none; border-right: 1px solid #A8BFA8; border-bottom: 1px solid #A8BFA8; }"
            "QHeaderView::section:pressed { background-color: #B8E6B8; }"_s);
}

void DataGrid::setDataSource(bm::GridModel *qData)
{
    dsData = qData;
    setModel(qData);
    auto repaintIndicator = [this] {
        verticalHeader()->viewport()->update();
    };
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, repaintIndicator);
    connect(qData, &bm::GridModel::pendingChanged, this, repaintIndicator);
    // The scroll bar, dragged or scrolled, may bring rows into view that need the order of
    // every row: read it first, under the wait cursor.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] {
        const int first = verticalScrollBar()->sliderPosition();
        const int page = std::max(1, viewport()->height() / std::max(1, rowHeight(0)));
        prepareRow(first);
        prepareRow(std::min(first + page, dsData->rowCount() - 1));
    });
}

void DataGrid::finishEditing()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    QWidget *editor = QApplication::focusWidget();
    if (!editor || !viewport()->isAncestorOf(editor)) {
        editor = nullptr;
        for (QWidget *child : viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisible())
                editor = child;
        }
    }
    while (editor && editor->parentWidget() != viewport())
        editor = editor->parentWidget();
    if (!editor)
        return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void DataGrid::restoreRefusedEdit()
{
    const QModelIndex index = m_refusedIndex;
    const QString text = m_refusedText;
    m_refusedIndex = QPersistentModelIndex();
    m_refusedText.clear();
    if (!index.isValid() || state() == QAbstractItemView::EditingState)
        return;
    setCurrentIndex(index);
    scrollTo(index);
    m_editor.clear();
    edit(index);
    if (auto *line = qobject_cast<QLineEdit *>(m_editor.data())) {
        line->setText(text);
        line->setFocus(Qt::OtherFocusReason);
    }
}

QString DataGrid::selectionText() const
{
    const QItemSelection selection
            = selectionModel() ? selectionModel()->selection() : QItemSelection();
    int top = -1, bottom = -1, left = -1, right = -1;
    for (const QItemSelectionRange &range : selection) {
        top = top < 0 ? range.top() : std::min(top, range.top());
        bottom = std::max(bottom, range.bottom());
        left = left < 0 ? range.left() : std::min(left, range.left());
        right = std::max(right, range.right());
    }
    if (top < 0 && currentIndex().isValid()) {
        top = bottom = currentIndex().row();
        left = right = currentIndex().column();
    }
    if (top < 0 || !model())
        return QString();
    QStringList lines;
    lines.reserve(bottom - top + 1);
    for (int r = top; r <= bottom; ++r) {
        QStringList cells;
        for (int c = left; c <= right; ++c) {
            QString text = model()->index(r, c).data(Qt::DisplayRole).toString();
            // A tab or a line break inside a cell would break the rows and columns apart.
            text.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' ');
            cells << text;
        }
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n');
}

void DataGrid::copySelection() const
{
    const bool large = selectionModel() && selectionModel()->selection().size() > 0 && [this] {
        qint64 cells = 0;
        for (const QItemSelectionRange &r : selectionModel()->selection())
            cells += qint64(r.width()) * r.height();
        return cells > 100000;
    }();
    if (large)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::clipboard()->setText(selectionText());
    if (large)
        QApplication::restoreOverrideCursor();
}

void DataGrid::setEmptyText(const QString &text)
{
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    viewport()->update();
}

void DataGrid::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    if (m_emptyText.isEmpty() || (model() && model()->rowCount() > 0))
        return;
    QPainter p(viewport());
    QFont font = p.font();
    font.setPointSizeF(font.pointSizeF() * 1.5);
    p.setFont(font);
    p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const QRect room = viewport()->rect().adjusted(24, 24, -24, -24);
    p.drawText(room, Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
}

void DataGrid::prepareRow(int row)
{
    if (!dsData || dsData->rowIsCheap(row))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Let the window system show the cursor before the work starts; no user input is handled.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    try {
        dsData->prepareRow(row);
    } catch (...) {
        // The cells then show empty; the next command says what is wrong with the table.
    }
    QApplication::restoreOverrideCursor();
}

void DataGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    // A move far into the table reads the order of its rows first, under the wait cursor.
    if (dsData && dsData->rowCount() > 0) {
        const int current = currentIndex().isValid() ? currentIndex().row() : 0;
        const int page = std::max(1, viewport()->height() / std::max(1, rowHeight(0)));
        const bool ctrl = event->modifiers() & Qt::ControlModifier;
        int target = -1;
        switch (event->key()) {
        case Qt::Key_End:
            target = ctrl ? dsData->rowCount() - 1 : -1;
            break;
        case Qt::Key_PageDown:
            target = std::min(dsData->rowCount() - 1, current + page);
            break;
        case Qt::Key_PageUp:
            target = std::max(0, current - page);
            break;
        case Qt::Key_Down:
        case Qt::Key_Up:
            target = std::clamp(current + (event->key() == Qt::Key_Down ? 1 : -1), 0,
                                dsData->rowCount() - 1);
            break;
        default:
            break;
        }
        if (target >= 0)
            prepareRow(target);
    }
    if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
        Q_EMIT insertRequested();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        Q_EMIT deleteRequested();
        return;
    }
    if (event->key() == Qt::Key_Escape && state() != QAbstractItemView::EditingState) {
        Q_EMIT revertRequested();
        return;
    }
    QTableView::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------

IndicatorHeader::IndicatorHeader(DataGrid *grid)
    : QHeaderView(Qt::Vertical, grid)
    , m_grid(grid)
{
    setSectionsClickable(false);
    setHighlightSections(false);
}

void IndicatorHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    painter->fillRect(rect, kTitleColour);
    painter->setPen(QColor(0xA8, 0xBF, 0xA8));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    const bm::GridModel *model = m_grid->dataSource();
    const bool pending = model && model->pendingRow() == logicalIndex;
    const bool current
            = m_grid->currentIndex().isValid() && m_grid->currentIndex().row() == logicalIndex;
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::black);
    painter->setBrush(Qt::black);
    const QPointF c = QRectF(rect).center();
    if (pending && model->pendingIsInsert()) {
        painter->drawText(rect, Qt::AlignCenter, u"*"_s);
    } else if (pending) {
        painter->drawLine(QPointF(c.x(), c.y() - 4), QPointF(c.x(), c.y() + 4));
        painter->drawLine(QPointF(c.x() - 2, c.y() - 4), QPointF(c.x() + 2, c.y() - 4));
        painter->drawLine(QPointF(c.x() - 2, c.y() + 4), QPointF(c.x() + 2, c.y() + 4));
    } else if (current) {
        QPainterPath arrow;
        arrow.moveTo(c.x() - 2, c.y() - 4);
        arrow.lineTo(c.x() + 3, c.y());
        arrow.lineTo(c.x() - 2, c.y() + 4);
        arrow.closeSubpath();
        painter->drawPath(arrow);
    }
    painter->restore();
}

} // namespace bm::gui
