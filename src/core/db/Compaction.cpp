#include "Compaction.h"

#include "Error.h"
#include "ProgressSink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Flushes a file or a folder to the disk, so a rename never makes a half-written file current.
void syncPath(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Exchanges two files in one step. False with errno set when the system cannot.
bool exchangeFiles(const QString &a, const QString &b)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(a).constData(), AT_FDCWD,
                       QFile::encodeName(b).constData(), RENAME_EXCHANGE)
           == 0;
}

bool renameFile(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

struct SqliteCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};

// How far VACUUM INTO has come: the size the copy has reached against the size of the source's
// pages in use, looked at every 100 ms from SQLite's progress callback.
struct VacuumProgress
{
    ProgressSink *sink = nullptr;
    QString target;
    QElapsedTimer timer;

    static int onStep(void *self)
    {
        auto *p = static_cast<VacuumProgress *>(self);
        if (p->timer.elapsed() >= 100) {
            p->timer.restart();
            p->sink->setPosition(QFileInfo(p->target).size());
            p->sink->repaint();
        }
        return 0; // go on
    }
};

// The bytes of the database's pages in use: about the size of its compacted copy.
qint64 pagesInUse(sqlite3 *db)
{
    qint64 values[3] = {0, 0, 0};
    const char *pragmas[3] = {"PRAGMA page_count", "PRAGMA freelist_count", "PRAGMA page_size"};
    for (int i = 0; i < 3; ++i) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, pragmas[i], -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW)
            values[i] = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    return std::max<qint64>(0, values[0] - values[1]) * values[2];
}

// The page size of new herd databases, which a compacted copy gets too.
constexpr qint64 kPageSize = 16384;

qint64 pageSize(sqlite3 *db)
{
    qint64 size = 0;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        size = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return size;
}

// Writes a compacted copy of `source` to `target` (an empty file).
void vacuumInto(const QString &source, const QString &target, ProgressSink *progress)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(source).constData(), &raw,
                                   SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, SqliteCloser> db(raw);
    auto fail = [&] {
        return Error(u"The herd database '%1' could not be compacted: %2"_s.arg(
                native(source), QString::fromUtf8(raw ? sqlite3_errmsg(raw) : "out of memory")));
    };
    if (rc != SQLITE_OK)
        throw fail();
    VacuumProgress watch{progress, target, {}};
    if (progress) {
        progress->show();
        progress->start(u"Compacting Database"_s, pagesInUse(raw), QString());
        watch.timer.start();
        sqlite3_progress_handler(raw, 10000, &VacuumProgress::onStep, &watch);
    }
    // A database made with smaller pages gets the 16 KB pages of a new one in its copy.
    if (pageSize(raw) < kPageSize
        && sqlite3_exec(raw, "PRAGMA page_size = 16384", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw fail();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(raw, "VACUUM INTO ?1", -1, &stmt, nullptr) != SQLITE_OK)
        throw fail();
    const QByteArray path = QFile::encodeName(target);
    sqlite3_bind_text(stmt, 1, path.constData(), int(path.size()), SQLITE_TRANSIENT);
    const int step = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    sqlite3_progress_handler(raw, 0, nullptr, nullptr);
    if (step != SQLITE_DONE)
        throw fail();
    if (progress) {
        progress->setPosition(progress->maximum());
        progress->repaint();
    }
}

// Gives `copy` the permissions of `original` (and its owner and group where the system lets
// us), so the compacted database is open to whoever could open it before.
void keepAccess(const QString &original, const QString &copy)
{
    struct stat st;
    if (::stat(QFile::encodeName(original).constData(), &st) != 0)
        throw Error(u"Cannot read the permissions of '%1': %2"_s.arg(native(original),
                                                                     systemError(errno)));
    const QByteArray path = QFile::encodeName(copy);
    if (::chmod(path.constData(), st.st_mode & 07777) != 0)
        throw Error(
                u"Cannot set the permissions of '%1': %2"_s.arg(native(copy), systemError(errno)));
    // The owner and group follow where the system allows it (root, or the owner handing the
    // file to one of its own groups); the mode is kept in any case.
    struct stat now;
    if (::stat(path.constData(), &now) == 0
        && (now.st_uid != st.st_uid || now.st_gid != st.st_gid)) {
        const int ignored = ::chown(path.constData(), st.st_uid, st.st_gid);
        Q_UNUSED(ignored);
    }
}

// Copies the file `from` to `to` byte for byte, through a temporary file beside `to` that is
// renamed over it once it is complete and on the disk.
void copyWhole(const QString &from, const QString &to, const QString &tempTemplate)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        throw Error(u"Cannot read '%1': %2"_s.arg(native(from), in.errorString()));
    QTemporaryFile out(tempTemplate);
    if (!out.open())
        throw Error(u"Cannot write the backup '%1': %2"_s.arg(native(to), out.errorString()));
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (qint64 n; (n = in.read(buffer.data(), buffer.size())) != 0;) {
        if (n < 0 || out.write(buffer.constData(), n) != n || !out.flush())
            throw Error(u"Cannot write the backup '%1': %2"_s.arg(
                    native(to), n < 0 ? in.errorString() : out.errorString()));
    }
    if (::fsync(out.handle()) != 0)
        throw Error(u"Cannot write the backup '%1': %2"_s.arg(native(to), systemError(errno)));
    out.close();
    if (!renameFile(out.fileName(), to))
        throw Error(u"Cannot write the backup '%1': %2"_s.arg(native(to), systemError(errno)));
    out.setAutoRemove(false);
}

// Compaction of a database that is a symbolic link: the link stays, and the file it points to
// gets the compacted data. The state at close is copied to the backup first; the compacted copy
// then goes into the linked file with SQLite's online backup, one journaled transaction, so a
// failure or a kill leaves the file as it was at close.
void compactThroughLink(const QString &folder, const QString &SourceName, const QString &database,
                        const QString &backup, ProgressSink *progress)
{
    const QString target = QFileInfo(database).canonicalFilePath();
    if (target.isEmpty() || !QFileInfo(target).isFile())
        throw Error(u"The herd database '%1' is a link to no file and was not compacted"_s.arg(
                native(database)));
    for (const char *suffix : {"-journal", "-wal"}) {
        if (QFileInfo::exists(target + QLatin1String(suffix)))
            throw Error(u"The herd database '%1' is in use by another program and was not "
                        "compacted"_s.arg(native(database)));
    }
    const QString names = folder + SourceName + u".compact-XXXXXX.db"_s;
    QTemporaryFile compacted(names);
    if (!compacted.open())
        throw Error(u"Cannot create a file in '%1' to compact the herd database: %2"_s.arg(
                native(folder), compacted.errorString()));
    compacted.close();
    vacuumInto(database, compacted.fileName(), progress);
    copyWhole(target, backup, names);

    sqlite3 *from = nullptr;
    sqlite3 *to = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(compacted.fileName()).constData(), &from,
                             SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, SqliteCloser> fromDb(from);
    if (rc == SQLITE_OK)
        rc = sqlite3_open_v2(QFile::encodeName(database).constData(), &to, SQLITE_OPEN_READWRITE,
                             nullptr);
    const std::unique_ptr<sqlite3, SqliteCloser> toDb(to);
    if (rc == SQLITE_OK) {
        sqlite3_backup *copy = sqlite3_backup_init(to, "main", from, "main");
        if (!copy) {
            rc = sqlite3_errcode(to);
        } else {
            while ((rc = sqlite3_backup_step(copy, 4096)) == SQLITE_OK) {
            }
            sqlite3_backup_finish(copy);
            rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
        }
    }
    if (rc != SQLITE_OK)
        throw Error(u"The herd database '%1' could not be compacted: %2"_s.arg(
                native(database), QString::fromUtf8(to ? sqlite3_errmsg(to) : sqlite3_errstr(rc))));
}

} // namespace

bool compactDatabase(const QString &home, const QString &SourceName, const QString &DestName,
                     ProgressSink *progress)
{
    const QString folder = home.endsWith(u'/') ? home : home + u'/';
    const QString database = folder + SourceName + u".db"_s;
    const QString backup = folder + DestName + u".db"_s;
    if (!QFileInfo(database).isFile())
        return false;
    if (QFileInfo(database).isSymLink()) {
        compactThroughLink(folder, SourceName, database, backup, progress);
        return true;
    }

    // The compacted copy goes to a fresh empty file beside the database; it is removed again
    // unless it becomes the database.
    QTemporaryFile compacted(folder + SourceName + u".compact-XXXXXX.db"_s);
    if (!compacted.open())
        throw Error(u"Cannot create a file in '%1' to compact the herd database: %2"_s.arg(
                native(folder), compacted.errorString()));
    const QString temp = compacted.fileName();
    compacted.close();

    vacuumInto(database, temp, progress);
    keepAccess(database, temp);
    // A journal beside the database means another program is writing to it now: its changes
    // would be lost with the swap.
    for (const char *suffix : {"-journal", "-wal"}) {
        if (QFileInfo::exists(database + QLatin1String(suffix)))
            throw Error(u"The herd database '%1' is in use by another program and was not "
                        "compacted"_s.arg(native(database)));
    }
    syncPath(temp);

    if (exchangeFiles(temp, database)) {
        // The database is now the compacted copy; the file at the temporary name holds the
        // state at close and becomes the backup.
        if (!renameFile(temp, backup)) {
            const int error = errno;
            exchangeFiles(temp, database); // back as it was at close
            throw Error(
                    u"Cannot write the backup '%1': %2"_s.arg(native(backup), systemError(error)));
        }
    } else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
        // No exchange on this file system: two renames, undone when the second fails.
        if (!renameFile(database, backup))
            throw Error(
                    u"Cannot write the backup '%1': %2"_s.arg(native(backup), systemError(errno)));
        if (!renameFile(temp, database)) {
            const int error = errno;
            renameFile(backup, database);
            throw Error(u"Cannot replace the herd database '%1': %2"_s.arg(native(database),
                                                                           systemError(error)));
        }
    } else {
        throw Error(u"Cannot replace the herd database '%1': %2"_s.arg(native(database),
                                                                       systemError(errno)));
    }
    compacted.setAutoRemove(false); // its name is no longer in use
    syncPath(folder);
    return true;
}

} // namespace bm
