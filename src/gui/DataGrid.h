#pragma once

#include <QHeaderView>
#include <QTableView>

namespace bm {
class GridModel;
}

namespace bm::gui {

// The main window's grid: in-place editing, Insert adds a row, Ctrl+Delete asks to delete the
// current row, Escape outside an editor drops the row's unwritten changes. A record indicator
// column at the left marks the current row (an arrow), a row with unwritten changes (a bar) and
// a new row (an asterisk).
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

Q_SIGNALS:
    void insertRequested();
    void deleteRequested();
    void revertRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bm::GridModel *dsData = nullptr;
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
