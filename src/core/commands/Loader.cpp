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
#include <limits>
#include <memory>
#include <optional>

#include <unistd.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kProgressBytes = 1 << 20;
// Problems (lines of a combined file) found again in one pass over the file.
constexpr qsizetype kProblemsPerPass = 1 << 16;
// The most entries, and bytes of directory, of an archive that is read: far more than a data set
// has, and few enough that reading the directory takes little memory.
constexpr quint64 kMaxArchiveEntries = 10000;
constexpr quint64 kMaxArchiveDirectory = 8 << 20;

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

// The names of the files in the folder of `path` (hidden files do not count).
QStringList folderFiles(const QString &path)
{
    // Pipes and devices are listed too, so that one named as a sibling is refused, not passed
    // over.
    return QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::System, QDir::Name);
}

// The file of record type `code` beside `candidate`: the same folder and stem, the name found
// among `names` (the folder's files) without regard to letter case, so "HERD.101" finds
// "herd.104". A name that matches exactly wins; of several others none is guessed at.
QString siblingFile(const QString &candidate, const QString &code, const QStringList &names)
{
    const QString path = withExtension(candidate, code);
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = path.left(slash + 1);
    const QString wanted = path.mid(slash + 1);
    QStringList matches;
    for (const QString &name : names) {
        if (name == wanted)
            return path;
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            matches << name;
    }
    if (matches.size() > 1)
        throw Error(u"\"%1\" and \"%2\" in \"%3\" could both be the file of record type %4; "
                    "rename one of them"_s.arg(matches.at(0), matches.at(1),
                                               native(QFileInfo(path).absolutePath()), code));
    return matches.isEmpty() ? QString() : folder + matches.first();
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

bool Loader::load(const QString &FileName)
{
    m_tables.clear();
    m_made.clear();
    m_cancelled = false;
    m_listedStop = false;
    const qsizetype firstProblem = m_problems ? m_problems->size() : 0;
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
    } catch (const Error &e) {
        // The problems found say that nothing was stored. The import lists the line where it
        // stopped; an error outside a file's lines is listed on its own.
        if (m_problems && !m_listedStop && m_problems->size() > firstProblem) {
            m_problems->markStopped(firstProblem);
            Problem p;
            p.file = QFileInfo(FileName).fileName();
            p.message = e.message();
            p.outcome = ProblemList::stoppedHere();
            m_problems->add(std::move(p));
        }
        if (dynamic_cast<const DatabaseError *>(&e))
            throw; // says itself that the herd data was left as it was
        // Nothing is emptied before the data set is known to hold records, and the tables
        // change in one transaction: whatever ended the load, they are as they were.
        throw Error(tablesKept(e.message()));
    }
    return !m_cancelled;
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
        if (m_cancelled)
            return;
    }
    if (hasExtension(candidate, "DIF"_L1)) {
        combined = candidate;
        candidate = splitDif(candidate, splitter, true);
    }

    // The per-type files of the data set, in tab order. A data set without a single record of
    // any record type (a wrong file, garbage, an archive of something else) would only empty
    // every table: it is refused before anything changes. So is a data set with a file that
    // holds lines but no record of its type (a file in another encoding, of another type): its
    // table would be emptied by a file that was not read.
    struct TypeFile
    {
        QString code;
        QString file;
        qint64 lines = -1; // known for a split's files
    };
    QList<TypeFile> files;
    bool holdsRecords = false;
    const QStringList siblings
            = splitter || candidate.isEmpty() ? QStringList() : folderFiles(candidate);
    for (const RecordType &type : recordTypes()) {
        if (candidate.isEmpty())
            break;
        if (splitter) {
            // Every line of a split file begins with its record type.
            const QString file = withExtension(candidate, type.code);
            if (const qsizetype at = m_splitFiles.indexOf(file); at >= 0) {
                files.append({type.code, file, m_splitLines.at(at)});
                holdsRecords = true;
            }
            continue;
        }
        const QString file = siblingFile(candidate, type.code, siblings);
        if (file.isEmpty())
            continue;
        // A sibling that is a pipe or a device would have its table emptied by a file that
        // was never read.
        refuseSpecialFile(file);
        const QFileInfo info(file);
        if (!info.isFile() || info.isHidden() || info.size() <= 0)
            continue;
        const Importer::Content content = Importer::examine(file, type.code);
        if (content.kind == Importer::Content::Blank)
            continue;
        if (content.kind == Importer::Content::NoRecords)
            throw Error(u"\"%1\" holds no record of type %2: its first line begins \"%3\""_s.arg(
                    archive.isEmpty()
                            ? native(file)
                            : QFileInfo(archive).fileName() + u": "_s + QFileInfo(file).fileName(),
                    type.code, content.firstLine));
        files.append({type.code, file});
        holdsRecords = true;
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
        m_listedStop = importer.listedStop();
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
    ProblemList &problems = *m_problems;
    const qsizetype end = problems.size();
    if (!combined.isEmpty()) {
        // The lines of a combined file come from the per-type files it was split into, sorted:
        // each is found again in the combined file by its text (equal lines in their order). The
        // problems of one line (several fields) go together. The problems are taken a part at a
        // time, each part by one pass over the combined file, so the memory stays bounded
        // however many there are; a part never divides lines of one text.
        m_progress.setStatus(u"Finding the lines of the problems"_s);
        m_progress.repaint();
        qsizetype from = first;
        while (from < end) {
            QHash<QByteArray, std::deque<std::pair<qsizetype, qsizetype>>> wanted;
            qsizetype groups = 0;
            qsizetype to = from;
            Problem previous;
            for (; to < end; ++to) {
                Problem p = problems.at(to);
                const bool sameLine = to > from && previous.line == p.line
                                      && previous.file == p.file
                                      && previous.recordType == p.recordType;
                if (!sameLine && groups >= kProblemsPerPass && p.source != previous.source)
                    break;
                auto &queue = wanted[p.source];
                if (sameLine && !queue.empty() && queue.back().first + queue.back().second == to)
                    ++queue.back().second;
                else {
                    queue.push_back({to, 1});
                    ++groups;
                }
                previous = std::move(p);
            }
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
                const auto [at, count] = found->front();
                for (qsizetype i = at; i < at + count; ++i)
                    problems.setLine(i, reader.lineNumber());
                found->pop_front();
                --groups;
            }
            // A line not found again (it cannot be, but a problem never names a wrong line).
            for (const auto &queue : std::as_const(wanted))
                for (const auto &[at, count] : queue)
                    for (qsizetype i = at; i < at + count; ++i)
                        problems.setLine(i, 0);
            from = to;
        }
    }
    const QString prefix = archive.isEmpty() ? QString() : QFileInfo(archive).fileName() + u": "_s;
    if (!prefix.isEmpty() || !combined.isEmpty())
        problems.renameFiles(first, prefix,
                             combined.isEmpty() ? QString() : QFileInfo(combined).fileName());
    problems.dropSources(first);
}

namespace {

// The end of an archive's central directory: how many entries it declares and how many bytes
// their directory takes, read from the file before the archive library reads the directory
// into memory; std::nullopt when the file has none (the library then says what is wrong).
struct DirectorySize
{
    quint64 entries = 0;
    quint64 bytes = 0;
};

std::optional<DirectorySize> directorySize(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 size = file.size();
    // The end record (22 bytes) follows the directory, with a comment of at most 65,535 bytes.
    const qint64 tail = std::min<qint64>(size, 22 + 65535);
    if (tail < 22 || !file.seek(size - tail))
        return std::nullopt;
    const QByteArray bytes = file.read(tail);
    auto u16 = [](const char *p) {
        return quint16(uchar(p[0]) | uchar(p[1]) << 8);
    };
    auto u32 = [&](const char *p) {
        return quint32(u16(p)) | quint32(u16(p + 2)) << 16;
    };
    auto u64 = [&](const char *p) {
        return quint64(u32(p)) | quint64(u32(p + 4)) << 32;
    };
    for (qsizetype at = bytes.size() - 22; at >= 0; --at) {
        const char *end = bytes.constData() + at;
        if (u32(end) != 0x06054b50u)
            continue;
        DirectorySize d{u16(end + 10), u32(end + 12)};
        if (d.entries != 0xFFFF && d.bytes != 0xFFFFFFFFu)
            return d;
        // ZIP64: the locator before the end record names where the larger record is.
        const qint64 locatorAt = size - tail + at - 20;
        QByteArray record;
        if (locatorAt < 0 || !file.seek(locatorAt))
            return d;
        const QByteArray locator = file.read(20);
        if (locator.size() != 20 || u32(locator.constData()) != 0x07064b50u
            || !file.seek(qint64(u64(locator.constData() + 8))))
            return d;
        record = file.read(56);
        if (record.size() != 56 || u32(record.constData()) != 0x06064b50u)
            return d;
        return DirectorySize{u64(record.constData() + 32), u64(record.constData() + 40)};
    }
    return std::nullopt;
}

// One data set of an archive: the per-type files of one folder and stem, or one combined file.
struct DataSet
{
    QString name; // as the user is asked: "2021/herd (12 per-type files)"
    bool combined = false;
    std::vector<std::pair<zip_uint64_t, QString>> entries; // index and bare name
};

} // namespace

QString Loader::UnZipFile(const QString &FName)
{
    m_cancelled = false;
    m_progress.show();
    m_progress.setStatus(u"Un-Zipping Data."_s);
    m_progress.setPosition(0);
    m_progress.repaint();

    const QString scratch = scratchFolder(m_dm.home());
    for (const QString &mask :
         {u"*.DIF"_s, u"DIF.*"_s, u"*.1*"_s, u"*.2*"_s, u"*.edx"_s, u"*.csv"_s})
        DeleteFileSpec(scratch + mask, FName);

    // The archive library holds the whole directory in memory: an archive whose directory is
    // far larger than any data set's is refused before it is read.
    if (const std::optional<DirectorySize> d = directorySize(FName);
        d && (d->entries > kMaxArchiveEntries || d->bytes > kMaxArchiveDirectory))
        throw Error(u"Cannot unpack the archive \"%1\": it holds %2 entries (%3 of directory); "
                    "an archive of a data set holds at most %4 entries and %5 of directory"_s
                            .arg(native(FName))
                            .arg(QLocale().toString(d->entries))
                            .arg(QLocale().formattedDataSize(qint64(std::min<quint64>(
                                    d->bytes, quint64(std::numeric_limits<qint64>::max())))))
                            .arg(QLocale().toString(kMaxArchiveEntries))
                            .arg(QLocale().formattedDataSize(qint64(kMaxArchiveDirectory), 0)));

    int code = 0;
    const std::unique_ptr<zip_t, ZipCloser> archive(
            zip_open(QFile::encodeName(FName).constData(), ZIP_RDONLY, &code));
    if (!archive)
        throw Error(
                u"Cannot open the archive \"%1\". %2"_s.arg(native(FName), zipOpenMessage(code)));
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);

    // The data sets it holds. Entries that are no record type's file and no combined file are
    // not unpacked at all.
    std::vector<DataSet> sets;
    QHash<QString, size_t> setOf; // folder and stem, case folded
    for (zip_int64_t i = 0; i < count; ++i) {
        const char *raw = zip_get_name(archive.get(), zip_uint64_t(i), 0);
        if (!raw)
            throw Error(u"Cannot read the archive \"%1\". %2"_s.arg(
                    native(FName), QString::fromLocal8Bit(zip_strerror(archive.get()))));
        const QString entry = QString::fromUtf8(raw);
        if (entry.endsWith(u'/') || entry.endsWith(u'\\'))
            continue; // a folder entry
        const QString name = bareName(entry);
        const qsizetype dot = name.lastIndexOf(u'.');
        if (name.isEmpty() || dot <= 0)
            continue;
        const QString suffix = name.mid(dot + 1);
        if (suffix.compare(u"DIF"_s, Qt::CaseInsensitive) == 0) {
            sets.push_back({entry + u" (combined file)"_s, true, {{zip_uint64_t(i), name}}});
            continue;
        }
        if (recordTypeIndex(suffix) < 0)
            continue;
        QString folder = entry.left(entry.size() - name.size());
        folder.replace(u'\\', u'/');
        const QString key = (folder + name.left(dot)).toCaseFolded();
        auto found = setOf.constFind(key);
        if (found == setOf.cend()) {
            found = setOf.insert(key, sets.size());
            sets.push_back({folder + name.left(dot), false, {}});
        }
        sets[*found].entries.push_back({zip_uint64_t(i), name});
    }
    if (sets.empty())
        return QString();
    for (DataSet &set : sets) {
        if (!set.combined)
            set.name += set.entries.size() == 1 ? u" (1 per-type file)"_s
                                                : u" (%1 per-type files)"_s.arg(set.entries.size());
    }

    size_t chosen = 0;
    if (sets.size() > 1) {
        QStringList names;
        for (const DataSet &set : sets)
            names << set.name;
        const std::optional<int> pick = m_prompter.chooseItem(
                u"Load Files"_s,
                u"\"%1\" holds %2 data sets. Which one do you wish to load?"_s
                        .arg(QFileInfo(FName).fileName())
                        .arg(sets.size()),
                names);
        if (!pick || *pick < 0 || size_t(*pick) >= sets.size()) {
            m_cancelled = true;
            return QString();
        }
        chosen = size_t(*pick);
    }
    const DataSet &set = sets[chosen];

    // The sizes the entries declare, added without ever wrapping round: an archive that would
    // need more room than the scratch folder has is refused before anything is written.
    quint64 declaredTotal = 0;
    QHash<QString, QString> types; // record type -> the entry's name, to find one type twice
    for (const auto &[index, name] : set.entries) {
        zip_stat_t st;
        if (zip_stat_index(archive.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
            throw Error(u"Cannot unpack \"%1\" from the archive \"%2\". The archive does not say "
                        "how large the entry is"_s.arg(name, native(FName)));
        if (__builtin_add_overflow(declaredTotal, st.size, &declaredTotal)
            || declaredTotal > quint64(std::numeric_limits<qint64>::max()))
            throw Error(u"Cannot unpack the archive \"%1\": its entries declare more bytes than "
                        "any disk holds (\"%2\" declares %3)"_s.arg(native(FName), name)
                                .arg(st.size));
        if (!set.combined) {
            const QString type = name.mid(name.lastIndexOf(u'.') + 1);
            if (types.contains(type))
                throw Error(
                        u"Cannot unpack the archive \"%1\": it holds both \"%2\" and \"%3\" "
                        "for record type %4"_s.arg(native(FName), types.value(type), name, type));
            types.insert(type, name);
        }
    }
    const qint64 total = qint64(declaredTotal);
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
    QString first; // the file returned: the combined file, or the first record type's
    int firstType = std::numeric_limits<int>::max();
    for (const auto &entry : set.entries) {
        // Named here, not bound: a lambda below uses the name.
        const zip_uint64_t index = entry.first;
        const QString &name = entry.second;
        auto failure = [&](const QString &why) {
            return Error(u"Cannot unpack \"%1\" from the archive \"%2\". %3"_s.arg(
                    name, native(FName), why));
        };
        // An entry is unpacked only up to the size it declares, which the free space was
        // checked against: an entry that holds more is damaged or made to fill the disk.
        zip_stat_t st;
        if (zip_stat_index(archive.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
            throw failure(u"The archive does not say how large the entry is"_s);
        const qint64 declared = qint64(st.size);
        qint64 unpacked = 0;
        const std::unique_ptr<zip_file_t, ZipFileCloser> in(
                zip_fopen_index(archive.get(), index, 0));
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
        const int type = set.combined ? 0 : recordTypeIndex(name.mid(name.lastIndexOf(u'.') + 1));
        if (type < firstType) {
            firstType = type;
            first = scratch + name;
        }
    }
    m_progress.setPosition(total);
    return first;
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
