#include "Saver.h"

#include "Error.h"
#include "FileWrite.h"
#include "Layout.h"
#include "Loader.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "TableExport.h"
#include "Tdm.h"
#include "Zip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <unistd.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

const QString kNothingTicked = u"No record type is ticked: nothing was saved."_s;

// The files of one save, written first to temporary files beside their targets and put in place
// together once every one is complete: a save that fails midway leaves the set that was there
// before, never a mix of old and new files. Temporary files not put in place are removed.
class PendingFiles
{
public:
    PendingFiles() = default;
    PendingFiles(const PendingFiles &) = delete;
    PendingFiles &operator=(const PendingFiles &) = delete;
    ~PendingFiles()
    {
        for (const Change &c : m_changes)
            if (!c.temporary.isEmpty())
                QFile::remove(c.temporary);
    }

    // A new empty file beside `target` that will replace it.
    QString replace(const QString &target)
    {
        const QFileInfo info(target);
        QTemporaryFile file(info.absolutePath() + u"/."_s + info.fileName() + u".XXXXXX"_s);
        file.setAutoRemove(false);
        if (!file.open())
            throw Error(u"Cannot create file \"%1\". %2"_s.arg(QDir::toNativeSeparators(target),
                                                               file.errorString()));
        m_changes.push_back({target, file.fileName(), {}});
        return file.fileName();
    }
    // `target`, written before, is removed with the rest instead (it would be out of date).
    void remove(const QString &target)
    {
        for (Change &c : m_changes) {
            if (c.target == target) {
                if (!c.temporary.isEmpty())
                    QFile::remove(c.temporary);
                c.temporary.clear();
                return;
            }
        }
        m_changes.push_back({target, QString(), {}});
    }

    // `message` with each temporary file named by its target, the file the user knows.
    QString named(QString message) const
    {
        for (const Change &c : m_changes)
            if (!c.temporary.isEmpty())
                message.replace(QDir::toNativeSeparators(c.temporary),
                                QDir::toNativeSeparators(c.target));
        return message;
    }

    // Puts every file in place. Each target there is first linked to a backup name, so should
    // one step fail, the targets already replaced get their old files back.
    void putInPlace()
    {
        for (Change &c : m_changes) {
            if (!QFileInfo(c.target).isFile())
                continue;
            const QByteArray target = QFile::encodeName(c.target);
            for (int attempt = 0; attempt < 100 && c.backup.isEmpty(); ++attempt) {
                const QString backup = QFileInfo(c.target).absolutePath() + u"/."_s
                                       + QFileInfo(c.target).fileName() + u".old-"_s
                                       + QString::number(::getpid()) + u'-'
                                       + QString::number(attempt);
                if (::link(target.constData(), QFile::encodeName(backup).constData()) == 0)
                    c.backup = backup;
                else if (errno != EEXIST)
                    break; // no backup: this file cannot be given back
            }
        }
        size_t done = 0;
        for (; done < m_changes.size(); ++done) {
            const Change &c = m_changes[done];
            const QByteArray target = QFile::encodeName(c.target);
            const int rc = c.temporary.isEmpty()
                                   ? ::unlink(target.constData())
                                   : ::rename(QFile::encodeName(c.temporary).constData(),
                                              target.constData());
            if (rc != 0 && !(c.temporary.isEmpty() && errno == ENOENT)) {
                const QString why = systemMessage(errno);
                giveBack(done);
                throw Error(u"Cannot put \"%1\" in place. %2"_s.arg(
                        QDir::toNativeSeparators(c.target), why));
            }
        }
        for (Change &c : m_changes) {
            c.temporary.clear();
            if (!c.backup.isEmpty())
                QFile::remove(c.backup);
        }
    }

private:
    struct Change
    {
        QString target;
        QString temporary; // empty: the target is removed
        QString backup;    // the old target, linked there while the set is put in place
    };

    // Undoes the first `count` changes as far as their backups allow.
    void giveBack(size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            const Change &c = m_changes[i];
            if (!c.backup.isEmpty())
                ::rename(QFile::encodeName(c.backup).constData(),
                         QFile::encodeName(c.target).constData());
            else if (!c.temporary.isEmpty())
                QFile::remove(c.target);
        }
        for (const Change &c : m_changes)
            if (!c.backup.isEmpty())
                QFile::remove(c.backup);
    }

    std::vector<Change> m_changes;
};

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

void Saver::checkVersion(const QString &code, const QString &version)
{
    const QString ini = QDir::toNativeSeparators(defsFolder(m_dm.home()) + u"DIFVersion.ini"_s);
    if (version.isEmpty())
        throw Error(
                u"Cannot save table %1: \"%2\" gives no current version for it"_s.arg(code, ini));
    if (version.size() != 1 || version.at(0).unicode() > 0x7F || !version.at(0).isLetterOrNumber())
        throw Error(u"Cannot save table %1: \"%2\" gives it the version \"%3\"; a version is one "
                    "letter or digit"_s.arg(code, ini, version));
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
    // Every file is written before any is put in place (the files to be packed are the
    // scratch folder's own). The database is only read: the current version is written into
    // the files, not into the tables, so a read-only database saves too.
    TableExport tableExport(m_dm, m_progress);
    AdeWriter adeWriter(m_dm, m_progress, m_ade);
    PendingFiles pending;
    QStringList fileList;
    const RemoveScratchFiles removeScratchFiles{request.zip, fileList};
    try {
        for (const QString &code : std::as_const(codes)) {
            const QString path = folder + outputName(request.format, chosen, code);
            const QString written = request.zip ? path : pending.replace(path);
            const QString query = u"SELECT * FROM "_s + Tdm::quoteId(code);
            fileList << path;
            if (dif) {
                const QString version = currentVersion(m_dm.home(), code);
                checkVersion(code, version);
                if (tableExport.ExportDIF(query, written, layoutName(code, version), false) > 0) {
                    result.written << path;
                } else {
                    result.empty << code;
                    if (!request.zip)
                        pending.remove(path);
                }
            } else if (request.format == SaveFormat::ADE) {
                result.withoutId += adeWriter.write(code, written).skipped;
                result.written << path;
            } else {
                tableExport.ExportCSV(query, written, true, false);
                result.written << path;
            }
        }
        if (!request.zip)
            pending.putInPlace();
    } catch (const Error &e) {
        if (request.zip)
            throw;
        throw Error(pending.named(e.message()) + (e.message().endsWith(u'.') ? u" "_s : u". "_s)
                    + u"No file was saved: the files already there were left as they were."_s);
    }
    if (request.zip && !result.written.isEmpty()) {
        const QString archive = archivePath(chosen);
        ZipFileList(archive, fileList, m_progress);
        result.archive = archive;
    }
    m_progress.hide();

    if (result.written.isEmpty())
        m_prompter.notify(request.zip ? u"The ticked tables are empty: no file was written and no "
                                        "archive made."_s
                                      : u"The ticked tables are empty: no file was written."_s);
    return result;
}

} // namespace bm
