#pragma once

#include <QString>
#include <QStringList>

namespace bm {

class Tdm;
class ProgressSink;
class Prompter;

enum class SaveFormat { DIF, CSV };

// What the Select Files dialog, or the command line, asks to save.
struct SaveRequest
{
    SaveFormat format = SaveFormat::DIF;
    bool zip = false;
    QStringList types; // record type codes; they are written in tab order whatever order this has
};

struct SaveResult
{
    QStringList written; // the files written, in tab order
    QStringList empty;   // DIF: the record types whose table has no rows (no file written)
    QString archive;     // the archive written, or empty
};

// The Save Files command after its dialog: each ticked table written as DIF (re-stamped with its
// current version first) or as CSV, into the chosen file's folder or, to be zipped, into the
// scratch folder <home>Scratch/ and then packed into one archive. The data work is one
// transaction: an error rolls the version stamps back; files finished before it stay, later
// record types are not written and no archive is made.
class Saver
{
public:
    Saver(Tdm &dm, ProgressSink &progress, Prompter &prompter);

    // The save-file dialog's name filter and default suffix for a request.
    static QString fileFilter(const SaveRequest &request);
    static QString defaultSuffix(const SaveRequest &request);
    // The bare name a record type is written to, from the chosen file: herd.zip gives herd.101
    // for DIF; herd.csv gives herd_101.csv and my.herd.csv gives my.herd_101.csv for CSV.
    static QString outputName(SaveFormat format, const QString &chosen, const QString &code);
    // The chosen path with its extension replaced by ".zip".
    static QString archivePath(const QString &chosen);
    // Where files are written before they are packed: <home>Scratch/.
    QString scratchFolder() const;

    enum class Outcome { Saved, NothingTicked, Cancelled };
    // The Save button: says so and stops when nothing is ticked, asks for the file name
    // (starting at `lastFile`, which then holds the choice) and saves. Raises on error.
    Outcome run(const SaveRequest &request, QString &lastFile);
    // Saves to the chosen file without asking. Raises on error.
    SaveResult save(const SaveRequest &request, const QString &chosen);
    // What the last run() saved.
    const SaveResult &result() const { return m_result; }

private:
    void stampVersion(const QString &code, const QString &version);

    Tdm &m_dm;
    ProgressSink &m_progress;
    Prompter &m_prompter;
    SaveResult m_result;
};

} // namespace bm
