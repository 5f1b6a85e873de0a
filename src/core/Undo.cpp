#include "Undo.h"

#include "Error.h"
#include "FileWrite.h"
#include "Layout.h"
#include "ProgressSink.h"
#include "SqliteConnection.h"
#include "Tdm.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStorageInfo>

#include <sqlite3.h>

#include <atomic>
#include <cerrno>
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

QString keptPath(const QString &home)
{
    return home + u"Undo.db"_s;
}

QString infoPath(const QString &home)
{
    return home + u"Undo.ini"_s;
}

// The copies being made by this process. Any other pending copy in a folder whose lock we hold
// was left behind by a copy of the program that ended in the middle of a command.
// Finalizes a raw SQLite statement when it goes out of scope.
struct SqliteStmtDeleter
{
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using SqliteStmt = std::unique_ptr<sqlite3_stmt, SqliteStmtDeleter>;

std::mutex g_liveMutex;
std::set<QString> g_live;
std::atomic<int> g_pendingNumber{0};

void removeStalePending(const QString &home)
{
    const std::lock_guard guard(g_liveMutex);
    const QStringList names = QDir(home).entryList(
            {u"Undo.db.*.part"_s, u"Undo.db.*.part-journal"_s}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QString path = home + name;
        const QString base = name.endsWith(u"-journal"_s) ? path.chopped(8) : path;
        if (!g_live.count(base))
            QFile::remove(path);
    }
}

struct Connection
{
    sqlite3 *db = nullptr;
    ~Connection() { sqlite3_close_v2(db); }
};

QString causeOf(int rc, sqlite3 *db)
{
    if (db::isDatabaseFailure(rc))
        return db::databaseFailureCause(rc, db);
    const char *message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    return QString::fromUtf8(message ? message : sqlite3_errstr(rc));
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

void syncPath(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::optional<UndoInfo> readInfo(const QString &home)
{
    QFile file(infoPath(home));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    UndoInfo info;
    bool sized = false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1);
        if (key == u"caption"_s)
            info.caption = value;
        else if (key == u"taken"_s)
            info.taken = QDateTime::fromString(value, Qt::ISODate);
        else if (key == u"layouts"_s)
            info.layouts = value;
        else if (key == u"redo"_s)
            info.redo = value == u"1"_s;
        else if (key == u"serial"_s)
            info.serial = value.toLongLong();
        else if (key == u"size"_s)
            info.size = value.toLongLong(&sized);
    }
    if (info.caption.isEmpty() || !sized)
        return std::nullopt;
    return info;
}

void writeInfo(const QString &home, const UndoInfo &info)
{
    QSaveFile file(infoPath(home));
    QByteArray text;
    text += "caption=" + info.caption.toUtf8() + '\n';
    text += "taken=" + info.taken.toUTC().toString(Qt::ISODate).toUtf8() + '\n';
    text += "layouts=" + info.layouts.toUtf8() + '\n';
    text += QByteArray("redo=") + (info.redo ? "1" : "0") + '\n';
    text += "serial=" + QByteArray::number(info.serial) + '\n';
    text += "size=" + QByteArray::number(info.size) + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw Error(u"Cannot write \"%1\". %2"_s.arg(native(infoPath(home)), file.errorString()));
}

QString takenText(const UndoInfo &info)
{
    return QLocale().toString(info.taken.toLocalTime(),
                              shortDateFormat() + u' '
                                      + QLocale().timeFormat(QLocale::ShortFormat));
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

UndoPoint::UndoPoint(Tdm &dm, ProgressSink &progress, const QString &caption)
    : m_dm(dm)
    , m_caption(caption)
{
    const QString home = dm.home();
    removeStalePending(home);
    const std::optional<UndoInfo> previous = readInfo(home);
    m_serial = previous ? previous->serial : 0;

    auto refuse = [&](const QString &why) {
        return Error(u"Cannot keep the herd data for undo: %1. %2 was not run"_s.arg(why, caption));
    };
    // Refuse at once when the copy cannot fit, rather than fill the disk before failing.
    const qint64 size = QFileInfo(dm.databasePath()).size();
    const QStorageInfo volume(home);
    if (volume.isValid() && volume.bytesAvailable() >= 0 && size > volume.bytesAvailable())
        throw refuse(u"it needs %1 in \"%2\" and only %3 are free"_s.arg(
                QLocale().formattedDataSize(size, 1, QLocale::DataSizeTraditionalFormat),
                native(home),
                QLocale().formattedDataSize(volume.bytesAvailable(), 1,
                                            QLocale::DataSizeTraditionalFormat)));

    m_pending = u"%1Undo.db.%2-%3.part"_s.arg(home)
                        .arg(QCoreApplication::applicationPid())
                        .arg(++g_pendingNumber);
    {
        const std::lock_guard guard(g_liveMutex);
        g_live.insert(m_pending);
    }
    try {
        QFile::remove(m_pending);
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
        const QString why
                = keepState(db::sqliteHandle(dm.connection()), m_pending, shown ? progress : none);
        if (shown && !wasVisible)
            progress.hide();
        if (!why.isEmpty())
            throw refuse(why);
    } catch (...) {
        QFile::remove(m_pending);
        QFile::remove(m_pending + u"-journal"_s);
        const std::lock_guard guard(g_liveMutex);
        g_live.erase(m_pending);
        throw;
    }
    m_changes = sqlite3_total_changes64(db::sqliteHandle(dm.connection()));
}

UndoPoint::~UndoPoint()
{
    if (m_pending.isEmpty())
        return;
    QFile::remove(m_pending);
    const std::lock_guard guard(g_liveMutex);
    g_live.erase(m_pending);
}

void UndoPoint::commit()
{
    if (m_pending.isEmpty())
        return;
    const std::optional<UndoInfo> current = readInfo(m_dm.home());
    const bool changed = sqlite3_total_changes64(db::sqliteHandle(m_dm.connection())) != m_changes;
    const bool overtaken = (current ? current->serial : 0) != m_serial;
    if (changed && !overtaken)
        take(false);
}

void UndoPoint::take(bool redo)
{
    const QString home = m_dm.home();
    UndoInfo info;
    info.caption = m_caption;
    info.taken = QDateTime::currentDateTimeUtc();
    info.layouts = layoutsFingerprint(home);
    info.redo = redo;
    info.serial = m_serial + 1;
    info.size = QFileInfo(m_pending).size();
    // The old description goes first: until the new one is written nothing is offered, so a
    // description never names a copy it does not belong to.
    if (QFile::exists(infoPath(home)) && !QFile::remove(infoPath(home)))
        throw Error(u"Cannot replace \"%1\""_s.arg(native(infoPath(home))));
    if (std::rename(QFile::encodeName(m_pending).constData(),
                    QFile::encodeName(keptPath(home)).constData())
        != 0)
        throw Error(u"Cannot keep the herd data for undo as \"%1\". %2"_s.arg(
                native(keptPath(home)), systemMessage(errno)));
    {
        const std::lock_guard guard(g_liveMutex);
        g_live.erase(m_pending);
    }
    m_pending.clear();
    writeInfo(home, info);
    syncPath(home);
}

UndoInfo undoLastCommand(Tdm &dm, ProgressSink &progress)
{
    const QString home = dm.home();
    const std::optional<UndoInfo> info = undoInfo(home);
    if (!info)
        throw Error(u"There is nothing to undo"_s);
    if (info->layouts != layoutsFingerprint(home))
        throw Error(u"The herd data kept before \"%1\" (%2) no longer fits the record layouts: "
                    "the files in \"%3\" have changed since. Nothing was changed"_s.arg(
                            info->caption, takenText(*info), native(defsFolder(home))));
    if (dm.inTransaction())
        throw Error(u"Cannot undo while a command is running"_s);

    const HideProgressAtEnd hide(progress);
    Connection kept;
    int rc = sqlite3_open_v2(QFile::encodeName(keptPath(home)).constData(), &kept.db,
                             SQLITE_OPEN_READONLY, nullptr);
    QString check;
    if (rc == SQLITE_OK) {
        // The copy was not forced to the disk when it was made: a crash of the system since
        // may have left it damaged, and a damaged copy must never replace the herd data.
        BusyCursor busy(progress);
        sqlite3_stmt *raw = nullptr;
        rc = sqlite3_prepare_v2(kept.db, "PRAGMA quick_check", -1, &raw, nullptr);
        const SqliteStmt stmt(raw);
        if (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
            check = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)));
            rc = SQLITE_OK;
        }
    }
    if (rc != SQLITE_OK || check != u"ok"_s)
        throw Error(u"The herd data kept for undo in \"%1\" is damaged (%2). Nothing was "
                    "changed"_s.arg(native(keptPath(home)),
                                    rc != SQLITE_OK ? causeOf(rc, kept.db) : check));

    // The state now becomes the next undo: undoing the undo is a redo.
    UndoPoint now(dm, progress, info->caption);
    if (info->size >= kShownBytes)
        progress.show();
    progress.setStatus(info->redo ? u"Redoing "_s + info->caption : u"Undoing "_s + info->caption);
    progress.setPosition(0);
    QString why;
    rc = copyDatabase(kept.db, db::sqliteHandle(dm.connection()), progress, why);
    if (rc != SQLITE_DONE)
        throw Error(u"Cannot put back the herd data kept before \"%1\": %2. Nothing was "
                    "changed"_s.arg(info->caption, why));
    now.take(!info->redo);
    return *info;
}

QString undoQuestion(const UndoInfo &info)
{
    const QString what = info.redo ? u"This will put the herd data back as it was before the undo "
                                     "of \"%1\" (%2)."_s
                                   : u"This will put the herd data back as it was before \"%1\" "
                                     "(%2)."_s;
    return what.arg(info.caption, takenText(info)) + u"\r\rDo you wish to continue."_s;
}

} // namespace bm
