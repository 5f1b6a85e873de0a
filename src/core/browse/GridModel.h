#pragma once

#include "FilterQuery.h"
#include "Tdm.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

namespace bm {

// The browse query qData: the rows of the browse statement for the main window's grid. The row
// count comes from count(*); rows are read as the view asks for them (the first page with the
// statement's own LIMIT, the last pages through the reverse order with a LIMIT, the rest through
// the ordered list of rowids, read in full only once the view needs a row in between), so a
// table of a million rows opens at once and jumps to its end at once. Sort and
// filter are in the SQL. Edits go to a pending row that is written by submitRow() (the window calls
// it when the user leaves the row) as UPDATE ... WHERE rowid = ?, or as INSERT for a new row.
// Stored values are never changed by the display: Date columns show in the locale's short date form
// and are stored as ISO text; columns with display decimals show fixed decimals. An edit that does
// not suit its column, or that a save could not write (editRefusal), is refused.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit GridModel(Tdm &dm, QObject *parent = nullptr);
    ~GridModel() override;

    // Runs the query. On failure the model is left empty (no columns) and the error is raised.
    // A pending edit is dropped: the window submits it first.
    void setQuery(const FilterQuery &query);
    // Re-reads the rows of the current query (other commands changed the table), keeping the
    // display decimals of its columns. Never raises:
    // a failure leaves the model empty and is announced by reopenFailed().
    void reopen();
    // Empties the model and releases every statement.
    void close();
    bool isActive() const { return m_active; }
    const FilterQuery &query() const { return m_query; }

    const QStringList &columnNames() const { return m_names; }
    // Field type codes of the columns.
    const QList<int> &columnCodes() const { return m_codes; }
    int columnIndex(const QString &name) const; // -1 when absent (case-insensitive)

    void setDecimals(int column, int decimals);
    void clearDecimals();

    // The pending row: its position (-1 when none) and whether it is a new row.
    int pendingRow() const { return m_pendingRow; }
    bool pendingIsInsert() const { return m_pendingInsert; }
    // Writes the pending row to the table. A new row that was never edited is dropped. Raises on
    // failure; the pending changes are then dropped and the row shows the table's values.
    void submitRow();
    // Drops the pending changes (a new row disappears).
    void revertRow();
    // Adds an empty new row at `row` (after writing any pending row). Raises on failure.
    void insertRowAt(int row);
    // Deletes the row at `row` from the table. Raises on failure.
    void deleteRow(int row);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The statements the model runs for `query`: the row count and the first page, and with
    // `lastPage` the rowids of the last page, read in the reverse order when the view jumps to
    // the end.
    static QStringList statements(const FilterQuery &query, bool lastPage);
    // Every row the grid shows for `query`, every column, in the grid's order (ties in row
    // order).
    static QString rowsStatement(const FilterQuery &query);

    // False when showing the row at `position` first has to read the order of every row of the
    // statement (a full sort of a large table takes a while); rows of the first page and of the
    // last pages are cheap.
    bool rowIsCheap(int position) const;
    // Reads what showing the row at `position` needs now (the window calls it under the wait
    // cursor where rowIsCheap() is false). Raises when the table cannot be read.
    void prepareRow(int position);

    // While reads are held the model reads nothing from the database: rows it holds show, the
    // others show empty. The window holds them while it is painted from inside another
    // statement on the same connection, where no statement may run.
    void holdReads(bool held) { m_readsHeld = held; }

Q_SIGNALS:
    // An edit that does not suit its column was refused; `message` says why.
    void editRefused(const QString &message);
    // reopen() failed with `message`.
    void reopenFailed(const QString &message);
    // The pending row changed (started, written or dropped).
    void pendingChanged();

private:
    using Row = QList<QVariant>;
    void load(); // count, columns and first page of m_query; raises
    void clearData();
    void ensureKeys() const;
    // The rowid at `position`, reading the last rows or the whole order where needed; raises.
    std::optional<qint64> keyAt(int position) const;
    void readTail(int count) const;
    const Row *row(int position) const;
    void fetchAround(int position) const;
    Row readRow(qint64 rowid) const;
    void dropPending();
    // Writes the pending row when it is another row than `position`; returns where the row at
    // `position` stands afterwards.
    int submitOtherRow(int position);

    Tdm &m_dm;
    FilterQuery m_query;
    bool m_active = false;
    QStringList m_names;
    QList<int> m_codes;
    QHash<int, int> m_decimals;
    int m_count = 0;

    // Rowids in display order: the first page's until the whole list is read.
    mutable std::vector<qint64> m_keys;
    mutable bool m_keysComplete = false;
    // Rowids of the last rows, last first, until the whole list is read.
    mutable std::vector<qint64> m_tail;
    mutable QHash<qint64, Row> m_cache;
    mutable Stmt m_rowStmt;

    bool m_readsHeld = false;

    int m_pendingRow = -1;
    bool m_pendingInsert = false;
    QHash<int, QVariant> m_pending; // column -> new value
};

} // namespace bm
