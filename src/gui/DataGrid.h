#pragma once

#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

namespace bm {
class GridModel;
}

namespace bm::gui {

class DataGrid;

// The grid's editors: a text the model refuses is kept, so the grid can give it back to the
// user for correction.
class GridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit GridDelegate(DataGrid *grid);
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

private:
    DataGrid *m_grid;
};

// The main window's grid: in-place editing, Insert adds a row, Ctrl+Delete asks to delete the
// current row, Escape outside an editor drops the row's unwritten changes. A record indicator
// column at the left marks the current row (an arrow), a row with unwritten changes (a bar) and
// a new row (an asterisk). A range of cells is selected with Shift and a click or the arrow
// keys; Ctrl+C copies it as tab-separated text, as the grid shows it. Moving far into a large
// table, where the grid first has to read the order of every row, shows the wait cursor.
class DataGrid : public QTableView
{
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);
    // dsData: the data source that links the browse query qData to the grid.
    void setDataSource(bm::GridModel *qData);
    bm::GridModel *dataSource() const { return dsData; }
    // Writes the text of an open editor into the model and closes the editor.
    void finishEditing();
    // Opens the editor again on the cell whose typed text the model refused last, holding that
    // text, so it can be corrected. Nothing when no refused text is waiting.
    void restoreRefusedEdit();
    // The selected range (or the current cell) as the clipboard gets it: rows on lines, cells
    // separated by tabs, each as the grid shows it.
    QString selectionText() const;
    void copySelection() const;
    // A hint shown in the middle of the grid while it lists no rows; empty for none.
    void setEmptyText(const QString &text);
    const QString &emptyText() const { return m_emptyText; }

Q_SIGNALS:
    void insertRequested();
    void deleteRequested();
    void revertRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    friend class GridDelegate;
    // Reads the order of every row before a move to `row` needs it, under the wait cursor.
    void prepareRow(int row);

    bm::GridModel *dsData = nullptr;
    QPersistentModelIndex m_refusedIndex;
    QString m_refusedText;
    mutable QPointer<QWidget> m_editor; // the editor opened last
    QString m_emptyText;
};

// The record indicator column.
class IndicatorHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit IndicatorHeader(DataGrid *grid);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    DataGrid *m_grid;
};

} // namespace bm::gui
