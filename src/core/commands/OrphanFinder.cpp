#include "OrphanFinder.h"

#include "Error.h"
#include "Tdm.h"
#include "Text.h"
#include "TextFold.h"

#include <QHashFunctions>

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// Above this many master rows the keys are not held in memory (at about 45 bytes a key, two
// matches of two million rows take some 180 MB).
constexpr qint64 kMaxMasterRowsInMemory = 2'000'000;

QString q(const QString &name)
{
    return Tdm::quoteId(name);
}

// A set of byte strings held compactly: the keys back to back in one buffer, and an
// open-addressing table of their hashes and places.
class KeySet
{
public:
    void insert(std::string_view key)
    {
        if ((m_count + 1) * 2 > m_slots.size())
            grow();
        const size_t h = hashOf(key);
        size_t i = h & m_mask;
        while (m_slots[i] != 0) {
            if (equalAt(m_slots[i], h, key))
                return;
            i = (i + 1) & m_mask;
        }
        const quint64 offset = m_keys.size();
        const quint32 length = quint32(key.size());
        m_keys.append(reinterpret_cast<const char *>(&length), sizeof length);
        m_keys.append(key);
        m_slots[i] = (quint64(quint32(h)) << 32) | (offset + 1);
        ++m_count;
    }

    bool contains(std::string_view key) const
    {
        if (m_count == 0)
            return false;
        const size_t h = hashOf(key);
        for (size_t i = h & m_mask; m_slots[i] != 0; i = (i + 1) & m_mask) {
            if (equalAt(m_slots[i], h, key))
                return true;
        }
        return false;
    }

private:
    static size_t hashOf(std::string_view key) { return qHashBits(key.data(), key.size(), 0); }

    bool equalAt(quint64 slot, size_t h, std::string_view key) const
    {
        if (quint32(slot >> 32) != quint32(h))
            return false;
        const size_t offset = size_t(slot & 0xFFFFFFFFu) - 1;
        quint32 length = 0;
        std::memcpy(&length, m_keys.data() + offset, sizeof length);
        return length == key.size()
               && std::memcmp(m_keys.data() + offset + sizeof length, key.data(), length) == 0;
    }

    void grow()
    {
        std::vector<quint64> old = std::move(m_slots);
        m_slots.assign(std::max<size_t>(1024, old.size() * 2), 0);
        m_mask = m_slots.size() - 1;
        for (const quint64 slot : old) {
            if (slot == 0)
                continue;
            const size_t offset = size_t(slot & 0xFFFFFFFFu) - 1;
            quint32 length = 0;
            std::memcpy(&length, m_keys.data() + offset, sizeof length);
            const size_t h
                    = hashOf(std::string_view(m_keys.data() + offset + sizeof length, length));
            size_t i = h & m_mask;
            while (m_slots[i] != 0)
                i = (i + 1) & m_mask;
            m_slots[i] = slot;
        }
    }

    std::string m_keys;
    std::vector<quint64> m_slots;
    size_t m_mask = 0;
    size_t m_count = 0;
};

// Appends one value to `key` so that two values give the same bytes exactly when the database
// finds them equal: a tag for the storage class, the length, the bytes (text case-folded, every
// letter, where the column compares without regard to case). An integer and a real of the same
// value share one form.
// False for Null, which equals nothing.
bool appendValue(std::string &key, const RowReader &row, int column, bool fold)
{
    const auto appendPart = [&key](char tag, const char *data, size_t size) {
        key += tag;
        const quint32 length = quint32(size);
        key.append(reinterpret_cast<const char *>(&length), sizeof length);
        key.append(data, size);
    };
    switch (row.type(column)) {
    case ValueType::Null:
        return false;
    case ValueType::Integer: {
        const qint64 v = row.integer(column);
        appendPart('i', reinterpret_cast<const char *>(&v), sizeof v);
        return true;
    }
    case ValueType::Real: {
        const double d = row.real(column);
        // 2^63 and above do not fit a 64-bit integer; below -2^63 neither.
        if (d == std::trunc(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0) {
            const qint64 v = qint64(d);
            appendPart('i', reinterpret_cast<const char *>(&v), sizeof v);
        } else {
            appendPart('r', reinterpret_cast<const char *>(&d), sizeof d);
        }
        return true;
    }
    case ValueType::Text: {
        const QByteArrayView text = row.text(column);
        if (fold && !isAscii(text)) {
            std::string folded;
            appendFolded(folded, text);
            appendPart('t', folded.data(), folded.size());
            return true;
        }
        const size_t start = key.size();
        appendPart('t', text.data(), size_t(text.size()));
        if (fold) {
            for (size_t i = start + 1 + sizeof(quint32); i < key.size(); ++i) {
                if (key[i] >= 'A' && key[i] <= 'Z')
                    key[i] = char(key[i] - 'A' + 'a');
            }
        }
        return true;
    }
    case ValueType::Blob: {
        const QByteArrayView blob = row.text(column);
        appendPart('b', blob.data(), size_t(blob.size()));
        return true;
    }
    }
    return false;
}

struct ColumnMeta
{
    bool exists = false;
    QString type;
    db::Comparison comparison = db::Comparison::Exact;
};

ColumnMeta columnMeta(Tdm &dm, const QString &table, const QString &column)
{
    ColumnMeta meta;
    for (const db::Column &c : dm.connection().columns(table)) {
        if (c.name.compare(column, Qt::CaseInsensitive) == 0) {
            meta.exists = true;
            meta.type = c.declaredType.trimmed();
            meta.comparison = c.comparison;
            break;
        }
    }
    return meta;
}

} // namespace

// The keys of a master table's rows, one set per match, as read for `signature`.
struct MasterKeys
{
    QString signature;
    std::vector<KeySet> sets;
};

OrphanFinder::OrphanFinder(Tdm &dm)
    : m_dm(dm)
{}

OrphanFinder::~OrphanFinder() = default;

void OrphanFinder::tableChanged(const QString &table)
{
    m_keys.remove(table);
}

std::vector<qint64> OrphanFinder::find(const QString &master, const QString &client,
                                       const QList<QStringList> &matches)
{
    // Only matches whose columns both tables have can find a partner.
    QList<QStringList> usable;
    for (const QStringList &match : matches) {
        bool present = true;
        for (const QString &column : match)
            present = present && columnMeta(m_dm, master, column).exists
                      && columnMeta(m_dm, client, column).exists;
        if (present)
            usable << match;
    }
    QList<bool> fold;
    if (m_strategy == Strategy::Automatic && inMemory(master, client, usable, fold))
        return findInMemory(master, client, usable, fold);
    return findBySql(master, client, usable);
}

bool OrphanFinder::inMemory(const QString &master, const QString &client,
                            const QList<QStringList> &matches, QList<bool> &fold)
{
    // Keys in memory give the database's equality only where both columns have one type (so
    // no conversion comes before the comparison) and the master's collation is one of the two
    // built-in ones that the keys follow.
    for (const QStringList &match : matches) {
        for (const QString &column : match) {
            const ColumnMeta m = columnMeta(m_dm, master, column);
            const ColumnMeta c = columnMeta(m_dm, client, column);
            if (m.type != c.type || m.comparison == db::Comparison::Other)
                return false;
            fold << (m.comparison == db::Comparison::Caseless);
        }
    }
    return m_keys.contains(master) || m_dm.rowCount(master) <= kMaxMasterRowsInMemory;
}

std::vector<qint64> OrphanFinder::findInMemory(const QString &master, const QString &client,
                                               const QList<QStringList> &matches,
                                               const QList<bool> &fold)
{
    QStringList columns;
    for (const QStringList &match : matches)
        for (const QString &column : match)
            columns << q(column);
    const QString list = columns.isEmpty() ? u"NULL"_s : columns.join(u", "_s);

    std::string key;
    const auto buildKey = [&](const RowReader &row, qsizetype match, int first) {
        key.clear();
        int column = first;
        for (qsizetype m = 0; m < match; ++m)
            column += int(matches.at(m).size());
        for (qsizetype i = 0; i < matches.at(match).size(); ++i, ++column) {
            if (!appendValue(key, row, column, fold.at(column - first)))
                return false;
        }
        return true;
    };

    // Each match's keys of the master rows, read once for every step with this master.
    QString signature;
    for (const QStringList &match : matches)
        signature += match.join(u',') + u';';
    std::shared_ptr<const MasterKeys> keys = m_keys.value(master);
    if (!keys || keys->signature != signature) {
        auto read = std::make_shared<MasterKeys>();
        read->signature = signature;
        read->sets.resize(size_t(matches.size()));
        if (!matches.isEmpty()) {
            Stmt stmt = m_dm.prepare(u"SELECT %1 FROM %2"_s.arg(list, q(master)));
            while (stmt->next()) {
                for (qsizetype m = 0; m < matches.size(); ++m) {
                    if (buildKey(*stmt, m, 0))
                        read->sets[size_t(m)].insert(key);
                }
            }
        }
        keys = read;
        m_keys.insert(master, keys);
    }

    std::vector<qint64> orphans;
    Stmt stmt = m_dm.prepare(u"SELECT rowid, %1 FROM %2 ORDER BY rowid"_s.arg(list, q(client)));
    while (stmt->next()) {
        bool partner = false;
        for (qsizetype m = 0; m < matches.size() && !partner; ++m)
            partner = buildKey(*stmt, m, 1) && keys->sets[size_t(m)].contains(key);
        if (!partner)
            orphans.push_back(stmt->integer(0));
    }
    return orphans;
}

std::vector<qint64> OrphanFinder::findBySql(const QString &master, const QString &client,
                                            const QList<QStringList> &matches)
{
    QStringList conditions;
    for (const QStringList &match : matches) {
        // The look-ups go through an index of the master table with the columns' own collation.
        const QString index = u"bm_clean_"_s + master + u'_' + match.join(u'_');
        QStringList quoted;
        QStringList equal;
        for (const QString &column : match) {
            // A column that compares without regard to case does so for every letter.
            const QString collate
                    = columnMeta(m_dm, master, column).comparison == db::Comparison::Caseless
                              ? m_dm.connection().caseless()
                              : QString();
            quoted << q(column) + collate;
            equal << u"m.%1 = c.%1%2"_s.arg(q(column), collate);
        }
        if (!m_indexes.contains(index)) {
            m_dm.exec(
                    u"CREATE INDEX %1 ON %2 (%3)"_s.arg(q(index), q(master), quoted.join(u", "_s)));
            m_indexes << index;
        }
        conditions << u"NOT EXISTS (SELECT 1 FROM %1 AS m WHERE %2)"_s.arg(q(master),
                                                                           equal.join(u" AND "_s));
    }
    const QString where
            = conditions.isEmpty() ? QString() : u" WHERE "_s + conditions.join(u" AND "_s);
    std::vector<qint64> orphans;
    Stmt stmt = m_dm.prepare(
            u"SELECT c.rowid FROM %1 AS c%2 ORDER BY c.rowid"_s.arg(q(client), where));
    while (stmt->next())
        orphans.push_back(stmt->integer(0));
    return orphans;
}

void OrphanFinder::dropIndexes()
{
    for (const QString &index : std::as_const(m_indexes))
        m_dm.exec(u"DROP INDEX IF EXISTS "_s + q(index));
    m_indexes.clear();
}

} // namespace bm
