#include "Zip.h"

#include "Error.h"
#include "ProgressSink.h"

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

void onZipProgress(zip_t *, double done, void *sink)
{
    static_cast<ProgressSink *>(sink)->setPosition(qint64(done * 100));
}

} // namespace

int ZipFileList(const QString &PathAndFile, const QStringList &FileList, ProgressSink &progress)
{
    progress.show();
    progress.setStatus(u"Zipping Data."_s);
    progress.setMaximum(100);
    progress.setPosition(0);
    progress.repaint();

    struct Entry
    {
        QString path;
        QString name;
    };
    std::vector<Entry> entries;
    QSet<QString> names;
    for (const QString &path : FileList) {
        const QFileInfo info(path);
        if (!info.isFile() || names.contains(info.fileName()))
            continue;
        names.insert(info.fileName());
        entries.push_back({info.absoluteFilePath(), info.fileName()});
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
            zip_source_t *source
                    = zip_source_file(archive.get(), QFile::encodeName(e.path).constData(), 0, -1);
            if (!source)
                throw Error(u"Cannot add \"%1\" to the archive: %2"_s.arg(
                        native(e.path), zipMessage(archive.get())));
            const QByteArray name = e.name.toUtf8();
            const zip_int64_t index
                    = zip_file_add(archive.get(), name.constData(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0) {
                zip_source_free(source);
                throw Error(u"Cannot add \"%1\" to the archive: %2"_s.arg(
                        native(e.path), zipMessage(archive.get())));
            }
            // The normal level; libzip's own default is the slowest.
            zip_set_file_compression(archive.get(), zip_uint64_t(index), ZIP_CM_DEFLATE, 6);
        }
        zip_register_progress_callback_with_state(archive.get(), 0.01, onZipProgress, nullptr,
                                                  &progress);
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
