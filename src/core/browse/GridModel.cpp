#include "GridModel.h"

#include "CellText.h"
#include "DifWriter.h"
#include "Error.h"

#include <QDate>

#include <limits>
#include <optional>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// Rows read at a time, and the rows kept in memory before the cache starts afresh.
constexpr int kPage = 128;
constexpr qsizetype kCacheLimit = 64 * kPage;
// Rows from the end read in the reverse order before the whole order is read instead.
constexpr qint64 kTailRows = 8 * kPage;
// The key of a new row that is not yet in the table.
constexpr qint64 kNewRow = std::numeric_limits<qint64>::min();

} // namespace

// ---------------------------------------------------------------------------------------------

GridModel::GridModel(Tdm &dm, QObject *parent)
    : QAbstractTableModel(parent)
    , m_dm(dm)
{
    connect(&m_dm, &Tdm::browseReopenRequested, this, &GridModel::reopen);
}

GridModel::~GridModel() = default;

void GridModel::setQuery(const FilterQuery &query)
{
    beginResetModel();
    m_query = query;
    try {
        load();
    } catch (const Error &) {
        clearData();
        endResetModel();
        throw;
    }
    endResetModel();
}

void GridModel::reopen()
{
    if (m_query.table.isEmpty())
        return;
    // The display decimals stay with their columns.
    QHash<QString, int> decimals;
    for (auto it = m_decimals.cbegin(); it != m_decimals.cend(); ++it)
        decimals.insert(m_names.value(it.key()).toLower(), it.value());
    beginResetModel();
    try {
        load();
    } catch (const Error &e) {
        clearData();
        endResetModel();
        Q_EMIT reopenFailed(e.message());
        return;
    }
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        const auto it = decimals.constFind(m_names.at(i).toLower());
        if (it != decimals.constEnd())
            m_decimals.insert(int(i), it.value());
    }
    endResetModel();
}

void GridModel::close()
{
    beginResetModel();
    clearData();
    m_query = FilterQuery();
    endResetModel();
}

void GridModel::clearData()
{
    m_active = false;
    m_names.clear();
    m_codes.clear();
    m_decimals.clear();
    m_count = 0;
    m_keys.clear();
    m_keysComplete = false;
    m_tail.clear();
    m_cache.clear();
    m_rowStmt.reset();
    dropPending();
}

namespace {

QString orderClause(const FilterQuery &q)
{
    // rowid breaks ties, so every read of the statement gives one and the same order.
    if (q.sortColumn.isEmpty())
        return u"ORDER BY rowid"_s;
    return u"ORDER BY "_s + q.orderTerm(q.descending) + u", rowid"_s;
}

QString countStatement(const FilterQuery &q)
{
    return u"SELECT count(*) FROM "_s + Tdm::quoteId(q.table) + u' ' + q.where;
}

QString firstPageStatement(const FilterQuery &q)
{
    return u"SELECT rowid, * FROM "_s + Tdm::quoteId(q.table) + u' ' + q.where + orderClause(q)
           + u" LIMIT %1"_s.arg(kPage);
}

QString keysStatement(const FilterQuery &q)
{
    return u"SELECT rowid FROM "_s + Tdm::quoteId(q.table) + u' ' + q.where + orderClause(q);
}

// The order of the statement turned round: every term the other way, so the last rows come
// first, in exactly the reverse of the statement's order (NULLs and ties included).
QString reverseOrderClause(const FilterQuery &q)
{
    if (q.sortColumn.isEmpty())
        return u"ORDER BY rowid DESC"_s;
    return u"ORDER BY "_s + q.orderTerm(!q.descending) + u", rowid DESC"_s;
}

// The rowids of the last `count` rows, last first.
QString tailStatement(const FilterQuery &q, int count)
{
    return u"SELECT rowid FROM "_s + Tdm::quoteId(q.table) + u' ' + q.where + reverseOrderClause(q)
           + u" LIMIT %1"_s.arg(count);
}

} // namespace

QString GridModel::rowsStatement(const FilterQuery &query)
{
    return u"SELECT * FROM "_s + Tdm::quoteId(query.table) + u' ' + query.where
           + orderClause(query);
}

QStringList GridModel::statements(const FilterQuery &query, bool lastPage)
{
    QStringList list{countStatement(query), firstPageStatement(query)};
    if (lastPage)
        list << tailStatement(query, kPage);
    return list;
}

void GridModel::load()
{
    clearData();
    const QString table = Tdm::quoteId(m_query.table);

    Stmt count = m_dm.prepare(countStatement(m_query));
    if (!count->next())
        throw Error(u"The count of rows gave no answer"_s);
    const qint64 n = count->integer(0);
    count.reset();
    if (n > std::numeric_limits<int>::max() - 1)
        throw Error(u"The table %1 has too many rows to show"_s.arg(m_query.table));

    Stmt first = m_dm.prepare(firstPageStatement(m_query));
    const int columns = first->columnCount();
    QStringList names;
    QList<int> codes;
    for (int i = 1; i < columns; ++i) {
        names << first->columnName(i);
        codes << fieldTypeCode(first->columnKind(i));
    }
    std::vector<qint64> keys;
    QHash<qint64, Row> cache;
    while (first->next()) {
        const qint64 rowid = first->integer(0);
        Row row;
        row.reserve(columns - 1);
        for (int i = 1; i < columns; ++i)
            row << first->value(i);
        keys.push_back(rowid);
        cache.insert(rowid, row);
    }
    first.reset();

    m_rowStmt = m_dm.prepare(u"SELECT rowid, * FROM "_s + table + u" WHERE rowid = ?1"_s);
    m_names = names;
    m_codes = codes;
    m_count = int(n);
    m_keys = std::move(keys);
    m_keysComplete = qint64(m_keys.size()) >= n;
    m_cache = std::move(cache);
    m_active = true;
}

void GridModel::prepareRow(int position)
{
    if (position >= 0 && position < rowCount())
        keyAt(position);
}

bool GridModel::rowIsCheap(int position) const
{
    if (m_keysComplete || position < 0 || size_t(position) < m_keys.size())
        return true;
    return m_count - position <= qsizetype(m_tail.size());
}

std::optional<qint64> GridModel::keyAt(int position) const
{
    if (m_keysComplete || size_t(position) < m_keys.size()) {
        if (size_t(position) >= m_keys.size())
            return std::nullopt;
        return m_keys[size_t(position)];
    }
    // A row near the end is read in the reverse order, a page or a few at a time: a jump to the
    // end of a large sorted table costs no more than its first page did.
    const qint64 fromEnd = qint64(m_count) - position; // 1 for the last row
    if (fromEnd <= qint64(m_tail.size()))
        return m_tail[size_t(fromEnd - 1)];
    if (fromEnd <= kTailRows) {
        readTail(int(std::min<qint64>(kTailRows, (fromEnd + kPage - 1) / kPage * kPage)));
        if (fromEnd <= qint64(m_tail.size()))
            return m_tail[size_t(fromEnd - 1)];
    }
    // Anywhere else the whole order is read once.
    ensureKeys();
    if (size_t(position) >= m_keys.size())
        return std::nullopt;
    return m_keys[size_t(position)];
}

void GridModel::readTail(int count) const
{
    Stmt stmt = m_dm.prepare(tailStatement(m_query, count));
    std::vector<qint64> keys;
    keys.reserve(size_t(count));
    while (stmt->next())
        keys.push_back(stmt->integer(0));
    m_tail = std::move(keys);
}

void GridModel::ensureKeys() const
{
    if (m_keysComplete)
        return;
    Stmt stmt = m_dm.prepare(keysStatement(m_query));
    std::vector<qint64> keys;
    keys.reserve(size_t(m_count));
    while (stmt->next())
        keys.push_back(stmt->integer(0));
    m_keys = std::move(keys);
    m_keysComplete = true;
    m_tail.clear();
}

GridModel::Row GridModel::readRow(qint64 rowid) const
{
    Row row;
    db::Statement *stmt = m_rowStmt.get();
    if (!stmt)
        return row;
    stmt->bindInteger(1, rowid);
    if (stmt->step() == db::Step::Row) {
        const int columns = stmt->columnCount();
        row.reserve(columns - 1);
        for (int i = 1; i < columns; ++i)
            row << stmt->value(i);
    }
    stmt->reset();
    return row;
}

void GridModel::fetchAround(int position) const
{
    if (m_cache.size() > kCacheLimit)
        m_cache.clear();
    // The page around the row, of the rows whose place is known without reading more.
    const int start = position / kPage * kPage;
    const int end = std::min(start + kPage, rowCount());
    for (int p = start; p < end; ++p) {
        if (!rowIsCheap(p))
            continue;
        const std::optional<qint64> key = keyAt(p);
        if (key && *key != kNewRow && !m_cache.contains(*key))
            m_cache.insert(*key, readRow(*key));
    }
}

const GridModel::Row *GridModel::row(int position) const
{
    if (!m_active || position < 0 || position >= rowCount())
        return nullptr;
    std::optional<qint64> key;
    if (m_readsHeld) {
        // Only what is known without reading.
        const qint64 fromEnd = qint64(m_count) - position;
        if (m_keysComplete || size_t(position) < m_keys.size())
            key = size_t(position) < m_keys.size() ? std::optional(m_keys[size_t(position)])
                                                   : std::nullopt;
        else if (fromEnd <= qint64(m_tail.size()))
            key = m_tail[size_t(fromEnd - 1)];
    } else {
        try {
            key = keyAt(position);
        } catch (const Error &) {
            return nullptr; // the table cannot be read now; the cells show empty
        }
    }
    if (!key || *key == kNewRow)
        return nullptr;
    auto it = m_cache.constFind(*key);
    if (it == m_cache.constEnd() && m_readsHeld)
        return nullptr;
    if (it == m_cache.constEnd()) {
        fetchAround(position);
        it = m_cache.constFind(*key);
    }
    return it == m_cache.constEnd() ? nullptr : &it.value();
}

int GridModel::columnIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

void GridModel::setDecimals(int column, int decimals)
{
    m_decimals.insert(column, decimals);
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::DisplayRole});
}

void GridModel::clearDecimals()
{
    m_decimals.clear();
}

// ---------------------------------------------------------------------------------------------

int GridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_keysComplete ? int(m_keys.size()) : m_count;
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return QVariant();
    const int column = index.column();
    if (role == Qt::TextAlignmentRole) {
        const int code = m_codes.value(column);
        const bool number = code == ftInteger || code == ftFloat;
        return QVariant::fromValue((number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    QVariant value;
    if (index.row() == m_pendingRow && m_pending.contains(column)) {
        value = m_pending.value(column);
    } else if (const Row *r = row(index.row())) {
        value = r->value(column);
    }
    if (role == Qt::EditRole)
        return celltext::edit(m_codes.value(column), value);
    return celltext::display(m_codes.value(column), value, m_decimals.value(column, -1));
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= rowCount()
        || index.column() >= columnCount())
        return false;
    int rowPos = index.row();
    const int column = index.column();
    QString error;
    const QVariant v = value.typeId() == QMetaType::QDate
                               ? QVariant(isoDate(value.toDate()))
                               : celltext::parse(m_codes.value(column), m_names.value(column),
                                                 value.toString(), &error);
    if (error.isEmpty()) {
        // A value that a save could not write is refused now, in the save's words.
        const QString typed = value.typeId() == QMetaType::QDate ? celltext::edit(ftDateTime, v)
                                                                 : value.toString();
        try {
            error = editRefusal(m_dm.home(), m_query.table, m_names.value(column), v, typed);
        } catch (const Error &e) {
            error = e.message();
        }
    }
    if (!error.isEmpty()) {
        Q_EMIT editRefused(error);
        return false;
    }
    try {
        rowPos = submitOtherRow(rowPos);
    } catch (const Error &e) {
        Q_EMIT editRefused(e.message());
        return false;
    }

    const Row *stored = m_pendingInsert && rowPos == m_pendingRow ? nullptr : row(rowPos);
    const QVariant current = stored ? stored->value(column) : QVariant();
    const bool same = (v.isNull() && current.isNull())
                      || (!v.isNull() && !current.isNull() && v == current);
    if (same && !(m_pendingInsert && rowPos == m_pendingRow)) {
        if (rowPos == m_pendingRow) {
            m_pending.remove(column);
            if (m_pending.isEmpty())
                dropPending();
            Q_EMIT dataChanged(index, index);
            Q_EMIT pendingChanged();
        }
        return true;
    }
    if (same && v.isNull())
        return true; // a new row keeps an empty cell empty
    m_pendingRow = rowPos;
    m_pending.insert(column, v);
    Q_EMIT dataChanged(index, index);
    Q_EMIT pendingChanged();
    return true;
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_names.value(section);
    return QVariant();
}

// ---------------------------------------------------------------------------------------------

void GridModel::dropPending()
{
    m_pendingRow = -1;
    m_pendingInsert = false;
    m_pending.clear();
}

void GridModel::submitRow()
{
    if (m_pendingRow < 0)
        return;
    const int position = m_pendingRow;
    const QString table = Tdm::quoteId(m_query.table);

    if (m_pendingInsert && m_pending.isEmpty()) {
        revertRow();
        return;
    }
    // The order of the rows is fixed before anything changes, so an edited row keeps its place.
    ensureKeys();

    QList<int> columns = m_pending.keys();
    std::sort(columns.begin(), columns.end());
    QString sql;
    if (m_pendingInsert) {
        QStringList names, marks;
        for (int c : std::as_const(columns)) {
            names << Tdm::quoteId(m_names.at(c));
            marks << u"?%1"_s.arg(marks.size() + 1);
        }
        sql = u"INSERT INTO %1 (%2) VALUES (%3) RETURNING rowid"_s.arg(table, names.join(u", "_s),
                                                                       marks.join(u", "_s));
    } else {
        QStringList sets;
        for (int c : std::as_const(columns))
            sets << Tdm::quoteId(m_names.at(c)) + u" = ?%1"_s.arg(sets.size() + 1);
        // The row's key comes back: on a server it is the row's place, which an update moves.
        sql = u"UPDATE %1 SET %2 WHERE rowid = ?%3 RETURNING rowid"_s.arg(table, sets.join(u", "_s))
                      .arg(columns.size() + 1);
    }

    QString failure;
    qint64 key = m_keys[size_t(position)];
    try {
        // An edit is a change of the herd data like any other: committed with its stamp, so
        // undo knows of it.
        const ChangeSource source(
                m_dm, (m_pendingInsert ? u"Insert into table %1"_s : u"Edit in table %1"_s)
                              .arg(m_query.table));
        std::optional<Transaction> transaction;
        if (!m_dm.inTransaction())
            transaction.emplace(m_dm);
        Stmt stmt = m_dm.prepare(sql);
        int i = 1;
        for (int c : std::as_const(columns))
            stmt->bindValue(i++, m_pending.value(c));
        if (!m_pendingInsert)
            stmt->bindInteger(i, key);
        const db::Step step = stmt->step();
        if (step == db::Step::Refused) {
            failure = stmt->refusal();
        } else {
            if (step == db::Step::Row)
                key = stmt->integer(0);
            else if (!m_pendingInsert)
                // No row has the key any more: on a server someone else changed or removed
                // the row since it was read (a change gives a row a new place there).
                failure = u"The row was changed or removed by someone else after it was read: "
                          "the edit was not written, so nothing of theirs was overwritten. Read "
                          "the table again (Escape, then Apply) to see the row as it now is."_s;
            stmt.reset();
            if (transaction)
                transaction->commit();
        }
    } catch (const Error &e) {
        failure = e.message();
    }

    if (!failure.isEmpty()) {
        revertRow();
        throw Error(failure);
    }
    if (m_keys[size_t(position)] != key)
        m_cache.remove(m_keys[size_t(position)]);
    m_keys[size_t(position)] = key;
    m_cache.insert(key, readRow(key));
    dropPending();
    Q_EMIT dataChanged(index(position, 0), index(position, columnCount() - 1));
    Q_EMIT pendingChanged();
}

void GridModel::revertRow()
{
    if (m_pendingRow < 0)
        return;
    const int position = m_pendingRow;
    if (m_pendingInsert) {
        beginRemoveRows(QModelIndex(), position, position);
        m_keys.erase(m_keys.begin() + position);
        dropPending();
        endRemoveRows();
    } else {
        dropPending();
        Q_EMIT dataChanged(index(position, 0), index(position, columnCount() - 1));
    }
    Q_EMIT pendingChanged();
}

int GridModel::submitOtherRow(int position)
{
    if (m_pendingRow < 0 || m_pendingRow == position)
        return position;
    // Writing (or dropping) the other row may remove it, which moves the rows below it up.
    const int pending = m_pendingRow;
    const int before = rowCount();
    try {
        submitRow();
    } catch (const Error &) {
        if (rowCount() < before && pending < position)
            --position;
        throw;
    }
    return rowCount() < before && pending < position ? position - 1 : position;
}

void GridModel::insertRowAt(int position)
{
    if (!m_active)
        throw Error(u"No table is open"_s);
    position = submitOtherRow(position);
    submitRow();
    ensureKeys();
    position = qBound(0, position, int(m_keys.size()));
    beginInsertRows(QModelIndex(), position, position);
    m_keys.insert(m_keys.begin() + position, kNewRow);
    m_pendingRow = position;
    m_pendingInsert = true;
    m_pending.clear();
    endInsertRows();
    Q_EMIT pendingChanged();
}

void GridModel::deleteRow(int position)
{
    if (position < 0 || position >= rowCount())
        return;
    if (position == m_pendingRow && m_pendingInsert) {
        revertRow();
        return;
    }
    position = submitOtherRow(position);
    ensureKeys();
    const qint64 key = m_keys[size_t(position)];
    {
        const ChangeSource source(m_dm, u"Delete in table %1"_s.arg(m_query.table));
        std::optional<Transaction> transaction;
        if (!m_dm.inTransaction())
            transaction.emplace(m_dm);
        Stmt stmt = m_dm.prepare(u"DELETE FROM "_s + Tdm::quoteId(m_query.table)
                                 + u" WHERE rowid = ?1"_s);
        stmt->bindInteger(1, key);
        stmt->run();
        stmt.reset();
        if (transaction)
            transaction->commit();
    }
    beginRemoveRows(QModelIndex(), position, position);
    m_keys.erase(m_keys.begin() + position);
    m_cache.remove(key);
    if (position == m_pendingRow)
        dropPending();
    endRemoveRows();
    Q_EMIT pendingChanged();
}

} // namespace bm
