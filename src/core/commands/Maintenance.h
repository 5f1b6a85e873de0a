#pragma once

#include "OrphanFinder.h"

#include <QList>
#include <QString>

#include <functional>

namespace bm {

class Tdm;
class ProblemList;
class ProgressSink;
class Prompter;

// The data maintenance commands: orphan clean-up, trimming a table by its filter, the herd-code
// change and the national-ID merge. Each command is one transaction: it completes, or an error
// (raised as Error) leaves every table as it was. Prompts and notices go through the prompter
// inside the command; the wait cursor and the progress window through the progress sink, and
// both are restored however the command ends. Every value is bound; no table of the user's gets
// a column added or dropped.
class Maintenance
{
public:
    // Rows a command deleted or changed in one table.
    struct TableChange
    {
        QString table;
        qint64 rows = 0;
    };
    // Called with what a herd-code change or a merge has done, before it is committed; false
    // undoes it. Without one, the command commits.
    using Confirm = std::function<bool(const QList<TableChange> &changes)>;

    Maintenance(Tdm &dm, ProgressSink &progress, Prompter &prompter);

    // "Remove Data For Cows Not In 102": cleans 103, 104, 106, 108, 112 and 211 against the
    // pedigree table, then "Finished Cleanup.". Six prompts, each with its count (0 too).
    void RemoveDataForCowsNotIn102();
    // "Remove Data For Cows Not In 103": cleans the pedigree table against the lactations, then
    // 104, 106, 108, 112 and 211 against the trimmed pedigree table, then removes the test days
    // that match no lactation on calving date and national ID. Seven prompts.
    void RemoveCowsNotIn103();
    // One clean-up step as a command of its own: counts the rows of `ClientTable` that have no
    // partner in `MasterTable` (no row with the same NationalID, and no row with the same CowID
    // and HerdCode; Null matches nothing; letter case does not count), asks, and on Yes deletes
    // exactly those rows. Returns the rows deleted. A match whose columns one of the tables
    // lacks matches nothing.
    qint64 FileClean(const QString &MasterTable, const QString &ClientTable);

    // "Apply Filter To Current Table": deletes the rows of `table` that the filter the grid
    // shows does not list, after a prompt naming their number; "Finished.". `where` is that
    // filter's WHERE clause as the grid's statement holds it ("WHERE ... ", or empty without a
    // filter). Without a filter it announces 0 and deletes nothing.
    void ApplyFilterToCurrentTable(const QString &table, const QString &where);
    // "Remove Displayed Data From Current Table": deletes the rows the filter lists (every row
    // without a filter), after a prompt naming their number; "Finished.".
    void RemoveDisplayedData(const QString &table, const QString &where);

    // "Change Herdcode": asks for the new code in the input box (`current` as its default) and
    // writes it, as typed, into HerdCode of every row of every record-type table that has the
    // column. Cancel, an empty code or one longer than 7 characters (with its message) change
    // nothing. A code typed in apostrophes ('ABC') is written without them.
    void ChangeHerdcode(const QString &current);
    // "Merge National ID's": asks for a cow pedigree file (the dialog opens on `initial`), takes
    // the ".102" file of that name, imports it into MergeCow and copies its NationalID into every
    // row of every record-type table with the same CowID and HerdCode; "Finished Merge.".
    // MergeCow is emptied before and after.
    void MergeNationalIDs(const QString &initial);
    // The file the last merge looked for (the chosen name with ".102"); empty when cancelled.
    const QString &mergeFile() const { return m_mergeFile; }

    // The herd code a typed text stands for: the text as typed, without apostrophes around it.
    static QString herdcodeOf(const QString &typed);

    void setConfirm(Confirm confirm) { m_confirm = std::move(confirm); }
    // Called once a command has committed its change and changes() tells what it did, before
    // its closing notice, so a window can show the data as it now is before "Finished ...".
    void setCommitted(std::function<void()> committed) { m_committed = std::move(committed); }
    // Every line and field error of the merge's import is added to `problems` too.
    void setProblems(ProblemList *problems) { m_problems = problems; }
    // How the clean-up finds rows without a partner (tests compare the two ways).
    void setMatchStrategy(OrphanFinder::Strategy strategy) { m_finder.setStrategy(strategy); }
    // What the last command did: the rows each clean-up step or trim deleted (one entry per
    // step, 0 included), or the rows a herd-code change or a merge updated in each table that has
    // the columns. Empty when it changed nothing.
    const QList<TableChange> &changes() const { return m_changes; }

private:
    using Prompt = std::function<QString(qint64 count)>;
    qint64 cleanUp(const QString &caption, const QList<std::pair<QString, QString>> &pairs,
                   bool testDays);
    qint64 cleanStep(const QString &master, const QString &client);
    qint64 cleanTestDays();
    qint64 removeUnmatched(const QString &master, const QString &client,
                           const QList<QStringList> &matches, const Prompt &prompt);
    void trim(const QString &table, const QString &where, bool keepListed);
    bool hasColumns(const QString &table, const QStringList &columns);
    qint64 execCount(const QString &sql);
    void committed();

    Tdm &m_dm;
    ProgressSink &m_progress;
    Prompter &m_prompter;
    Confirm m_confirm;
    std::function<void()> m_committed;
    ProblemList *m_problems = nullptr;
    QString m_mergeFile;
    QList<TableChange> m_changes;
    OrphanFinder m_finder;
};

} // namespace bm
