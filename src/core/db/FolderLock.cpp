#include "FolderLock.h"

#include "Error.h"
#include "FileWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// Opens the lock file without following a link and without waiting (a pipe would block a
// read-only open).
int openLockFile(const QByteArray &name, int flags)
{
    return ::open(name.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
}

// The process id written in the lock file open as `fd`, or 0 when there is none (yet).
qint64 holderOf(int fd)
{
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return 0;
    bool ok = false;
    const qint64 pid = QByteArray(text, int(n)).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

// Why the file open as `fd` cannot be the lock file of its folder: it must be a plain file with
// no other name (a hard link would let the program write into a file of somebody else's).
QString refusalOf(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return systemMessage(errno);
    if (!S_ISREG(st.st_mode))
        return u"is not a plain file"_s;
    if (st.st_nlink != 1)
        return u"has other names (a hard link)"_s;
    return QString();
}

} // namespace

QString FolderLock::lockPath(const QString &home)
{
    return (home.endsWith(u'/') ? home : home + u'/') + u"Tembra.lock"_s;
}

FolderLock::FolderLock(const QString &home)
{
    const QString path = lockPath(home);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        throw Error(u"The program folder \"%1\" does not exist"_s.arg(
                QDir::toNativeSeparators(folder)));
    // Not inherited by programs this one starts: the lock ends with this process. A link in
    // the lock file's place is never followed, and only a plain file of the folder is written.
    const QByteArray name = QFile::encodeName(path);
    auto cannotLock = [&](const QString &why) {
        return Error(
                u"Cannot lock the herd data in \"%1\": \"%2\" %3. Remove it and try again"_s.arg(
                        QDir::toNativeSeparators(folder), QDir::toNativeSeparators(path), why));
    };
    m_fd = openLockFile(name, O_RDWR | O_CREAT);
    bool writable = m_fd >= 0;
    if (m_fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A folder this user may not write to (a shared installation): a lock file that is
        // there is locked all the same, through a descriptor that only reads. Without one,
        // nothing can be changed here by this user (the database's journal needs the folder
        // too): the program may still show the data, and there is nothing to lock.
        const int error = errno;
        m_fd = openLockFile(name, O_RDONLY);
        if (m_fd < 0 && errno == ENOENT)
            return;
        if (m_fd < 0)
            errno = error;
    }
    if (m_fd < 0 && errno == ELOOP)
        throw cannotLock(u"is a symbolic link"_s);
    if (m_fd < 0)
        throw Error(u"Cannot lock the herd data in \"%1\": %2"_s.arg(
                QDir::toNativeSeparators(folder), systemMessage(errno)));
    if (const QString why = refusalOf(m_fd); !why.isEmpty()) {
        ::close(m_fd);
        m_fd = -1;
        throw cannotLock(why);
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        if (error != EWOULDBLOCK)
            throw Error(u"Cannot lock the herd data in \"%1\": %2"_s.arg(
                    QDir::toNativeSeparators(folder), systemMessage(error)));
        // The holder writes its process id right after it took the lock.
        qint64 pid = 0;
        const int fd = openLockFile(name, O_RDONLY);
        for (int i = 0; fd >= 0 && i < 10 && (pid = holderOf(fd)) == 0; ++i)
            QThread::msleep(10);
        if (fd >= 0)
            ::close(fd);
        throw Error(u"The herd data in \"%1\" is in use by another copy of the program%2. Close "
                    "that copy or wait until its command has finished, then try again"_s.arg(
                            QDir::toNativeSeparators(folder),
                            pid > 0 ? u" (process %1)"_s.arg(pid) : QString()));
    }
    // A holder that ended without clearing the file was killed, and may have left files behind.
    m_holderDied = holderOf(m_fd) != 0;
    if (!writable) {
        m_holderDied = false;
        return;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::pwrite(m_fd, pid.constData(), size_t(pid.size()), 0) < 0
        || ::ftruncate(m_fd, pid.size()) != 0) {
        // The lock holds without the id; a second copy is then told without it.
    }
}

FolderLock::~FolderLock()
{
    if (m_fd < 0)
        return;
    // Cleared while still held, so the next holder's id is never mixed with this one's.
    if (::ftruncate(m_fd, 0) != 0) {
        // Nothing to do: the next holder rewrites the file.
    }
    ::close(m_fd);
}

} // namespace bm
