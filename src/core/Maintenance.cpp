#include "Maintenance.h"

#include "Error.h"
#include "Importer.h"
#include "Layout.h"
#include "Loader.h"
#include "Tdm.h"
#include "Ui.h"

#include <QFileInfo>

#include <sqlite3.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

QString q(const QString &name)
{
    return Tdm::quoteId(name);
}

// The condition of a filter the grid shows, without its "WHERE "; empty without a filter.
QString conditionOf(const FilterQuery &query)
{
    const QString where = query.where.trimmed();
    if (where.isEmpty())
        return QString();
    if (!where.startsWith(u"WHERE "_s))
        throw Error(u"The filter of table %1 cannot be read"_s.arg(query.table));
    return where.mid(6);
}

// "NOT EXISTS (SELECT 1 FROM <master> AS m WHERE m.<a> = c.<a> AND ...)": the client row (alias
// c) has no master row equal on every column of `columns`. Null equals nothing, and both tables'
// text columns compare without regard to case.
QString noPartner(const QString &master, const QStringList &columns)
{
    QStringList equal;
    for (const QString &column : columns)
        equal << u"m.%1 = c.%1"_s.arg(q(column));
    return u"NOT EXISTS (SELECT 1 FROM %1 AS m WHERE %2)"_s.arg(q(master), equal.join(u" AND "_s));
}

// Hides the progress window when the command ends, however it ends.
struct HideAtEnd
{
    ProgressSink &progress;
    ~HideAtEnd() { progress.hide(); }
};

const QString kNationalID = u"NationalID"_s;
const QString kCowID = u"CowID"_s;
const QString kHerdCode = u"HerdCode"_s;
const QString kCalvingDate = u"CalvingDate"_s;

// The temporary table that holds the rowids a clean-up step would delete: the set-based
// counterpart of a marker column, kept apart from the user's tables.
const QString kUnmatched = u"temp.bm_unmatched"_s;

} // namespace

Maintenance::Maintenance(Tdm &dm, ProgressSink &progress, Prompter &prompter)
    : m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
{}

bool Maintenance::hasColumns(const QString &table, const QStringList &columns)
{
    const QStringList names = m_dm.columns(table);
    for (const QString &column : columns) {
        if (!names.contains(column, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

qint64 Maintenance::count(const QString &sql)
{
    Stmt stmt = m_dm.prepare(sql);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        throw Error(m_dm.sqliteError());
    return sqlite3_column_int64(stmt.get(), 0);
}

qint64 Maintenance::execCount(const QString &sql)
{
    m_dm.exec(sql);
    return sqlite3_changes64(m_dm.handle());
}

// ---------------------------------------------------------------------------------------------
// Orphan clean-up

void Maintenance::indexMaster(const QString &master, const QStringList &columns)
{
    // The look-ups of a step go through an index of the master table with the columns' own
    // collation; it lives only while the clean-up runs, so the schema stays as it was.
    const QString name = u"bm_clean_"_s + master + u'_' + columns.join(u'_');
    if (m_indexes.contains(name))
        return;
    QStringList quoted;
    for (const QString &column : columns)
        quoted << q(column);
    m_dm.exec(u"CREATE INDEX %1 ON %2 (%3)"_s.arg(q(name), q(master), quoted.join(u", "_s)));
    m_indexes << name;
}

void Maintenance::dropIndexes()
{
    for (const QString &name : std::as_const(m_indexes))
        m_dm.exec(u"DROP INDEX IF EXISTS "_s + q(name));
    m_indexes.clear();
}

qint64 Maintenance::removeUnmatched(const QString &client, const QString &condition,
                                    const Prompt &prompt)
{
    qint64 unmatched = 0;
    {
        BusyCursor busy(m_progress);
        m_dm.exec(u"CREATE TEMP TABLE IF NOT EXISTS bm_unmatched (id INTEGER PRIMARY KEY)"_s);
        m_dm.exec(u"DELETE FROM "_s + kUnmatched);
        unmatched = execCount(u"INSERT INTO %1 SELECT c.rowid FROM %2 AS c WHERE %3"_s.arg(
                kUnmatched, q(client), condition));
    }
    qint64 removed = 0;
    if (m_prompter.askYesNo(prompt(unmatched)) && unmatched > 0) {
        BusyCursor busy(m_progress);
        removed = execCount(
                u"DELETE FROM %1 WHERE rowid IN (SELECT id FROM %2)"_s.arg(q(client), kUnmatched));
        if (removed != unmatched)
            throw Error(u"Table %1 changed during the clean-up"_s.arg(client));
    }
    m_dm.exec(u"DELETE FROM "_s + kUnmatched);
    m_changes << TableChange{client, removed};
    return removed;
}

qint64 Maintenance::FileClean(const QString &MasterTable, const QString &ClientTable)
{
    return cleanUp({{MasterTable, ClientTable}}, false);
}

qint64 Maintenance::cleanStep(const QString &MasterTable, const QString &ClientTable)
{
    QStringList conditions;
    {
        BusyCursor busy(m_progress);
        if (hasColumns(MasterTable, {kNationalID}) && hasColumns(ClientTable, {kNationalID})) {
            // With a calving date the same index serves the test-day step as well.
            indexMaster(MasterTable, hasColumns(MasterTable, {kCalvingDate})
                                             ? QStringList{kNationalID, kCalvingDate}
                                             : QStringList{kNationalID});
            conditions << noPartner(MasterTable, {kNationalID});
        }
        const QStringList cowAndHerd{kCowID, kHerdCode};
        if (hasColumns(MasterTable, cowAndHerd) && hasColumns(ClientTable, cowAndHerd)) {
            indexMaster(MasterTable, cowAndHerd);
            conditions << noPartner(MasterTable, cowAndHerd);
        }
    }
    // A row survives through either match; with neither possible, no row has a partner.
    const QString condition = conditions.isEmpty() ? u"1"_s : conditions.join(u" AND "_s);
    return removeUnmatched(ClientTable, condition, [&](qint64 count) {
        return u"%1 Unmatched records found in %2 file.\r\rDo you wish to remove them."_s.arg(count)
                .arg(ClientTable);
    });
}

qint64 Maintenance::cleanTestDays()
{
    const QString master = u"103"_s;
    const QString client = u"104"_s;
    const QStringList columns{kNationalID, kCalvingDate};
    QString condition = u"1"_s;
    if (hasColumns(master, columns) && hasColumns(client, columns)) {
        BusyCursor busy(m_progress);
        indexMaster(master, columns);
        condition = noPartner(master, columns);
    }
    return removeUnmatched(client, condition, [](qint64 count) {
        return u"%1 Records found in 104 file with no corresponding 103 record.\r\rDo you wish "
               "to remove them."_s.arg(count);
    });
}

qint64 Maintenance::cleanUp(const QList<std::pair<QString, QString>> &pairs, bool testDays)
{
    m_indexes.clear();
    m_changes.clear();
    qint64 removed = 0;
    Transaction transaction(m_dm);
    try {
        for (const auto &[master, client] : pairs)
            removed += cleanStep(master, client);
        if (testDays)
            removed += cleanTestDays();
        BusyCursor busy(m_progress);
        dropIndexes();
        m_dm.exec(u"DROP TABLE IF EXISTS "_s + kUnmatched);
    } catch (...) {
        m_indexes.clear(); // the rollback takes them away
        m_changes.clear();
        throw;
    }
    transaction.commit();
    return removed;
}

void Maintenance::RemoveDataForCowsNotIn102()
{
    const QString p = u"102"_s;
    cleanUp({{p, u"103"_s},
             {p, u"104"_s},
             {p, u"106"_s},
             {p, u"108"_s},
             {p, u"112"_s},
             {p, u"211"_s}},
            false);
    m_prompter.notify(u"Finished Cleanup."_s);
}

void Maintenance::RemoveCowsNotIn103()
{
    const QString p = u"102"_s;
    cleanUp({{u"103"_s, p},
             {p, u"104"_s},
             {p, u"106"_s},
             {p, u"108"_s},
             {p, u"112"_s},
             {p, u"211"_s}},
            true);
    m_prompter.notify(u"Finished Cleanup."_s);
}

// ---------------------------------------------------------------------------------------------
// Trimming by the filter

void Maintenance::ApplyFilterToCurrentTable(const FilterQuery &applied)
{
    m_changes.clear();
    const QString table = q(applied.table);
    const QString condition = conditionOf(applied);
    Transaction transaction(m_dm);
    qint64 excluded = 0;
    {
        // The number announced and the rows deleted come from one condition: the filter the
        // grid shows. A condition the database refuses ends the command here.
        BusyCursor busy(m_progress);
        const qint64 total = count(u"SELECT count(*) FROM "_s + table);
        const qint64 listed
                = condition.isEmpty()
                          ? total
                          : count(u"SELECT count(*) FROM %1 WHERE %2"_s.arg(table, condition));
        excluded = total - listed;
    }
    if (!m_prompter.askYesNo(
                u"This will remove %1 records from the %2 file that have been "
                "excluded by the current filter.\r\rDo you wish to continue."_s.arg(excluded)
                        .arg(applied.table)))
        return;
    if (excluded > 0) {
        BusyCursor busy(m_progress);
        // A row the condition does not hold for (false or Null) is excluded.
        const qint64 removed
                = execCount(u"DELETE FROM %1 WHERE NOT ifnull((%2), 0)"_s.arg(table, condition));
        if (removed != excluded)
            throw Error(u"Table %1 changed during the command"_s.arg(applied.table));
    }
    transaction.commit();
    m_changes << TableChange{applied.table, excluded};
    m_prompter.notify(u"Finished."_s);
}

void Maintenance::RemoveDisplayedData(const FilterQuery &applied)
{
    m_changes.clear();
    const QString table = q(applied.table);
    const QString condition = conditionOf(applied);
    const QString where = condition.isEmpty() ? QString() : u" WHERE "_s + condition;
    Transaction transaction(m_dm);
    qint64 listed = 0;
    {
        BusyCursor busy(m_progress);
        listed = count(u"SELECT count(*) FROM "_s + table + where);
    }
    if (!m_prompter.askYesNo(u"This will remove the %1 records displayed from the %2 file.\r\rDo "
                             "you wish to continue."_s.arg(listed)
                                     .arg(applied.table)))
        return;
    {
        BusyCursor busy(m_progress);
        const qint64 removed = execCount(u"DELETE FROM "_s + table + where);
        if (removed != listed)
            throw Error(u"Table %1 changed during the command"_s.arg(applied.table));
    }
    transaction.commit();
    m_changes << TableChange{applied.table, listed};
    m_prompter.notify(u"Finished."_s);
}

// ---------------------------------------------------------------------------------------------
// Herd code and national IDs

QString Maintenance::herdcodeOf(const QString &typed)
{
    QString code = typed;
    if (code.startsWith(u'\''))
        code.remove(0, 1);
    if (code.endsWith(u'\''))
        code.chop(1);
    return code;
}

void Maintenance::ChangeHerdcode(const QString &current)
{
    m_changes.clear();
    const std::optional<QString> typed
            = m_prompter.inputText(u"Change Herdcode"_s, u"Enter New Herdcode"_s, current);
    if (!typed)
        return;
    if (typed->size() > 7) {
        m_prompter.notify(u"Herdcode must be less than 7 characters."_s);
        return;
    }
    const QString code = herdcodeOf(*typed);
    if (code.isEmpty())
        return;

    Transaction transaction(m_dm);
    QList<TableChange> changes;
    {
        BusyCursor busy(m_progress);
        const QByteArray value = code.toUtf8();
        for (const RecordType &type : recordTypes()) {
            if (!hasColumns(type.code, {kHerdCode}))
                continue;
            Stmt stmt = m_dm.prepare(u"UPDATE %1 SET %2 = ?1"_s.arg(q(type.code), q(kHerdCode)));
            sqlite3_bind_text(stmt.get(), 1, value.constData(), int(value.size()),
                              SQLITE_TRANSIENT);
            if (sqlite3_step(stmt.get()) != SQLITE_DONE)
                throw Error(m_dm.sqliteError());
            changes << TableChange{type.code, sqlite3_changes64(m_dm.handle())};
        }
    }
    if (m_confirm && !m_confirm(changes))
        return;
    transaction.commit();
    m_changes = changes;
}

void Maintenance::MergeNationalIDs(const QString &initial)
{
    m_changes.clear();
    m_mergeFile.clear();
    const std::optional<QString> chosen = m_prompter.openFile(u"DIF Files (*.102)"_s, initial);
    if (!chosen)
        return;
    const QString file = withExtension(*chosen, u"102"_s);
    m_mergeFile = file;
    if (!QFileInfo(file).isFile()) {
        m_prompter.notify(u"DIF 102 does not exist."_s);
        return;
    }

    const QString merge = u"MergeCow"_s;
    const QStringList keys{kCowID, kHerdCode};
    const QStringList columns{kCowID, kHerdCode, kNationalID};
    HideAtEnd hide{m_progress};
    Transaction transaction(m_dm);
    m_dm.exec(u"DELETE FROM "_s + q(merge));
    m_progress.show();
    Importer(m_dm, m_progress, m_prompter)
            .ImportFile(file, merge, layoutName(u"102"_s, GetDIFVersion(file)));

    QList<TableChange> changes;
    if (hasColumns(merge, columns)) {
        const QList<RecordType> &types = recordTypes();
        m_progress.setStatus(u"Merging National ID's"_s);
        m_progress.setMaximum(types.size());
        m_progress.setPosition(0);
        m_progress.setRecords(QString::number(count(u"SELECT count(*) FROM "_s + q(merge))));
        m_progress.repaint();
        const QString index = u"bm_merge_keys"_s;
        m_dm.exec(u"CREATE INDEX %1 ON %2 (%3, %4)"_s.arg(q(index), q(merge), q(kCowID),
                                                          q(kHerdCode)));
        for (const RecordType &type : types) {
            if (hasColumns(type.code, columns)) {
                // Several merge records for one cow: the database takes one of them.
                const qint64 rows = execCount(
                        u"UPDATE %1 AS t SET %2 = m.%2 FROM %3 AS m WHERE t.%4 = m.%4 AND "
                        "t.%5 = m.%5"_s.arg(q(type.code), q(kNationalID), q(merge), q(kCowID),
                                            q(kHerdCode)));
                changes << TableChange{type.code, rows};
            }
            m_progress.step();
        }
        m_dm.exec(u"DROP INDEX "_s + q(index));
    }
    m_dm.exec(u"DELETE FROM "_s + q(merge));
    if (m_confirm && !m_confirm(changes))
        return;
    transaction.commit();
    m_changes = changes;
    m_progress.hide();
    m_prompter.notify(u"Finished Merge."_s);
}

} // namespace bm
