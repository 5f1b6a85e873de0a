#include "ChangeSummary.h"

#include "NumberText.h"

#include <QStringList>

namespace bm::gui {

using namespace Qt::StringLiterals;

qint64 changedRows(const QList<bm::Maintenance::TableChange> &changes)
{
    qint64 rows = 0;
    for (const bm::Maintenance::TableChange &c : changes)
        rows += c.rows;
    return rows;
}

QString changesSummary(const QString &caption, const QList<bm::Maintenance::TableChange> &changes,
                       bool removed)
{
    // A clean-up step of one table may come twice (the pedigree table, then its clients): each
    // table is counted once.
    QStringList tables;
    QList<qint64> rows;
    for (const bm::Maintenance::TableChange &c : changes) {
        const qsizetype i = tables.indexOf(c.table);
        if (i < 0) {
            tables << c.table;
            rows << c.rows;
        } else {
            rows[i] += c.rows;
        }
    }
    const QString verb = removed ? u"removed"_s : u"changed"_s;
    QStringList shares;
    qint64 total = 0;
    for (qsizetype i = 0; i < tables.size(); ++i) {
        if (rows.at(i) > 0)
            shares << u"%1: %2"_s.arg(tables.at(i), bm::countText(rows.at(i)));
        total += rows.at(i);
    }
    if (total == 0)
        return u"%1: nothing %2"_s.arg(caption, verb);
    const QString records = total == 1 ? u"1 record"_s : bm::countText(total) + u" records"_s;
    if (shares.size() == 1) {
        const QString table = shares.first().section(u':', 0, 0);
        return removed ? u"%1: %2 removed from %3"_s.arg(caption, records, table)
                       : u"%1: %2 of 1 table changed (%3)"_s.arg(caption, records, table);
    }
    return u"%1: %2 of %3 tables %4 (%5)"_s.arg(caption, records)
            .arg(shares.size())
            .arg(verb, shares.join(u", "_s));
}

} // namespace bm::gui
