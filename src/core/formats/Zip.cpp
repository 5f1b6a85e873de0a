#include "Zip.h"

#include "Error.h"
#include "ProgressSink.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString zipMessage(zip_t *archive)
{
    return QString::fromLocal8Bit(zip_strerror(archive));
}

// An open archive that is discarded unless it was closed.
class Archive
{
public:
    Archive(const QString &path, int flags)
        : m_path(path)
    {
        int code = 0;
        m_zip = zip_open(QFile::encodeName(path).constData(), flags, &code);
        if (!m_zip) {
            zip_error_t error;
            zip_error_init_with_code(&error, code);
            const QString message = QString::fromLocal8Bit(zip_error_strerror(&error));
            zip_error_fini(&error);
            throw Error(u"Cannot create the archive \"%1\": %2"_s.arg(native(path), message));
        }
    }
    ~Archive()
    {
        if (m_zip)
            zip_discard(m_zip);
    }
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    zip_t *get() const { return m_zip; }

    void close(const QString &target)
    {
        if (zip_close(m_zip) != 0)
            throw Error(u"Cannot write the archive \"%1\": %2"_s.arg(native(target),
                                                                     zipMessage(m_zip)));
        m_zip = nullptr;
    }

private:
    QString m_path;
    zip_t *m_zip = nullptr;
};

// The bytes packed so far of all the entries, on the gauge.
struct PackProgress
{
    ProgressSink &sink;
    qint64 total = 0;
    qint64 done = 0;
};

// A file as the archive reads it while it packs, counting what it reads onto the gauge, so the
// window moves within a large entry too (libzip's own callback moves from entry to entry).
struct FileSource
{
    QByteArray path;
    qint64 size = 0;
    time_t mtime = 0;
    PackProgress *progress = nullptr;
    std::FILE *file = nullptr;
    zip_error_t error;
};

zip_int64_t readFileSource(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto *s = static_cast<FileSource *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        s->file = std::fopen(s->path.constData(), "rb");
        if (!s->file) {
            zip_error_set(&s->error, ZIP_ER_OPEN, errno);
            return -1;
        }
        return 0;
    case ZIP_SOURCE_READ: {
        const size_t n = std::fread(data, 1, size_t(length), s->file);
        if (n < length && std::ferror(s->file)) {
            zip_error_set(&s->error, ZIP_ER_READ, errno);
            return -1;
        }
        PackProgress &p = *s->progress;
        p.done += qint64(n);
        if (p.total > 0)
            p.sink.setPosition(p.done * 100 / p.total);
        return zip_int64_t(n);
    }
    case ZIP_SOURCE_CLOSE:
        if (s->file)
            std::fclose(s->file);
        s->file = nullptr;
        return 0;
    case ZIP_SOURCE_STAT: {
        auto *st = static_cast<zip_stat_t *>(data);
        zip_stat_init(st);
        st->size = zip_uint64_t(s->size);
        st->mtime = s->mtime;
        st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&s->error, data, length);
    case ZIP_SOURCE_FREE:
        if (s->file)
            std::fclose(s->file);
        zip_error_fini(&s->error);
        delete s;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
        zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

zip_source_t *countingFileSource(zip_t *archive, const QFileInfo &info, PackProgress &progress)
{
    auto *s = new FileSource;
    s->path = QFile::encodeName(info.absoluteFilePath());
    s->size = info.size();
    s->mtime = time_t(info.lastModified().toSecsSinceEpoch());
    s->progress = &progress;
    zip_error_init(&s->error);
    zip_source_t *source = zip_source_function(archive, &readFileSource, s);
    if (!source) {
        zip_error_fini(&s->error);
        delete s;
    }
    return source;
}

} // namespace

int ZipFileList(const QString &PathAndFile, const QStringList &FileList, ProgressSink &progress)
{
    progress.show();
    progress.setStatus(u"Zipping Data."_s);
    progress.setMaximum(100);
    progress.setPosition(0);
    progress.setRecords(QString()); // the count of the table written last would mislead
    progress.repaint();

    struct Entry
    {
        QFileInfo info;
        QString name;
    };
    std::vector<Entry> entries;
    QSet<QString> names;
    PackProgress packed{progress};
    for (const QString &path : FileList) {
        const QFileInfo info(path);
        if (!info.isFile() || names.contains(info.fileName()))
            continue;
        names.insert(info.fileName());
        entries.push_back({info, info.fileName()});
        packed.total += info.size();
    }
    if (entries.empty())
        return 0;

    // A fresh name beside the target: the archive is complete before it replaces anything.
    const QFileInfo target(PathAndFile);
    QString temp;
    {
        QTemporaryFile reserve(target.absolutePath() + u"/."_s + target.fileName() + u".XXXXXX"_s);
        if (!reserve.open())
            throw Error(u"Cannot create the archive \"%1\": %2"_s.arg(native(PathAndFile),
                                                                      reserve.errorString()));
        temp = reserve.fileName();
    }
    struct RemoveTemp
    {
        QString path;
        ~RemoveTemp() { QFile::remove(path); }
    } removeTemp{temp};

    {
        Archive archive(temp, ZIP_CREATE | ZIP_EXCL);
        for (const Entry &e : entries) {
            zip_source_t *source = countingFileSource(archive.get(), e.info, packed);
            if (!source)
                throw Error(u"Cannot add \"%1\" to the archive: %2"_s.arg(
                        native(e.info.absoluteFilePath()), zipMessage(archive.get())));
            const QByteArray name = e.name.toUtf8();
            const zip_int64_t index
                    = zip_file_add(archive.get(), name.constData(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0) {
                zip_source_free(source);
                throw Error(u"Cannot add \"%1\" to the archive: %2"_s.arg(
                        native(e.info.absoluteFilePath()), zipMessage(archive.get())));
            }
            // The normal level; libzip's own default is the slowest.
            zip_set_file_compression(archive.get(), zip_uint64_t(index), ZIP_CM_DEFLATE, 6);
        }
        archive.close(PathAndFile);
    }

    // Entries that deflate made larger are stored instead. Only such entries are rewritten.
    {
        Archive archive(temp, 0);
        bool changed = false;
        const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t st;
            zip_stat_init(&st);
            if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) == 0
                && st.comp_method != ZIP_CM_STORE && st.comp_size > st.size) {
                zip_set_file_compression(archive.get(), zip_uint64_t(i), ZIP_CM_STORE, 0);
                changed = true;
            }
        }
        if (changed)
            archive.close(PathAndFile);
    }

    // Keep the permissions of the archive being replaced.
    if (target.exists())
        QFile::setPermissions(temp, QFile::permissions(PathAndFile));
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(PathAndFile).constData())
        != 0)
        throw Error(u"Cannot replace \"%1\" with the new archive: %2"_s.arg(
                native(PathAndFile), QString::fromLocal8Bit(std::strerror(errno))));
    progress.setPosition(100);
    return int(entries.size());
}

} // namespace bm
