#include "Loader.h"

#include "DifSplitter.h"
#include "Error.h"
#include "FileWrite.h"
#include "Layout.h"
#include "NumberText.h"
#include "ProblemList.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "Tdm.h"
#include "Text.h"
#include "Undo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStorageInfo>

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>

#include <unistd.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kProgressBytes = 1 << 20;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool hasExtension(const QString &path, QLatin1StringView ext)
{
    return QFileInfo(path).suffix().compare(ext, Qt::CaseInsensitive) == 0;
}

struct ZipCloser
{
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
struct ZipFileCloser
{
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};

QString zipOpenMessage(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString message = QString::fromLocal8Bit(zip_error_strerror(&error));
    zip_error_fini(&error);
    return message;
}

// The part of an entry name after its last folder separator, or empty when that part cannot be
// a file of the scratch folder ("", "." or ".."). Either separator counts, so neither a stored
// folder, an absolute name nor ".." can place a file anywhere else.
QString bareName(const QString &entryName)
{
    const qsizetype cut = std::max(entryName.lastIndexOf(u'/'), entryName.lastIndexOf(u'\\')) + 1;
    const QString name = entryName.mid(cut);
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return QString();
    return name;
}

// Removes whatever is at `path` so a new file can be created there; a symbolic link is removed,
// never followed.
void removeExisting(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        throw Error(u"Cannot replace \"%1\". %2"_s.arg(native(path), systemMessage(errno)));
}

} // namespace

QString loadFileFilter()
{
    return u"DIF Files (*.1* *.2* *.DIF *.ZIP)"_s;
}

QString scratchFolder(const QString &home)
{
    const QString folder = (home.endsWith(u'/') ? home : home + u'/') + u"Scratch/"_s;
    // Its files are deleted by name patterns: only a real folder of the program folder will do,
    // never a link to somebody's folder of files.
    const QFileInfo info(folder.chopped(1));
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        throw Error(u"The scratch folder \"%1\" is %2, not a folder of the program folder. "
                    "Remove it and try again"_s.arg(native(folder.chopped(1)),
                                                    info.isSymLink() ? u"a link"_s : u"a file"_s));
    if (!QDir().mkpath(folder))
        throw Error(u"Cannot create the folder \"%1\""_s.arg(native(folder)));
    return folder;
}

void DeleteFileSpec(const QString &FSpec, const QString &keep)
{
    const qsizetype slash = FSpec.lastIndexOf(u'/');
    const QString folder = FSpec.left(slash + 1);
    const QRegularExpression pattern
            = QRegularExpression::fromWildcard(FSpec.mid(slash + 1), Qt::CaseInsensitive);
    const QString kept = keep.isEmpty() ? QString() : QFileInfo(keep).absoluteFilePath();
    const QDir dir(folder.isEmpty() ? u"."_s : folder);
    const QStringList names = dir.entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        if (!pattern.match(name).hasMatch())
            continue;
        const QString path = folder + name;
        if (!kept.isEmpty() && QFileInfo(path).absoluteFilePath() == kept)
            continue;
        if (::unlink(QFile::encodeName(path).constData()) != 0)
            throw Error(u"Cannot delete \"%1\". %2"_s.arg(native(path), systemMessage(errno)));
    }
}

QString withExtension(const QString &path, const QString &ext)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString stem = dot > slash ? path.left(dot) : path;
    return stem + u'.' + ext;
}

Loader::Loader(Tdm &dm, ProgressSink &progress, Prompter &prompter)
    : m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
{}

void Loader::load(const QString &FileName)
{
    m_tables.clear();
    m_made.clear();
    HideProgressAtEnd hideAtEnd(m_progress);
    // The scratch files this load unpacks or splits are removed once it is done with them,
    // however it ends, so the scratch folder never grows from one load to the next.
    struct RemoveMade
    {
        QStringList &files;
        ~RemoveMade()
        {
            for (const QString &file : std::as_const(files))
                QFile::remove(file);
            files.clear();
        }
    } removeMade{m_made};
    try {
        loadTables(FileName);
    } catch (const DatabaseError &) {
        throw; // says itself that the herd data was left as it was
    } catch (const Error &e) {
        // Nothing is emptied before the data set is known to hold records, and the tables
        // change in one transaction: whatever ended the load, they are as they were.
        throw Error(tablesKept(e.message()));
    }
}

QString Loader::summary(const QString &chosen) const
{
    qint64 records = 0;
    qint64 failed = 0;
    QStringList parts;
    for (const TableLoad &t : m_tables) {
        records += t.counts.inserted;
        failed += t.counts.failedLines;
        parts << u"%1: %2"_s.arg(t.code, countText(t.counts.inserted));
    }
    QString text = u"Loaded \"%1\": %2 %3"_s.arg(QFileInfo(chosen).fileName(), countText(records),
                                                 records == 1 ? u"record"_s : u"records"_s);
    if (!parts.isEmpty())
        text += u" (%1)"_s.arg(parts.join(u", "_s));
    if (failed > 0)
        text += u"; %1 %2 with errors left out"_s.arg(countText(failed),
                                                      failed == 1 ? u"line"_s : u"lines"_s);
    return text;
}

QString Loader::tablesKept(const QString &message)
{
    const QString sentence
            = message.endsWith(u'.') || message.endsWith(u'!') || message.endsWith(u'?')
                      ? message
                      : message + u'.';
    return sentence + u" The tables were left as they were."_s;
}

void Loader::loadTables(const QString &FileName)
{
    {
        // A file that is not there would otherwise just empty every table.
        QFile chosen(FileName);
        if (QFileInfo(FileName).isDir())
            throw Error(
                    u"Cannot open file \"%1\". %2"_s.arg(native(FileName), systemMessage(EISDIR)));
        if (!chosen.open(QIODevice::ReadOnly))
            throw Error(
                    u"Cannot open file \"%1\". %2"_s.arg(native(FileName), chosen.errorString()));
    }
    m_progress.show();

    QString candidate = FileName;
    QString archive;  // the archive unpacked
    QString combined; // the combined file split
    // A combined file's per-type files are written on the splitter's thread while the tables
    // load, each table waiting for its own file. The splitter outlives the transaction, and is
    // stopped before the files it made are removed.
    std::unique_ptr<DifSplitter> splitter;
    if (hasExtension(candidate, "ZIP"_L1)) {
        archive = FileName;
        candidate = UnZipFile(candidate);
    }
    if (hasExtension(candidate, "DIF"_L1)) {
        combined = candidate;
        candidate = splitDif(candidate, splitter, true);
    }

    // The per-type files of the data set, in tab order. A data set without a single record of
    // any record type (a wrong file, garbage, an archive of something else) would only empty
    // every table: it is refused before anything changes.
    struct TypeFile
    {
        QString code;
        QString file;
        qint64 lines = -1; // known for a split's files
    };
    QList<TypeFile> files;
    bool holdsRecords = false;
    for (const RecordType &type : recordTypes()) {
        if (candidate.isEmpty())
            break;
        const QString file = withExtension(candidate, type.code);
        if (splitter) {
            // Every line of a split file begins with its record type.
            if (const qsizetype at = m_splitFiles.indexOf(file); at >= 0) {
                files.append({type.code, file, m_splitLines.at(at)});
                holdsRecords = true;
            }
            continue;
        }
        const QFileInfo info(file);
        if (!info.isFile() || info.isHidden() || info.size() <= 0)
            continue;
        files.append({type.code, file});
        holdsRecords = holdsRecords || Importer::holdsRecords(file, type.code);
    }
    if (!holdsRecords)
        throw Error(u"\"%1\" holds no records of any record type"_s.arg(native(FileName)));

    Importer importer(m_dm, m_progress, m_prompter);
    const qsizetype firstProblem = m_problems ? m_problems->size() : 0;
    importer.setProblems(m_problems, !combined.isEmpty());
    UndoPoint undo(m_dm, m_progress, u"Load Files"_s);
    Transaction transaction(m_dm);
    try {
        for (const RecordType &type : recordTypes()) {
            m_dm.emptyTable(type.code);
            for (const TypeFile &f : std::as_const(files)) {
                if (f.code != type.code)
                    continue;
                if (splitter)
                    splitter->waitFor(f.file, [this] { m_progress.repaint(); });
                m_tables << TableLoad{f.code, f.file,
                                      importer.importTypeFile(f.file, f.code, QString(), f.lines)};
            }
        }
    } catch (const Error &) {
        nameProblems(firstProblem, archive, combined);
        throw;
    }
    nameProblems(firstProblem, archive, combined);
    m_progress.setStatus(u"Finishing the load"_s);
    m_progress.repaint();
    transaction.commit();
    if (const QString notKept = undo.commit(); !notKept.isEmpty())
        m_prompter.notify(notKept);
}

void Loader::nameProblems(qsizetype first, const QString &archive, const QString &combined)
{
    if (!m_problems || m_problems->size() <= first)
        return;
    std::vector<Problem> &items = m_problems->items();
    const QString prefix = archive.isEmpty() ? QString() : QFileInfo(archive).fileName() + u": "_s;
    const QString combinedName = QFileInfo(combined).fileName();
    // The lines of a combined file come from the per-type files it was split into, sorted:
    // each is found again in the combined file by its text (equal lines in their order). The
    // problems of one line (several fields) go together.
    QHash<QByteArray, std::deque<std::vector<size_t>>> wanted;
    qint64 groups = 0;
    for (size_t i = size_t(first); i < items.size(); ++i) {
        Problem &p = items[i];
        if (!combined.isEmpty()) {
            const bool sameLine = i > size_t(first) && items[i - 1].line == p.line
                                  && items[i - 1].file == p.file;
            auto &queue = wanted[p.source];
            if (sameLine && !queue.empty() && queue.back().back() == i - 1) {
                queue.back().push_back(i);
            } else {
                queue.push_back({i});
                ++groups;
            }
        }
    }
    for (size_t i = size_t(first); i < items.size(); ++i) {
        Problem &p = items[i];
        p.file = prefix + (combined.isEmpty() ? p.file : combinedName);
        if (!combined.isEmpty())
            p.line = 0;
    }
    if (groups > 0) {
        m_progress.setStatus(u"Finding the lines of the problems"_s);
        m_progress.repaint();
        TextReader reader(combined);
        QByteArray wide;
        while (groups > 0 && reader.next()) {
            QByteArrayView line = reader.bytes();
            if (!reader.isAscii()) {
                QString text = reader.text();
                if (text.startsWith(QChar(0xFEFF)))
                    text.remove(0, 1); // the split drops a byte-order mark at a line's start
                wide = text.toUtf8();
                line = wide;
            }
            const auto found = wanted.find(QByteArray::fromRawData(line.data(), line.size()));
            if (found == wanted.end() || found->empty())
                continue;
            for (const size_t i : found->front())
                items[i].line = reader.lineNumber();
            found->pop_front();
            --groups;
        }
    }
    for (size_t i = size_t(first); i < items.size(); ++i)
        items[i].source.clear();
}

QString Loader::UnZipFile(const QString &FName)
{
    m_progress.show();
    m_progress.setStatus(u"Un-Zipping Data."_s);
    m_progress.setPosition(0);
    m_progress.repaint();

    const QString scratch = scratchFolder(m_dm.home());
    for (const QString &mask :
         {u"*.DIF"_s, u"DIF.*"_s, u"*.1*"_s, u"*.2*"_s, u"*.edx"_s, u"*.csv"_s})
        DeleteFileSpec(scratch + mask, FName);

    int code = 0;
    const std::unique_ptr<zip_t, ZipCloser> archive(
            zip_open(QFile::encodeName(FName).constData(), ZIP_RDONLY, &code));
    if (!archive)
        throw Error(
                u"Cannot open the archive \"%1\". %2"_s.arg(native(FName), zipOpenMessage(code)));
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);

    qint64 total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) == 0
            && (st.valid & ZIP_STAT_SIZE))
            total += qint64(st.size);
    }
    // Refuse an archive that cannot fit, rather than fill the disk before failing.
    const QStorageInfo volume(scratch);
    if (volume.isValid() && volume.bytesAvailable() >= 0 && total > volume.bytesAvailable())
        throw Error(u"Cannot unpack the archive \"%1\": it holds %2, and only %3 are free in "
                    "\"%4\""_s.arg(native(FName),
                                   QLocale().formattedDataSize(total, 1,
                                                               QLocale::DataSizeTraditionalFormat),
                                   QLocale().formattedDataSize(volume.bytesAvailable(), 1,
                                                               QLocale::DataSizeTraditionalFormat),
                                   native(scratch)));
    m_progress.setMaximum(total);
    qint64 done = 0;
    qint64 tick = kProgressBytes;

    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char *raw = zip_get_name(archive.get(), zip_uint64_t(i), 0);
        if (!raw)
            throw Error(u"Cannot read the archive \"%1\". %2"_s.arg(
                    native(FName), QString::fromLocal8Bit(zip_strerror(archive.get()))));
        const QString entry = QString::fromUtf8(raw);
        if (entry.endsWith(u'/') || entry.endsWith(u'\\'))
            continue; // a folder entry
        const QString name = bareName(entry);
        if (name.isEmpty())
            continue;

        auto failure = [&](const QString &why) {
            return Error(u"Cannot unpack \"%1\" from the archive \"%2\". %3"_s.arg(
                    entry, native(FName), why));
        };
        // An entry is unpacked only up to the size it declares, which the free space was
        // checked against: an entry that holds more is damaged or made to fill the disk.
        zip_stat_t st;
        if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) != 0
            || !(st.valid & ZIP_STAT_SIZE))
            throw failure(u"The archive does not say how large the entry is"_s);
        const qint64 declared = qint64(st.size);
        qint64 unpacked = 0;
        const std::unique_ptr<zip_file_t, ZipFileCloser> in(
                zip_fopen_index(archive.get(), zip_uint64_t(i), 0));
        if (!in)
            throw failure(QString::fromLocal8Bit(zip_strerror(archive.get())));

        const QString target = scratch + name;
        removeExisting(target);
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            throw failure(out.errorString());
        m_made << target;
        try {
            for (;;) {
                const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
                if (n < 0)
                    throw failure(QString::fromLocal8Bit(zip_file_strerror(in.get())));
                if (n == 0)
                    break;
                unpacked += n;
                if (unpacked > declared)
                    throw failure(u"The entry holds more than the %1 bytes it declares: the "
                                  "archive is damaged"_s.arg(declared));
                QString why;
                if (!writeAll(out, QByteArrayView(buffer.constData(), n), why))
                    throw failure(why);
                done += n;
                if (done >= tick) {
                    m_progress.setPosition(done);
                    tick = done + kProgressBytes;
                }
            }
        } catch (...) {
            out.remove();
            throw;
        }
    }
    m_progress.setPosition(total);

    // Ordinary files only, in name order (letter case ignored, then exact).
    const QString archivePath = QFileInfo(FName).absoluteFilePath();
    QFileInfoList files;
    for (const QFileInfo &info : QDir(scratch).entryInfoList(QDir::Files)) {
        if (info.absoluteFilePath() != archivePath)
            files << info;
    }
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const int c = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.fileName() < b.fileName();
    });
    for (const QString &mask : {u"*.1*"_s, u"*.DIF"_s, u"*.2*"_s}) {
        const QRegularExpression pattern
                = QRegularExpression::fromWildcard(mask, Qt::CaseInsensitive);
        for (const QFileInfo &info : files) {
            if (pattern.match(info.fileName()).hasMatch())
                return scratch + info.fileName();
        }
    }
    return QString();
}

QString Loader::SplitDIF(const QString &FName)
{
    std::unique_ptr<DifSplitter> splitter;
    return splitDif(FName, splitter, false);
}

QString Loader::splitDif(const QString &FName, std::unique_ptr<DifSplitter> &splitter,
                         bool background)
{
    m_progress.setStatus(u"Pre-Processing DIF File"_s);
    m_progress.setPosition(0);
    m_progress.repaint();

    const QString scratch = scratchFolder(m_dm.home());
    DeleteFileSpec(scratch + u"*.1*"_s, FName);
    DeleteFileSpec(scratch + u"*.2*"_s, FName);

    const QString name = QFileInfo(FName).fileName();
    const QString stem = withExtension(name, QString()).chopped(1);
    splitter = std::make_unique<DifSplitter>(scratch, m_progress, m_locale);
    const DifSplitter::Result result
            = background ? splitter->start(FName, stem) : splitter->split(FName, stem);
    m_splitFiles = result.files;
    m_splitLines = result.fileLines;
    m_made << result.files;
    // Only record types are written: the rest is counted and told, never loaded. A file
    // without any record is refused as a whole by the load, which says so itself.
    if (result.otherLines > 0 && !result.files.isEmpty()) {
        const bool one = result.otherLines == 1;
        m_prompter.notify(u"Left out %1 %2 of \"%3\" that %4 with no record type"_s.arg(
                QLocale().toString(result.otherLines), one ? u"line"_s : u"lines"_s, native(FName),
                one ? u"begins"_s : u"begin"_s));
    }
    return scratch + stem + u'.' + result.firstType;
}

} // namespace bm
