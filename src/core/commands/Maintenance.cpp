#include "Maintenance.h"

#include "Error.h"
#include "Importer.h"
#include "Layout.h"
#include "Loader.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "Tdm.h"
#include "Undo.h"

#include <QFileInfo>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

QString q(const QString &name)
{
    return Tdm::quoteId(name);
}

// The condition of a filter the grid shows, without its "WHERE "; empty without a filter.
QString conditionOf(const QString &table, const QString &whereClause)
{
    const QString where = whereClause.trimmed();
    if (where.isEmpty())
        return QString();
    if (!where.startsWith(u"WHERE "_s))
        throw Error(u"The filter of table %1 cannot be read"_s.arg(table));
    return where.mid(6);
}

const QString kNationalID = u"NationalID"_s;
const QString kCowID = u"CowID"_s;
const QString kHerdCode = u"HerdCode"_s;
const QString kCalvingDate = u"CalvingDate"_s;

} // namespace

Maintenance::Maintenance(Tdm &dm, ProgressSink &progress, Prompter &prompter)
    : m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
    , m_finder(dm)
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

qint64 Maintenance::execCount(const QString &sql)
{
    return m_dm.exec(sql);
}

void Maintenance::committed()
{
    if (m_committed)
        m_committed();
}

// ---------------------------------------------------------------------------------------------
// Orphan clean-up

qint64 Maintenance::removeUnmatched(const QString &master, const QString &client,
                                    const QList<QStringList> &matches, const Prompt &prompt)
{
    std::vector<qint64> unmatched;
    {
        BusyCursor busy(m_progress);
        unmatched = m_finder.find(master, client, matches);
    }
    qint64 removed = 0;
    if (m_prompter.askYesNo(prompt(qint64(unmatched.size()))) && !unmatched.empty()) {
        BusyCursor busy(m_progress);
        Stmt remove = m_dm.prepare(u"DELETE FROM %1 WHERE rowid = ?1"_s.arg(q(client)));
        for (const qint64 rowid : unmatched) {
            remove->bindInteger(1, rowid);
            removed += remove->run();
        }
        if (removed != qint64(unmatched.size()))
            throw Error(u"Table %1 changed during the clean-up"_s.arg(client));
        m_finder.tableChanged(client);
    }
    m_changes << TableChange{client, removed};
    return removed;
}

qint64 Maintenance::FileClean(const QString &MasterTable, const QString &ClientTable)
{
    return cleanUp(u"Remove Data For Cows Not In "_s + MasterTable, {{MasterTable, ClientTable}},
                   false);
}

qint64 Maintenance::cleanStep(const QString &MasterTable, const QString &ClientTable)
{
    // A row survives through a national ID or through its cow and herd.
    return removeUnmatched(MasterTable, ClientTable, {{kNationalID}, {kCowID, kHerdCode}},
                           [&](qint64 count) {
                               return u"%1 Unmatched records found in %2 file.\r\rDo you wish to "
                                      "remove them."_s.arg(count)
                                              .arg(ClientTable);
                           });
}

qint64 Maintenance::cleanTestDays()
{
    // A test day survives only through a lactation of the same cow and calving date.
    return removeUnmatched(u"103"_s, u"104"_s, {{kNationalID, kCalvingDate}}, [](qint64 count) {
        return u"%1 Records found in 104 file with no corresponding 103 record.\r\rDo you wish "
               "to remove them."_s.arg(count);
    });
}

qint64 Maintenance::cleanUp(const QString &caption, const QList<std::pair<QString, QString>> &pairs,
                            bool testDays)
{
    m_changes.clear();
    m_finder.reset();
    qint64 removed = 0;
    UndoPoint undo(m_dm, m_progress, caption);
    Transaction transaction(m_dm);
    try {
        for (const auto &[master, client] : pairs)
            removed += cleanStep(master, client);
        if (testDays)
            removed += cleanTestDays();
        BusyCursor busy(m_progress);
        m_finder.dropIndexes();
    } catch (...) {
        m_finder.reset(); // the rollback takes the indexes away
        m_changes.clear();
        throw;
    }
    transaction.commit();
    const QString notKept = undo.commit();
    committed();
    if (!notKept.isEmpty())
        m_prompter.notify(notKept);
    return removed;
}

void Maintenance::RemoveDataForCowsNotIn102()
{
    const QString p = u"102"_s;
    cleanUp(u"Remove Data For Cows Not In 102"_s,
            {{p, u"103"_s},
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
    cleanUp(u"Remove Data For Cows Not In 103"_s,
            {{u"103"_s, p},
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

void Maintenance::ApplyFilterToCurrentTable(const QString &table, const QString &where)
{
    trim(table, where, true);
}

void Maintenance::RemoveDisplayedData(const QString &table, const QString &where)
{
    trim(table, where, false);
}

void Maintenance::trim(const QString &name, const QString &whereClause, bool keepListed)
{
    m_changes.clear();
    const QString table = q(name);
    const QString condition = conditionOf(name, whereClause);
    UndoPoint undo(m_dm, m_progress,
                   keepListed ? u"Apply Filter To Current Table"_s
                              : u"Remove Displayed Data From Current Table"_s);
    Transaction transaction(m_dm);
    qint64 doomed = 0;
    {
        // The number announced and the rows deleted come from one condition: the filter the
        // grid shows. A condition the database refuses ends the command here.
        BusyCursor busy(m_progress);
        const qint64 listed
                = m_dm.countRows(u"SELECT * FROM "_s + table
                                 + (condition.isEmpty() ? QString() : u" WHERE "_s + condition));
        doomed = keepListed ? m_dm.rowCount(name) - listed : listed;
    }
    const QString question
            = keepListed ? u"This will remove %1 records from the %2 file that have been excluded "
                           "by the current filter."_s
                         : u"This will remove the %1 records displayed from the %2 file."_s;
    if (!m_prompter.askYesNo(question.arg(doomed).arg(name) + u"\r\rDo you wish to continue."_s))
        return;
    if (doomed > 0) {
        BusyCursor busy(m_progress);
        // Kept are the rows the condition holds for; false or Null is excluded. Without a
        // condition every row is listed, so there is nothing to keep out or everything to remove.
        QString where;
        if (!condition.isEmpty())
            where = keepListed ? u" WHERE NOT ifnull((%1), 0)"_s.arg(condition)
                               : u" WHERE "_s + condition;
        if (execCount(u"DELETE FROM "_s + table + where) != doomed)
            throw Error(u"Table %1 changed during the command"_s.arg(name));
    }
    transaction.commit();
    const QString notKept = undo.commit();
    m_changes << TableChange{name, doomed};
    committed();
    if (!notKept.isEmpty())
        m_prompter.notify(notKept);
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

    UndoPoint undo(m_dm, m_progress, u"Change Herdcode"_s);
    Transaction transaction(m_dm);
    QList<TableChange> changes;
    {
        BusyCursor busy(m_progress);
        for (const RecordType &type : recordTypes()) {
            if (!hasColumns(type.code, {kHerdCode}))
                continue;
            Stmt stmt = m_dm.prepare(u"UPDATE %1 SET %2 = ?1"_s.arg(q(type.code), q(kHerdCode)));
            stmt->bindText(1, code);
            changes << TableChange{type.code, stmt->run()};
        }
    }
    if (m_confirm && !m_confirm(changes))
        return;
    transaction.commit();
    const QString notKept = undo.commit();
    m_changes = changes;
    committed();
    if (!notKept.isEmpty())
        m_prompter.notify(notKept);
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
    HideProgressAtEnd hide(m_progress);
    UndoPoint undo(m_dm, m_progress, u"Merge National ID's"_s);
    Transaction transaction(m_dm);
    m_dm.exec(u"DELETE FROM "_s + q(merge));
    m_progress.show();
    Importer importer(m_dm, m_progress, m_prompter);
    importer.setProblems(m_problems);
    importer.importTypeFile(file, u"102"_s, merge);

    QList<TableChange> changes;
    if (hasColumns(merge, columns)) {
        const QList<RecordType> &types = recordTypes();
        m_progress.setStatus(u"Merging National ID's"_s);
        m_progress.setMaximum(types.size());
        m_progress.setPosition(0);
        m_progress.setRecords(QString::number(m_dm.rowCount(merge)));
        m_progress.repaint();
        const QString index = u"bm_merge_keys"_s;
        // Cow and herd match without regard to case for every letter, through an index in that
        // order (made and dropped inside the transaction, so never stored).
        const QString fold = m_dm.connection().caseless();
        m_dm.exec(u"CREATE INDEX %1 ON %2 (%3%5, %4%5)"_s.arg(q(index), q(merge), q(kCowID),
                                                              q(kHerdCode), fold));
        for (const RecordType &type : types) {
            if (hasColumns(type.code, columns)) {
                // Several merge records for one cow: the database takes one of them.
                const qint64 rows = execCount(
                        u"UPDATE %1 AS t SET %2 = m.%2 FROM %3 AS m WHERE t.%4 = m.%4%6 AND "
                        "t.%5 = m.%5%6"_s.arg(q(type.code), q(kNationalID), q(merge), q(kCowID),
                                              q(kHerdCode), fold));
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
    const QString notKept = undo.commit();
    m_changes = changes;
    m_progress.hide();
    committed();
    if (!notKept.isEmpty())
        m_prompter.notify(notKept);
    m_prompter.notify(u"Finished Merge."_s);
}

} // namespace bm
