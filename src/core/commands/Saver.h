#pragma once

#include "AdeJson.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace bm {

class Tdm;
class ProgressSink;
class Prompter;

// ADE: the animals, lactations and test days as ICAR ADE JSON collections (AdeJson.h).
enum class SaveFormat { DIF, CSV, ADE };

// What the Select Files dialog, or the command line, asks to save.
struct SaveRequest
{
    SaveFormat format = SaveFormat::DIF;
    bool zip = false;
    QStringList types; // record type codes; they are written in tab order whatever order this has
};

struct SaveResult
{
    // The files written, in tab order; for an archive, the files packed into it (written to the
    // scratch folder and removed from there once packed).
    QStringList written;
    QStringList empty;    // DIF: the record types whose table has no rows (no file written)
    QString archive;      // the archive written, or empty
    QStringList noAde;    // ADE: the ticked record types that have no ADE resource (not written)
    qint64 withoutId = 0; // ADE: rows left out for want of a national ID
};

// The Save Files command after its dialog: each ticked table written as DIF (every line stamped
// with its record type's current version; the tables are only read) or as CSV, into the chosen
// file's folder or, to be zipped, into the scratch folder <home>Scratch/ and then packed into
// one archive. The files beside the chosen one are written to temporary files first and put in
// place together: an error leaves the files that were there as they were, and makes no archive.
// What a finished save did, in one line for the status line: the files written and where, or
// the archive, and the ticked tables that were empty.
QString saveSummary(const SaveResult &result);

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

    // The name the save-file dialog offers, from the name chosen last: without ".zip" unless the
    // files are zipped (herd.zip gives herd for DIF files, herd.csv for CSV files, and herd.csv
    // gives herd.zip for an archive). A folder (ending in "/") is offered as it is.
    static QString offeredName(const SaveRequest &request, const QString &lastFile);
    // The existing files that saving to `chosen` would replace (or, for a DIF file of an empty
    // table, remove), in tab order; for an archive, the archive.
    static QStringList replacedFiles(const SaveRequest &request, const QString &chosen);

    // The Save button's question: when nothing is ticked it says so and asks nothing; otherwise
    // the save-file dialog, offering offeredName() of `lastFile`, which then holds the choice.
    // std::nullopt when nothing is ticked or the user cancels. The dialog itself does not ask
    // about replacing files: confirmReplace() asks once about every file the save replaces.
    std::optional<QString> chooseFile(const SaveRequest &request, QString &lastFile);
    // When saving to `chosen` would replace existing files, asks once, naming how many; true
    // when there are none or the user answers Yes.
    bool confirmReplace(const SaveRequest &request, const QString &chosen);
    // Saves to the chosen file. Raises on error.
    SaveResult save(const SaveRequest &request, const QString &chosen);
    // The identifier scheme and milk density of ADE JSON (the defaults until set).
    void setAdeSettings(const AdeSettings &settings) { m_ade = settings; }

private:
    // Raises when `version`, the current version of record type `code`, is missing or is not
    // one letter or digit.
    void checkVersion(const QString &code, const QString &version);

    Tdm &m_dm;
    ProgressSink &m_progress;
    Prompter &m_prompter;
    AdeSettings m_ade;
};

} // namespace bm
