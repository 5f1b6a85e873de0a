#include "Saver.h"

#include "CsvWriter.h"
#include "DifWriter.h"
#include "Error.h"
#include "Layout.h"
#include "Loader.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "Tdm.h"
#include "Zip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

const QString kNothingTicked = u"No record type is ticked: nothing was saved."_s;

} // namespace

QString saveSummary(const SaveResult &result)
{
    QString text;
    if (!result.archive.isEmpty()) {
        text = u"Saved \"%1\" holding %2 %3"_s.arg(
                QDir::toNativeSeparators(result.archive), countText(result.written.size()),
                result.written.size() == 1 ? u"file"_s : u"files"_s);
    } else if (!result.written.isEmpty()) {
        QStringList names;
        for (const QString &path : result.written)
            names << QFileInfo(path).fileName();
        text = u"Saved %1 %2 in \"%3\": %4"_s.arg(
                countText(result.written.size()),
                result.written.size() == 1 ? u"file"_s : u"files"_s,
                QDir::toNativeSeparators(QFileInfo(result.written.first()).absolutePath()),
                names.join(u", "_s));
    } else {
        text = u"Nothing saved"_s;
    }
    if (!result.empty.isEmpty())
        text += u" (empty, no file: %1)"_s.arg(result.empty.join(u", "_s));
    if (!result.noAde.isEmpty())
        text += u" (no ICAR ADE resource, not written: %1)"_s.arg(result.noAde.join(u", "_s));
    if (result.withoutId > 0)
        text += u" (%1 %2 without a national ID left out)"_s.arg(
                countText(result.withoutId), result.withoutId == 1 ? u"row"_s : u"rows"_s);
    return text;
}

Saver::Saver(Tdm &dm, ProgressSink &progress, Prompter &prompter)
    : m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
{}

QString Saver::fileFilter(const SaveRequest &request)
{
    if (request.zip)
        return u"zip File (*.zip)"_s;
    switch (request.format) {
    case SaveFormat::DIF:
        break;
    case SaveFormat::CSV:
        return u"csv File (*.csv)"_s;
    case SaveFormat::ADE:
        return u"JSON Files (*.json)"_s;
    }
    return u"DIF Files (*.1* *.2*)"_s;
}

QString Saver::defaultSuffix(const SaveRequest &request)
{
    if (request.zip || request.format == SaveFormat::DIF)
        return u"zip"_s;
    return request.format == SaveFormat::CSV ? u"csv"_s : u"json"_s;
}

QString Saver::outputName(SaveFormat format, const QString &chosen, const QString &code)
{
    const QString name = QFileInfo(chosen).fileName();
    if (format == SaveFormat::DIF)
        return withExtension(name, code);
    const QString stem = withExtension(name, QString()).chopped(1); // without "." and extension
    if (format == SaveFormat::ADE)
        return stem + u'_' + adeCollectionName(code) + u".json"_s;
    return stem + u'_' + code + u".csv"_s;
}

QString Saver::archivePath(const QString &chosen)
{
    return withExtension(QFileInfo(chosen).absoluteFilePath(), u"zip"_s);
}

QString Saver::offeredName(const SaveRequest &request, const QString &lastFile)
{
    if (lastFile.isEmpty() || lastFile.endsWith(u'/'))
        return lastFile; // nothing, or only the folder to start in
    const QString suffix = QFileInfo(lastFile).suffix();
    const bool ours = suffix.compare(u"zip"_s, Qt::CaseInsensitive) == 0
                      || suffix.compare(u"csv"_s, Qt::CaseInsensitive) == 0
                      || suffix.compare(u"json"_s, Qt::CaseInsensitive) == 0;
    const QString stem = ours ? lastFile.chopped(suffix.size() + 1) : lastFile;
    if (request.zip)
        return stem + u".zip"_s;
    switch (request.format) {
    case SaveFormat::DIF:
        break;
    case SaveFormat::CSV:
        return stem + u".csv"_s;
    case SaveFormat::ADE:
        return stem + u".json"_s;
    }
    return stem;
}

QStringList Saver::replacedFiles(const SaveRequest &request, const QString &chosen)
{
    QStringList replaced;
    if (request.zip) {
        const QString archive = archivePath(chosen);
        if (QFileInfo::exists(archive))
            replaced << archive;
        return replaced;
    }
    const QString folder = QFileInfo(chosen).absolutePath() + u'/';
    for (const RecordType &t : recordTypes()) {
        const QString path = folder + outputName(request.format, chosen, t.code);
        if (request.types.contains(t.code)
            && (request.format != SaveFormat::ADE || isAdeType(t.code)) && QFileInfo::exists(path))
            replaced << path;
    }
    return replaced;
}

bool Saver::confirmReplace(const SaveRequest &request, const QString &chosen)
{
    const QStringList replaced = replacedFiles(request, chosen);
    if (replaced.isEmpty())
        return true;
    const QString folder = QDir::toNativeSeparators(QFileInfo(replaced.first()).absolutePath());
    QString head;
    if (replaced.size() == 1) {
        head = u"\"%1\" already exists in \"%2\" and will be replaced."_s.arg(
                QFileInfo(replaced.first()).fileName(), folder);
    } else {
        QStringList names;
        for (const QString &path : replaced)
            names << QFileInfo(path).fileName();
        const QString listed = names.size() <= 4 ? names.join(u", "_s)
                                                 : names.first() + u" ... "_s + names.last();
        head = u"%1 files already exist in \"%2\" and will be replaced (%3)."_s.arg(
                countText(replaced.size()), folder, listed);
    }
    return m_prompter.askYesNo(head + u"\r\rDo you wish to continue."_s);
}

std::optional<QString> Saver::chooseFile(const SaveRequest &request, QString &lastFile)
{
    if (request.types.isEmpty()) {
        m_prompter.notify(kNothingTicked);
        return std::nullopt;
    }
    const std::optional<QString> chosen = m_prompter.saveFile(
            fileFilter(request), defaultSuffix(request), offeredName(request, lastFile));
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    lastFile = *chosen;
    return chosen;
}

void Saver::stampVersion(const QString &code, const QString &version)
{
    const QString ini = QDir::toNativeSeparators(defsFolder(m_dm.home()) + u"DIFVersion.ini"_s);
    if (version.isEmpty())
        throw Error(
                u"Cannot save table %1: \"%2\" gives no current version for it"_s.arg(code, ini));
    if (version.size() != 1 || version.at(0).unicode() > 0x7F || !version.at(0).isLetterOrNumber())
        throw Error(u"Cannot save table %1: \"%2\" gives it the version \"%3\"; a version is one "
                    "letter or digit"_s.arg(code, ini, version));
    // The version is bound, never spliced into the statement. Rows that already carry it are
    // left alone, so a table saved before is not rewritten.
    Stmt stmt = m_dm.prepare(u"UPDATE "_s + Tdm::quoteId(code)
                             + u" SET VersionNo = ?1 WHERE VersionNo IS NOT ?1"_s);
    if (version.at(0).isDigit())
        stmt->bindInteger(1, version.toLongLong());
    else
        stmt->bindText(1, version);
    if (stmt->step() == db::Step::Refused)
        throw Error(
                u"Cannot stamp table %1 with version %2: %3"_s.arg(code, version, stmt->refusal()));
}

SaveResult Saver::save(const SaveRequest &request, const QString &chosen)
{
    QStringList codes;
    for (const QString &code : request.types)
        if (recordTypeIndex(code) < 0)
            throw Error(u"'%1' is not a record type"_s.arg(code));
    SaveResult result;
    for (const RecordType &t : recordTypes()) {
        if (!request.types.contains(t.code))
            continue;
        if (request.format == SaveFormat::ADE && !isAdeType(t.code))
            result.noAde << t.code;
        else
            codes << t.code;
    }
    if (request.format == SaveFormat::ADE)
        m_ade.check();

    // The chosen name must name a file: a folder would have the files written beside it, named
    // after the folder.
    const QFileInfo chosenInfo(chosen);
    if (chosenInfo.isDir() || chosen.endsWith(u'/') || chosenInfo.fileName().isEmpty())
        throw Error(u"Cannot save to \"%1\": it is a folder. Choose a file name in it"_s.arg(
                QDir::toNativeSeparators(chosen)));

    if (codes.isEmpty()) {
        m_prompter.notify(result.noAde.isEmpty()
                                  ? kNothingTicked
                                  : u"None of the ticked record types has an ICAR ADE resource: "
                                    "JSON is written for %1. Nothing was saved."_s.arg(
                                            adeTypes().join(u", "_s)));
        return result;
    }

    HideProgressAtEnd hideAtEnd(m_progress);
    m_progress.show();
    const QString folder
            = request.zip ? scratchFolder(m_dm.home()) : QFileInfo(chosen).absolutePath() + u'/';
    // Files written only to be packed are removed once the archive is made, or when the save
    // ends without it: the scratch folder keeps nothing of a save.
    struct RemoveScratchFiles
    {
        const bool zip;
        const QStringList &files;
        ~RemoveScratchFiles()
        {
            if (zip)
                for (const QString &file : files)
                    QFile::remove(file);
        }
    };

    const bool dif = request.format == SaveFormat::DIF;
    std::optional<Transaction> transaction;
    if (dif)
        transaction.emplace(m_dm);
    DifWriter difWriter(m_dm, m_progress);
    CsvWriter csvWriter(m_dm, m_progress);
    AdeWriter adeWriter(m_dm, m_progress, m_ade);
    QStringList fileList;
    const RemoveScratchFiles removeScratchFiles{request.zip, fileList};
    for (const QString &code : std::as_const(codes)) {
        const QString path = folder + outputName(request.format, chosen, code);
        const QString query = u"SELECT * FROM "_s + Tdm::quoteId(code);
        fileList << path;
        if (dif) {
            const QString version = currentVersion(m_dm.home(), code);
            stampVersion(code, version);
            if (difWriter.ExportDIF(query, path, layoutName(code, version), false) > 0)
                result.written << path;
            else
                result.empty << code;
        } else if (request.format == SaveFormat::ADE) {
            result.withoutId += adeWriter.write(code, path).skipped;
            result.written << path;
        } else {
            csvWriter.ExportCSV(query, path, true, false);
            result.written << path;
        }
    }
    if (request.zip && !result.written.isEmpty()) {
        const QString archive = archivePath(chosen);
        ZipFileList(archive, fileList, m_progress);
        result.archive = archive;
    }
    if (transaction)
        transaction->commit();
    m_progress.hide();

    if (result.written.isEmpty())
        m_prompter.notify(request.zip ? u"The ticked tables are empty: no file was written and no "
                                        "archive made."_s
                                      : u"The ticked tables are empty: no file was written."_s);
    return result;
}

} // namespace bm
