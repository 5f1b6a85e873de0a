#include "DataGrid.h"

#include "GridModel.h"
#include "Look.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace bm::gui {

using namespace Qt::StringLiterals;

DataGrid::DataGrid(QWidget *parent)
    : QTableView(parent)
{
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
    setSelectionMode(QAbstractItemView::SingleSelection);
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

void DataGrid::keyPressEvent(QKeyEvent *event)
{
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
