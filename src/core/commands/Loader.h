#pragma once

#include "Importer.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <memory>

namespace bm {

class DifSplitter;
class Tdm;
class ProblemList;
class ProgressSink;
class Prompter;

// The open-file dialog's filter for a data set: per-type files (extensions beginning with 1 or
// 2), combined DIF files and ZIP archives, matched without regard to case.
QString loadFileFilter();

// The scratch folder <home>Scratch/, created when missing. Unpacked and split files live here
// and nowhere else, so clearing them can never touch a file of the program or of the user.
QString scratchFolder(const QString &home);

// Deletes every entry of the folder of `FSpec` whose name matches the last part of `FSpec`
// ("*" any run of characters, dots included; "?" one character; letter case ignored), hidden
// entries included, except the file `keep`. An entry that cannot be deleted (a folder, or no
// permission) raises an error with the system's message.
void DeleteFileSpec(const QString &FSpec, const QString &keep = QString());

// `path` with its extension (from the last dot of its file name on) replaced by "." + `ext`.
QString withExtension(const QString &path, const QString &ext);

// The Load Files command: turns the chosen file into a set of per-type files with one folder and
// stem, then replaces the contents of all twelve record-type tables with them.
//
// A ZIP archive is unpacked into the scratch folder and a combined ".DIF" file is split there.
// Then each table, in tab order, is emptied and filled from the per-type file of its type beside
// the candidate when that file exists and is not empty. The tables change in one transaction:
// an error that ends the load leaves every table as it was. The progress window is shown during
// the load and hidden however it ends.
class Loader
{
public:
    struct TableLoad
    {
        QString code;
        QString file;
        Importer::Counts counts;
    };

    Loader(Tdm &dm, ProgressSink &progress, Prompter &prompter);

    // The collation that orders the lines of a combined file (default: the user's locale).
    void setCollationLocale(const QLocale &locale) { m_locale = locale; }
    // Every line and field error of the next loads is added to `problems`, also when a load
    // ends with an error: named by the file the user chose (an archive's entry after the
    // archive's name, "herd.zip: herd.104") and the line's number in it, also for the lines of
    // a combined file, which the load reads from the per-type files it split it into.
    void setProblems(ProblemList *problems) { m_problems = problems; }

    // Raises when the load cannot be done; the message then ends by saying that the tables were
    // left as they were. A data set that holds no record of any record type is refused before
    // any table is emptied, and so is one with a file of lines none of which is a record of its
    // type. The per-type files beside a chosen one are found without regard to letter case.
    // The files the load unpacked or split into the scratch folder are removed at its end,
    // however it ends. False when the user cancelled the choice of a data set: nothing changed.
    bool load(const QString &FileName);

    // Unpacks a data set of the archive `FName` into the scratch folder by bare entry names and
    // returns its DIF file: the combined ".DIF" file, or the per-type file of its first record
    // type. A data set is one combined file, or the per-type files (extension a record type
    // code) of one folder and stem, letter case aside; with more than one the user is asked
    // which (Prompter::chooseItem). Nothing else of the archive is unpacked. Refused before
    // anything is written: an archive whose directory is far larger than a data set's, entries
    // whose declared sizes add up to more than the scratch folder's free space (added without
    // wrapping round), one record type twice in the set. Empty when the archive holds no data
    // set, or the user cancelled the choice (cancelled() then says so).
    QString UnZipFile(const QString &FName);
    bool cancelled() const { return m_cancelled; }
    // Splits the combined DIF file `FName` into per-type files in the scratch folder and returns
    // the path of the file of its first record type (ending in "." when no line remained).
    QString SplitDIF(const QString &FName);

    // The per-type files the last load imported, in tab order.
    const QList<TableLoad> &tables() const { return m_tables; }
    // What the last load of `chosen` did, in one line for the status line: the records of each
    // table it filled, their sum, and the lines left out with errors.
    QString summary(const QString &chosen) const;
    // The files the last SplitDIF wrote, in tab order.
    const QStringList &splitFiles() const { return m_splitFiles; }

    // `message` followed by the sentence that the tables were left as they were.
    static QString tablesKept(const QString &message);

private:
    void loadTables(const QString &FileName);
    // SplitDIF with the splitter made for it. With `background`, the files are written on the
    // splitter's own thread while the caller goes on; each is there after splitter->waitFor().
    QString splitDif(const QString &FName, std::unique_ptr<DifSplitter> &splitter, bool background);
    // Names the problems from `first` on by the files the user knows.
    void nameProblems(qsizetype first, const QString &archive, const QString &combined);

    Tdm &m_dm;
    ProgressSink &m_progress;
    Prompter &m_prompter;
    QLocale m_locale;
    QList<TableLoad> m_tables;
    QStringList m_splitFiles;
    QList<qint64> m_splitLines; // the lines of each of m_splitFiles
    QStringList m_made;         // scratch files made by UnZipFile and SplitDIF since the load began
    ProblemList *m_problems = nullptr;
    bool m_cancelled = false;  // the user cancelled the choice of a data set
    bool m_listedStop = false; // the import listed the line where the load stopped
};

} // namespace bm
