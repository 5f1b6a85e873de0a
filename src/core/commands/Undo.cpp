#include "Undo.h"

#include "Error.h"
#include "FileWrite.h"
#include "Layout.h"
#include "PgConnection.h"
#include "ProgressSink.h"
#include "SqliteConnection.h"
#include "Tdm.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QStorageInfo>
#include <QSysInfo>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <unistd.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// Pages copied between two updates of the progress window.
constexpr int kStepPages = 4096;
// A copy smaller than this is over before the progress window would be seen: the wait cursor
// shows it instead.
constexpr qint64 kShownBytes = 32 << 20;
// Bytes copied at a time.
constexpr qint64 kCopyBytes = 8 << 20;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString databaseOf(const QString &home)
{
    return home + u"Tembra.db"_s;
}

QString keptPath(const QString &home)
{
    return home + u"Undo.db"_s;
}

QString infoPath(const QString &home)
{
    return home + u"Undo.ini"_s;
}

// The pending copy of an undo point, and the note that says what it is for.
QString pendingPath(const QString &home, const QString &point)
{
    return home + u"Undo.db."_s + point + u".part"_s;
}

QString notePath(const QString &home, const QString &point)
{
    return home + u"Undo.db."_s + point + u".next"_s;
}

// Ends the process at a named step when the environment asks for it: the tests kill the program
// at every step of keeping and putting back a state, and check that the next command finishes or
// rolls back what it finds.
void stepDone(const char *step)
{
    static const QByteArray wanted = qgetenv("BRINDLEMARK_KILL_AT");
    if (!wanted.isEmpty() && wanted == step)
        std::raise(SIGKILL);
}

// Finalizes a raw SQLite statement when it goes out of scope.
struct SqliteStmtDeleter
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using SqliteStmt = std::unique_ptr<sqlite3_stmt, SqliteStmtDeleter>;

// The undo points of this process that are still at work. Any other pending copy or note in a
// folder whose lock we hold was left behind by a copy of the program that ended in the middle of
// a command.
std::mutex g_liveMutex;
std::set<QString> g_live;
std::atomic<int> g_pointNumber{0};

bool isLive(const QString &point)
{
    const std::lock_guard guard(g_liveMutex);
    return g_live.count(point) > 0;
}

void setLive(const QString &point, bool live)
{
    const std::lock_guard guard(g_liveMutex);
    if (live)
        g_live.insert(point);
    else
        g_live.erase(point);
}

struct Connection
{
    sqlite3 *db = nullptr;
    ~Connection() { sqlite3_close_v2(db); }
    int open(const QString &path, int flags)
    {
        sqlite3_close_v2(db);
        db = nullptr;
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
        if (rc == SQLITE_OK)
            sqlite3_busy_timeout(db, 5000);
        return rc;
    }
};

QString causeOf(int rc, sqlite3 *db)
{
    if (db::isDatabaseFailure(rc))
        return db::databaseFailureCause(rc, db);
    const char *message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    return QString::fromUtf8(message ? message : sqlite3_errstr(rc));
}

void syncPath(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool removeFile(const QString &path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

// Writes a small file whole or not at all: into <path>.part (a fixed name: the folder's lock
// keeps other copies of the program out), forced to the disk, then renamed over `path`. Empty
// when done, else why not.
QString writeWhole(const QString &path, const QByteArray &bytes)
{
    const QString part = path + u".part"_s;
    const QByteArray name = QFile::encodeName(part);
    removeFile(part);
    const int fd
            = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return u"Cannot write \"%1\". %2"_s.arg(native(part), systemMessage(errno));
    qsizetype done = 0;
    int error = 0;
    while (done < bytes.size() && error == 0) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(name.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0) {
        removeFile(part);
        return u"Cannot write \"%1\". %2"_s.arg(native(path), systemMessage(error));
    }
    syncPath(QFileInfo(path).absolutePath());
    return QString();
}

// "key=value" lines.
QHash<QString, QString> readKeys(const QString &path, bool &found)
{
    QHash<QString, QString> keys;
    QFile file(path);
    found = file.open(QIODevice::ReadOnly);
    if (!found)
        return keys;
    const QList<QByteArray> lines = file.read(1 << 16).split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

qint64 numberOf(const QHash<QString, QString> &keys, const QString &key, bool &ok)
{
    bool here = false;
    const qint64 n = keys.value(key).toLongLong(&here);
    ok = ok && here;
    return n;
}

// What a pending copy is for, written beside it before its command begins.
struct Note
{
    QString point;
    bool restore = false; // the state an undo replaces, or the state before a command
    QString caption;
    bool redo = false;     // what the copy will be offered as
    qint64 before = -1;    // the data generation of the copy (-1: the data could not be read)
    qint64 restoring = -1; // an undo: the data generation of the state it puts back
    QString layouts;
};

std::optional<Note> readNote(const QString &home, const QString &point)
{
    bool ok = false;
    const QHash<QString, QString> keys = readKeys(notePath(home, point), ok);
    Note note;
    note.point = point;
    note.restore = keys.value(u"kind"_s) == u"restore"_s;
    note.caption = keys.value(u"caption"_s);
    note.redo = keys.value(u"redo"_s) == u"1"_s;
    note.layouts = keys.value(u"layouts"_s);
    note.before = numberOf(keys, u"before"_s, ok);
    note.restoring = numberOf(keys, u"restoring"_s, ok);
    if (!ok || note.caption.isEmpty())
        return std::nullopt;
    return note;
}

QString writeNote(const QString &home, const Note &note)
{
    QByteArray text;
    text += QByteArray("kind=") + (note.restore ? "restore" : "command") + '\n';
    text += "caption=" + note.caption.toUtf8() + '\n';
    text += QByteArray("redo=") + (note.redo ? "1" : "0") + '\n';
    text += "before=" + QByteArray::number(note.before) + '\n';
    text += "restoring=" + QByteArray::number(note.restoring) + '\n';
    text += "layouts=" + note.layouts.toUtf8() + '\n';
    return writeWhole(notePath(home, note.point), text);
}

std::optional<UndoInfo> readInfo(const QString &home)
{
    bool ok = false;
    const QHash<QString, QString> keys = readKeys(infoPath(home), ok);
    UndoInfo info;
    info.caption = keys.value(u"caption"_s);
    info.taken = QDateTime::fromString(keys.value(u"taken"_s), Qt::ISODate);
    info.layouts = keys.value(u"layouts"_s);
    info.redo = keys.value(u"redo"_s) == u"1"_s;
    info.size = numberOf(keys, u"size"_s, ok);
    // A state kept without its generation (by an earlier build) cannot tell whether the data
    // changed since: it is not offered.
    info.generation = numberOf(keys, u"generation"_s, ok);
    info.keptGeneration = numberOf(keys, u"kept"_s, ok);
    if (!ok || info.caption.isEmpty())
        return std::nullopt;
    return info;
}

QString writeInfo(const QString &home, const UndoInfo &info)
{
    QByteArray text;
    text += "caption=" + info.caption.toUtf8() + '\n';
    text += "taken=" + info.taken.toUTC().toString(Qt::ISODate).toUtf8() + '\n';
    text += "layouts=" + info.layouts.toUtf8() + '\n';
    text += QByteArray("redo=") + (info.redo ? "1" : "0") + '\n';
    text += "size=" + QByteArray::number(info.size) + '\n';
    text += "generation=" + QByteArray::number(info.generation) + '\n';
    text += "kept=" + QByteArray::number(info.keptGeneration) + '\n';
    return writeWhole(infoPath(home), text);
}

QString takenText(const UndoInfo &info)
{
    return QLocale().toString(info.taken.toLocalTime(),
                              shortDateFormat() + u' '
                                      + QLocale().timeFormat(QLocale::ShortFormat));
}

// The stamp of the database file `path`, read on a connection of its own. The connection may
// write where it can, so that a transaction a killed command left in the journal is rolled back
// first, as any command that opens the database would. `damaged` tells a file that is missing
// or no sound database from one that cannot be read now (locked, an I/O error).
std::optional<DataStamp> stampOfFile(const QString &path, QString &why, bool *damaged = nullptr)
{
    if (damaged)
        *damaged = false;
    if (!QFileInfo(path).isFile()) {
        why = u"\"%1\" is missing"_s.arg(native(path));
        if (damaged)
            *damaged = true;
        return std::nullopt;
    }
    Connection c;
    int rc = c.open(path, SQLITE_OPEN_READWRITE);
    if (rc != SQLITE_OK)
        rc = c.open(path, SQLITE_OPEN_READONLY);
    std::optional<DataStamp> stamp;
    if (rc == SQLITE_OK)
        stamp = readStamp(c.db, &why);
    if (!stamp) {
        if (rc != SQLITE_OK)
            why = causeOf(rc, c.db);
        const int code = (rc != SQLITE_OK ? rc : sqlite3_errcode(c.db)) & 0xFF;
        if (damaged)
            *damaged = code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
    }
    return stamp;
}

// A byte-for-byte copy of `from` as the new file `to`, forced to the disk. Empty when done.
QString copyBytes(const QString &from, const QString &to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return u"Cannot read \"%1\". %2"_s.arg(native(from), in.errorString());
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return u"\"%1\" cannot be made (%2)"_s.arg(native(to), out.errorString());
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            return u"Cannot read \"%1\". %2"_s.arg(native(from), in.errorString());
        if (n == 0)
            break;
        QString why;
        if (!writeAll(out, QByteArrayView(buffer.constData(), n), why))
            return why;
    }
    if (::fsync(out.handle()) != 0)
        return systemMessage(errno);
    out.close();
    return QString();
}

// Copies the main database of `from` into the main database of `to` with the online backup:
// the destination changes in one write transaction, committed when the last page is copied.
// Returns SQLITE_DONE, or the failure's result code with its cause in `why`.
int copyDatabase(sqlite3 *from, sqlite3 *to, ProgressSink &progress, QString &why)
{
    sqlite3_backup *backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) {
        const int rc = sqlite3_errcode(to);
        why = causeOf(rc, to);
        return rc == SQLITE_OK ? SQLITE_ERROR : rc;
    }
    int rc = SQLITE_OK;
    bool first = true;
    while (rc == SQLITE_OK) {
        rc = sqlite3_backup_step(backup, kStepPages);
        const int total = sqlite3_backup_pagecount(backup);
        if (first) {
            progress.setMaximum(std::max(total, 1));
            first = false;
        }
        progress.setPosition(total - sqlite3_backup_remaining(backup));
        progress.repaint();
    }
    sqlite3_backup_finish(backup);
    if (rc == SQLITE_DONE)
        return rc;
    // BUSY and LOCKED: a statement of the program, or another connection, still reads or
    // writes the database; the backup does not wait for it.
    why = rc == SQLITE_BUSY || rc == SQLITE_LOCKED
                  ? u"the herd database is in use"_s
                  : causeOf(sqlite3_errcode(to) != SQLITE_OK ? sqlite3_errcode(to) : rc, to);
    if (why.isEmpty() || why == u"not an error"_s)
        why = QString::fromUtf8(sqlite3_errstr(rc));
    return rc;
}

// Copies the herd database as it is committed into the new file `to`, inside a read
// transaction: SQLite's shared lock keeps every writer out meanwhile, and in its
// rollback-journal mode the file then holds exactly the committed state. The file is copied as a
// file, as fast as the system copies files; SQLite's online backup goes page by page and takes
// about six times as long. Empty when done;
// otherwise why not, and `fallBack` tells whether the online backup should be used instead (a
// write-ahead log holds committed pages outside the file).
QString copyCommitted(sqlite3 *db, const QString &to, ProgressSink &progress, bool &fallBack)
{
    fallBack = false;
    auto single = [db](const char *sql, QString &text) {
        sqlite3_stmt *raw = nullptr;
        int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
        const SqliteStmt stmt(raw);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(raw);
        if (rc != SQLITE_ROW)
            return rc == SQLITE_OK || rc == SQLITE_DONE ? SQLITE_ERROR : rc;
        text = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
        return SQLITE_OK;
    };
    QString mode, pageSize, pageCount, ignored;
    int rc = single("PRAGMA main.journal_mode", mode);
    if (rc == SQLITE_OK && mode.compare(u"wal"_s, Qt::CaseInsensitive) == 0) {
        fallBack = true;
        return u"write-ahead log"_s;
    }
    if (rc == SQLITE_OK && !sqlite3_get_autocommit(db))
        rc = SQLITE_BUSY; // a transaction of the program's own is open
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return causeOf(rc, db);
    // Our own descriptor of the database file is closed only after the read transaction has
    // ended: closing a descriptor drops every lock the process holds on the file, SQLite's
    // shared lock included.
    struct Descriptor
    {
        int fd = -1;
        ~Descriptor()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } in;
    // From the first read on, the read transaction holds SQLite's shared lock.
    struct End
    {
        sqlite3 *db;
        ~End() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } end{db};
    rc = single("SELECT count(*) FROM main.sqlite_master", ignored);
    if (rc == SQLITE_OK)
        rc = single("PRAGMA main.page_size", pageSize);
    if (rc == SQLITE_OK)
        rc = single("PRAGMA main.page_count", pageCount);
    if (rc != SQLITE_OK)
        return rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? u"the herd database is in use"_s
                                                        : causeOf(rc, db);
    const char *name = sqlite3_db_filename(db, "main");
    if (!name || !*name) {
        fallBack = true;
        return u"no file"_s;
    }
    in.fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (in.fd < 0)
        return systemMessage(errno);

    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return u"\"%1\" cannot be made (%2)"_s.arg(native(to), out.errorString());
    const qint64 total = pageSize.toLongLong() * pageCount.toLongLong();
    progress.setMaximum(std::max<qint64>(total, 1));
    // The system copies the bytes itself where it can; otherwise they pass through a buffer.
    bool inKernel = true;
    QByteArray buffer;
    for (qint64 done = 0; done < total;) {
        const qint64 n = std::min<qint64>(kCopyBytes, total - done);
        if (inKernel) {
            loff_t from = done;
            const ssize_t copied
                    = ::copy_file_range(in.fd, &from, out.handle(), nullptr, size_t(n), 0);
            if (copied > 0) {
                done += copied;
            } else if (copied == 0) {
                return u"the herd database is shorter than it says"_s;
            } else if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP
                       || errno == EINVAL) {
                inKernel = false;
                buffer.resize(kCopyBytes);
            } else {
                return systemMessage(errno);
            }
        } else {
            const ssize_t got = ::pread(in.fd, buffer.data(), size_t(n), done);
            if (got <= 0)
                return got == 0 ? u"the herd database is shorter than it says"_s
                                : systemMessage(errno);
            QString why;
            if (!writeAll(out, QByteArrayView(buffer.constData(), got), why))
                return why;
            done += got;
        }
        progress.setPosition(done);
        progress.repaint();
    }
    out.close();
    return QString();
}

// The state of the herd database (`db`) as the new database file `to`.
QString keepState(sqlite3 *db, const QString &to, ProgressSink &progress)
{
    bool fallBack = false;
    const QString why = copyCommitted(db, to, progress, fallBack);
    if (!fallBack)
        return why;
    QFile::remove(to);
    Connection copy;
    int rc = sqlite3_open_v2(QFile::encodeName(to).constData(), &copy.db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK)
        return u"\"%1\" cannot be made (%2)"_s.arg(native(to), causeOf(rc, copy.db));
    // The copy is thrown away whole when anything fails, so it needs no journal.
    sqlite3_exec(copy.db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", nullptr, nullptr,
                 nullptr);
    QString failed;
    rc = copyDatabase(db, copy.db, progress, failed);
    if (rc != SQLITE_DONE)
        return failed;
    rc = sqlite3_close(copy.db);
    copy.db = nullptr;
    return rc == SQLITE_OK ? QString() : QString::fromUtf8(sqlite3_errstr(rc));
}

// Puts the pending copy of `note` in place as the kept state; the herd data is now at
// `generation`. The old description goes first, so a description never names a copy it does not
// belong to; the note goes last, so a kill at any step leaves what the next command needs to
// finish. Empty when done, else why not.
QString promote(const QString &home, const Note &note, qint64 generation)
{
    const QString pending = pendingPath(home, note.point);
    const char *const steps[3][2] = {{"keep:ini-removed", "undo:ini-removed"},
                                     {"keep:renamed", "undo:renamed"},
                                     {"keep:ini-written", "undo:ini-written"}};
    const int kind = note.restore ? 1 : 0;
    if (!removeFile(infoPath(home)))
        return u"Cannot replace \"%1\". %2"_s.arg(native(infoPath(home)), systemMessage(errno));
    stepDone(steps[0][kind]);
    if (QFileInfo::exists(pending)) {
        if (std::rename(QFile::encodeName(pending).constData(),
                        QFile::encodeName(keptPath(home)).constData())
            != 0)
            return u"Cannot keep the herd data as \"%1\". %2"_s.arg(native(keptPath(home)),
                                                                    systemMessage(errno));
        syncPath(home);
    } else {
        // Renamed before a kill: Undo.db must then be that copy.
        QString why;
        const std::optional<DataStamp> kept = stampOfFile(keptPath(home), why);
        if (!kept || kept->generation != note.before || note.before < 0)
            return u"the copy \"%1\" is gone"_s.arg(native(pending));
    }
    stepDone(steps[1][kind]);
    UndoInfo info;
    info.caption = note.caption;
    info.taken = QDateTime::currentDateTimeUtc();
    info.layouts = note.layouts;
    info.redo = note.redo;
    info.size = QFileInfo(keptPath(home)).size();
    info.generation = generation;
    info.keptGeneration = note.before;
    if (const QString why = writeInfo(home, info); !why.isEmpty())
        return why;
    stepDone(steps[2][kind]);
    removeFile(notePath(home, note.point));
    syncPath(home);
    return QString();
}

// Removes a pending copy and its note.
void discard(const QString &home, const QString &point)
{
    removeFile(pendingPath(home, point));
    removeFile(pendingPath(home, point) + u"-journal"_s);
    removeFile(notePath(home, point));
}

// The message for an undo refused because the data changed after the command it would undo.
QString changedSince(const UndoInfo &info, const DataStamp &now)
{
    const qint64 n = now.generation - info.generation;
    QString what = n == 1  ? u"1 change"_s
                   : n > 1 ? u"%1 changes"_s.arg(QLocale().toString(n))
                           : u"changes"_s;
    if (!now.change.isEmpty())
        what += u", the last: %1"_s.arg(now.change);
    const QString verb = info.redo ? u"redo"_s : u"undo"_s;
    const QString as = info.redo ? u"as it was before the undo of \"%1\""_s.arg(info.caption)
                                 : u"as it was before \"%1\""_s.arg(info.caption);
    return u"Cannot %1 \"%2\": the herd data has changed since (%3). Putting it back %4 would "
           "lose those changes. Nothing was changed"_s.arg(verb, info.caption, what, as);
}

// Raises the generation of the database on `db` to `value`, in a transaction of its own.
int stampRestored(sqlite3 *db, const QString &change, const QString &point, qint64 value)
{
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = writeStamp(db, change, point, value);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

QString restoredChange(const Note &note)
{
    // The note's redo flag is what the replaced state will be: a redo after an undo.
    return (note.redo ? u"Undo "_s : u"Redo "_s) + note.caption;
}

} // namespace

QString UndoInfo::menuText() const
{
    return (redo ? u"Redo "_s : u"Undo "_s) + caption;
}

std::optional<UndoInfo> undoInfo(const QString &home)
{
    std::optional<UndoInfo> info = readInfo(home);
    // The description is written after the copy is in place; a copy of another size is not the
    // one it describes.
    if (info && QFileInfo(keptPath(home)).size() != info->size)
        return std::nullopt;
    return info;
}

QString layoutsFingerprint(const QString &home)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QDir defs(defsFolder(home));
    for (const QString &name : defs.entryList(QDir::Files, QDir::Name)) {
        QFile file(defs.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            throw Error(
                    u"Cannot read \"%1\". %2"_s.arg(native(file.fileName()), file.errorString()));
        hash.addData(name.toUtf8());
        hash.addData(QByteArrayView("\0", 1));
        hash.addData(&file);
        hash.addData(QByteArrayView("\0", 1));
    }
    return QString::fromLatin1(hash.result().toHex());
}

UndoCheck checkUndo(const QString &home)
{
    UndoCheck check;
    check.info = undoInfo(home);
    if (!check.info)
        return check;
    const UndoInfo &info = *check.info;
    if (info.layouts != layoutsFingerprint(home)) {
        check.refusal = u"The herd data kept before \"%1\" (%2) no longer fits the record layouts: "
                        "the files in \"%3\" have changed since. Nothing was changed"_s.arg(
                                info.caption, takenText(info), native(defsFolder(home)));
        return check;
    }
    QString why;
    bool damaged = false;
    const std::optional<DataStamp> now = stampOfFile(databaseOf(home), why, &damaged);
    // Only a database that is damaged (or gone) is replaced whole; one that cannot be read just
    // now (locked by another program, an I/O error) is left alone.
    if (!now && damaged)
        check.unreadable = why;
    else if (!now)
        check.refusal = u"Cannot %1 \"%2\": the herd database cannot be read (%3). Nothing was "
                        "changed"_s.arg(info.redo ? u"redo"_s : u"undo"_s, info.caption, why);
    else if (now->generation != info.generation)
        check.refusal = changedSince(info, *now);
    return check;
}

QString undoQuestion(const UndoCheck &check)
{
    if (!check.info)
        return QString();
    const UndoInfo &info = *check.info;
    const QString what = info.redo ? u"put the herd data back as it was before the undo of "
                                     "\"%1\" (%2)"_s
                                   : u"put the herd data back as it was before \"%1\" (%2)"_s;
    QString text = what.arg(info.caption, takenText(info));
    if (check.unreadable.isEmpty())
        text = u"This will "_s + text + u'.';
    else
        text = u"The herd database cannot be read (%1). This will replace it whole and %2."_s.arg(
                check.unreadable, text);
    return text + u"\r\rDo you wish to continue."_s;
}

// ---------------------------------------------------------------------------------------------

UndoPoint::UndoPoint(Tdm &dm, ProgressSink &progress, const QString &caption)
    : UndoPoint(dm.home(), &dm,
                dm.connection().engine() == db::Engine::SQLite ? db::sqliteHandle(dm.connection())
                                                               : nullptr,
                progress, caption, Kind::Command, false, false, -1)
{
    // On a server several people work at once: one bulk command at a time per herd database.
    auto *server = dynamic_cast<db::PgConnection *>(&dm.connection());
    if (server && !db::PgConnection::bulkLockHeld()) {
        const QString refusal = server->takeBulkLock(caption, QSysInfo::machineHostName());
        if (!refusal.isEmpty())
            throw Error(refusal);
        m_bulkLock = true;
    }
}

UndoPoint::UndoPoint(const QString &home, Tdm *dm, sqlite3 *db, ProgressSink &progress,
                     const QString &caption, Kind kind, bool redo, bool unreadable,
                     qint64 restoring)
    : m_dm(dm)
    , m_home(home)
    , m_caption(caption)
{
    // The kept states of the program folder belong to its own Tembra.db: a herd database on a
    // server keeps none.
    if (!db)
        return;
    const bool restore = kind == Kind::Restore;
    auto refuse = [&](const QString &why) {
        if (!restore)
            return Error(
                    u"Cannot keep the herd data for undo: %1. %2 was not run"_s.arg(why, caption));
        return Error((redo ? u"Cannot undo \"%1\": the herd data as it is now cannot be kept to "
                             "redo it (%2). Nothing was changed"_s
                           : u"Cannot redo \"%1\": the herd data as it is now cannot be kept to "
                             "undo it again (%2). Nothing was changed"_s)
                             .arg(caption, why));
    };
    finishUndoSteps(m_home);

    // Refuse at once when the copy cannot fit, rather than fill the disk before failing.
    const QString database = databaseOf(m_home);
    const qint64 size = QFileInfo(database).size();
    const QStorageInfo volume(m_home);
    if (volume.isValid() && volume.bytesAvailable() >= 0 && size > volume.bytesAvailable())
        throw refuse(u"it needs %1 in \"%2\" and only %3 are free"_s.arg(
                QLocale().formattedDataSize(size, 1, QLocale::DataSizeTraditionalFormat),
                native(m_home),
                QLocale().formattedDataSize(volume.bytesAvailable(), 1,
                                            QLocale::DataSizeTraditionalFormat)));

    m_point = u"%1-%2-%3"_s.arg(QCoreApplication::applicationPid())
                      .arg(++g_pointNumber)
                      .arg(QDateTime::currentMSecsSinceEpoch(), 0, 36);
    m_pending = pendingPath(m_home, m_point);
    setLive(m_point, true);
    try {
        removeFile(m_pending);
        const BusyCursor busy(progress);
        const bool shown = size >= kShownBytes;
        const bool wasVisible = progress.isVisible();
        NullProgress none;
        if (shown) {
            progress.show();
            progress.setStatus(u"Keeping the data for undo"_s);
            progress.setRecords(QString());
            progress.setPosition(0);
        }
        // A herd database that cannot be read is kept as the bytes it holds.
        const QString why = unreadable ? copyBytes(database, m_pending)
                                       : keepState(db, m_pending, shown ? progress : none);
        if (shown && !wasVisible)
            progress.hide();
        if (!why.isEmpty())
            throw refuse(why);
        stepDone(restore ? "undo:copied" : "keep:copied");

        Note note;
        note.point = m_point;
        note.restore = restore;
        note.caption = caption;
        note.redo = redo;
        note.restoring = restoring;
        note.layouts = layoutsFingerprint(m_home);
        QString unread;
        if (const std::optional<DataStamp> copied = stampOfFile(m_pending, unread))
            note.before = copied->generation;
        else if (!unreadable)
            throw refuse(unread);
        m_before = note.before;
        if (const QString failed = writeNote(m_home, note); !failed.isEmpty())
            throw refuse(failed);
        stepDone(restore ? "undo:noted" : "keep:noted");
    } catch (...) {
        drop();
        throw;
    }
    if (!restore && m_dm)
        m_source = std::make_unique<ChangeSource>(*m_dm, caption, m_point);
}

UndoPoint::~UndoPoint()
{
    drop();
    if (m_bulkLock && m_dm && m_dm->isOpen())
        if (auto *server = dynamic_cast<db::PgConnection *>(&m_dm->connection()))
            server->releaseBulkLock();
}

void UndoPoint::drop()
{
    m_source.reset();
    if (m_pending.isEmpty())
        return;
    discard(m_home, m_point);
    setLive(m_point, false);
    m_pending.clear();
}

QString UndoPoint::commit()
{
    m_source.reset();
    if (m_pending.isEmpty() || !m_dm)
        return QString();
    stepDone("keep:committed");
    auto notKept = [&](const QString &why) {
        drop();
        return u"%1 was done, but the herd data as it was before it could not be kept for undo "
               "(%2)"_s.arg(m_caption, why);
    };
    DataStamp now;
    try {
        now = m_dm->dataStamp();
    } catch (const Error &e) {
        return notKept(e.message());
    }
    // Nothing changed the herd tables: the previous undo stays as it is.
    if (now.generation == m_before) {
        drop();
        return QString();
    }
    // Something besides the command changed the data meanwhile: putting the copy back would
    // lose that too. The previous undo no longer fits either (its generation has gone).
    if (now.point != m_point || now.generation != m_before + m_dm->stampsFor(m_point)) {
        drop();
        return QString();
    }
    const std::optional<Note> note = readNote(m_home, m_point);
    if (!note)
        return notKept(u"its note \"%1\" cannot be read"_s.arg(native(notePath(m_home, m_point))));
    if (const QString why = promote(m_home, *note, now.generation); !why.isEmpty())
        return notKept(why);
    setLive(m_point, false);
    m_pending.clear();
    return QString();
}

// ---------------------------------------------------------------------------------------------

// Putting a kept state back, on the program's connection or on one of its own.
struct UndoSteps
{
    static UndoResult undo(const QString &home, Tdm *dm, ProgressSink &progress)
    {
        if (dm && dm->inTransaction())
            throw Error(u"Cannot undo while a command is running"_s);
        if (dm)
            dm->dataStamp(); // a change committed without its stamp is stamped first
        finishUndoSteps(home);
        const UndoCheck check = checkUndo(home);
        if (!check.info)
            throw Error(u"There is nothing to undo"_s);
        if (!check.refusal.isEmpty())
            throw Error(check.refusal);
        const UndoInfo &info = *check.info;
        const bool unreadable = !check.unreadable.isEmpty();

        const HideProgressAtEnd hide(progress);
        Connection kept;
        int rc = kept.open(keptPath(home), SQLITE_OPEN_READONLY);
        QString verdict;
        if (rc == SQLITE_OK) {
            // The copy was not forced to the disk when it was made: a crash of the system since
            // may have left it damaged, and a damaged copy must never replace the herd data.
            BusyCursor busy(progress);
            sqlite3_stmt *raw = nullptr;
            rc = sqlite3_prepare_v2(kept.db, "PRAGMA quick_check", -1, &raw, nullptr);
            const SqliteStmt stmt(raw);
            if (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
                verdict = QString::fromUtf8(
                        reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
                rc = SQLITE_OK;
            }
        }
        QString unread;
        const std::optional<DataStamp> keptStamp
                = rc == SQLITE_OK ? readStamp(kept.db, &unread) : std::nullopt;
        if (rc != SQLITE_OK || verdict != u"ok"_s || !keptStamp)
            throw Error(u"The herd data kept for undo in \"%1\" is damaged (%2). Nothing was "
                        "changed"_s.arg(native(keptPath(home)), rc != SQLITE_OK
                                                                        ? causeOf(rc, kept.db)
                                                                : verdict != u"ok"_s ? verdict
                                                                                     : unread));

        Connection own;
        sqlite3 *db = dm ? db::sqliteHandle(dm->connection()) : nullptr;
        if (!dm) {
            rc = own.open(databaseOf(home), SQLITE_OPEN_READWRITE);
            if (rc != SQLITE_OK && !unreadable)
                throw Error(u"Cannot open the herd database \"%1\": %2"_s.arg(
                        native(databaseOf(home)), causeOf(rc, own.db)));
            db = own.db;
        }

        // The state now becomes the next undo: undoing the undo is a redo.
        UndoPoint now(home, dm, db, progress, info.caption, UndoPoint::Kind::Restore, !info.redo,
                      unreadable, keptStamp->generation);
        if (info.size >= kShownBytes)
            progress.show();
        progress.setStatus(info.redo ? u"Redoing "_s + info.caption : u"Undoing "_s + info.caption);
        progress.setPosition(0);
        QString why;
        rc = db ? copyDatabase(kept.db, db, progress, why) : SQLITE_CANTOPEN;
        if (rc == SQLITE_DONE) {
            rc = SQLITE_OK;
        } else {
            if (!unreadable)
                throw Error(u"Cannot put back the herd data kept before \"%1\": %2. Nothing was "
                            "changed"_s.arg(info.caption, why));
            // Not even SQLite can write into what the file holds: the kept copy replaces the
            // file whole.
            if (const QString failed = replaceFile(home); !failed.isEmpty())
                throw Error(u"Cannot put back the herd data kept before \"%1\": %2. Nothing was "
                            "changed"_s.arg(info.caption, failed));
            rc = own.open(databaseOf(home), SQLITE_OPEN_READWRITE);
            db = own.db;
        }
        stepDone("undo:restored");

        UndoResult result;
        result.undone = info;
        const std::optional<Note> note = readNote(home, now.m_point);
        const qint64 generation = std::max(now.m_before, keptStamp->generation) + 1;
        QString failed;
        if (!note)
            failed = u"its note cannot be read"_s;
        else if (rc != SQLITE_OK
                 || (rc = stampRestored(db, restoredChange(*note), now.m_point, generation))
                            != SQLITE_OK)
            failed = causeOf(rc, db);
        else {
            stepDone("undo:stamped");
            failed = promote(home, *note, generation);
        }
        if (failed.isEmpty()) {
            setLive(now.m_point, false);
            now.m_pending.clear();
        } else {
            now.drop();
            result.warning = (info.redo ? u"Redone: %1, but the herd data it replaced could not "
                                          "be kept to undo it again (%2)"_s
                                        : u"Undone: %1, but the herd data it replaced could not "
                                          "be kept to redo it (%2)"_s)
                                     .arg(info.caption, failed);
        }
        return result;
    }

    // Replaces the herd database file (the file a link points to, where it is one) with a copy
    // of the kept state, removing the journal of the file it replaces. Empty when done.
    static QString replaceFile(const QString &home)
    {
        const QFileInfo link(databaseOf(home));
        const QString target = link.isSymLink() ? link.symLinkTarget() : databaseOf(home);
        const QString part = target + u".restore.part"_s;
        removeFile(part);
        if (const QString why = copyBytes(keptPath(home), part); !why.isEmpty()) {
            removeFile(part);
            return why;
        }
        for (const char *suffix : {"-journal", "-wal", "-shm"})
            removeFile(target + QLatin1String(suffix));
        if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData())
            != 0) {
            const int error = errno;
            removeFile(part);
            return systemMessage(error);
        }
        syncPath(QFileInfo(target).absolutePath());
        return QString();
    }

    static void finish(const QString &home)
    {
        const QStringList notes = QDir(home).entryList({u"Undo.db.*.next"_s}, QDir::Files);
        for (const QString &name : notes) {
            const QString point = name.mid(8, name.size() - 8 - 5);
            if (isLive(point))
                continue;
            const std::optional<Note> note = readNote(home, point);
            if (!note) {
                discard(home, point);
                continue;
            }
            QString why;
            const std::optional<DataStamp> now = stampOfFile(databaseOf(home), why);
            if (!now) {
                // An undo into a herd database that could not be read was stopped before it
                // put anything back; anything else waits until the data can be read.
                if (note->restore && note->before < 0)
                    discard(home, point);
                continue;
            }
            if (now->point == point) {
                promote(home, *note, now->generation);
            } else if (note->restore && now->generation == note->restoring
                       && note->restoring != note->before) {
                // Put back, and killed before the data was stamped as such.
                const qint64 generation = std::max(note->before, note->restoring) + 1;
                Connection c;
                if (c.open(databaseOf(home), SQLITE_OPEN_READWRITE) == SQLITE_OK
                    && stampRestored(c.db, restoredChange(*note), point, generation) == SQLITE_OK)
                    promote(home, *note, generation);
            } else {
                discard(home, point);
            }
        }
        // Copies and half-written files that belong to no note.
        const QStringList loose = QDir(home).entryList(
                {u"Undo.db.*.part"_s, u"Undo.db.*.part-journal"_s, u"Undo.db.*.next.part"_s,
                 u"Undo.ini.part"_s, u"Tembra.db.restore.part"_s},
                QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &name : loose) {
            if (name.startsWith(u"Undo.db."_s)) {
                const QString point = name.mid(8).section(u'.', 0, 0);
                if (isLive(point) || QFileInfo::exists(notePath(home, point)))
                    continue;
            }
            removeFile(home + name);
        }
    }
};

UndoResult undoLastCommand(Tdm &dm, ProgressSink &progress)
{
    return UndoSteps::undo(dm.home(), &dm, progress);
}

UndoResult undoLastCommand(const QString &home, ProgressSink &progress)
{
    return UndoSteps::undo(home.endsWith(u'/') ? home : home + u'/', nullptr, progress);
}

void finishUndoSteps(const QString &home)
{
    try {
        UndoSteps::finish(home.endsWith(u'/') ? home : home + u'/');
    } catch (...) {
        // What cannot be decided now is left for the next command.
    }
}

} // namespace bm
