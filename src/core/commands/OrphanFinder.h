#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace bm {

class Tdm;
struct MasterKeys;

// Finds the rows of a client table that have no partner in a master table: a partner is a master
// row equal to the client row on every column of at least one match (NationalID; CowID and
// HerdCode; ...). Equality is the database's, as "m.<column> = c.<column>" compares: Null equals
// nothing, the master column's collation decides letter case (NOCASE: every letter without
// regard to case, as TextFold.h compares), and values of different storage classes are never
// equal, apart from an integer and a real of the same value. A match whose columns one of the
// tables lacks is left out; with no match left, every client row is without a partner.
//
// The master table's keys are read into memory once and every client row is looked up there, in
// one pass over each table; the keys serve every later step with the same master until that table
// changes (tableChanged). Where that cannot give the database's answer for sure (another
// collation, columns of different types, a very large master table) the look-up is an SQL
// statement through an index of the master table, made for it and dropped by dropIndexes().
class OrphanFinder
{
public:
    enum class Strategy { Automatic, Sql };

    explicit OrphanFinder(Tdm &dm);
    ~OrphanFinder();

    // The rowids of the client rows without a partner, in rowid order.
    std::vector<qint64> find(const QString &master, const QString &client,
                             const QList<QStringList> &matches);
    // Rows of `table` were deleted or changed: keys read from it are read again.
    void tableChanged(const QString &table);
    // Drops the indexes the SQL look-ups made (inside the caller's transaction).
    void dropIndexes();
    // Forgets the keys read and the indexes made: a new command starts, or a rollback has taken
    // the indexes away.
    void reset()
    {
        m_indexes.clear();
        m_keys.clear();
    }

    // Sql: always look up through SQL (to compare the two ways in tests).
    void setStrategy(Strategy strategy) { m_strategy = strategy; }

private:
    bool inMemory(const QString &master, const QString &client, const QList<QStringList> &matches,
                  QList<bool> &fold);
    std::vector<qint64> findInMemory(const QString &master, const QString &client,
                                     const QList<QStringList> &matches, const QList<bool> &fold);
    std::vector<qint64> findBySql(const QString &master, const QString &client,
                                  const QList<QStringList> &matches);

    Tdm &m_dm;
    Strategy m_strategy = Strategy::Automatic;
    QStringList m_indexes;
    QHash<QString, std::shared_ptr<const MasterKeys>> m_keys; // by master table
};

} // namespace bm
