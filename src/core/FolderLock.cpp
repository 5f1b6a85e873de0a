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
#include <unistd.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// The process id written in a lock file, or 0 when there is none (yet).
qint64 holderOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 pid = file.read(32).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
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
    // Not inherited by programs this one starts: the lock ends with this process.
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A folder this user may not write to (a shared installation): a lock file that is
        // there is locked all the same, through a descriptor that only reads. Without one,
        // nothing can be changed here by this user (the database's journal needs the folder
        // too): the program may still show the data, and there is nothing to lock.
        const int error = errno;
        m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0 && errno == ENOENT)
            return;
        if (m_fd < 0)
            errno = error;
    }
    if (m_fd < 0)
        throw Error(u"Cannot lock the herd data in \"%1\": %2"_s.arg(
                QDir::toNativeSeparators(folder), systemMessage(errno)));
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        if (error != EWOULDBLOCK)
            throw Error(u"Cannot lock the herd data in \"%1\": %2"_s.arg(
                    QDir::toNativeSeparators(folder), systemMessage(error)));
        // The holder writes its process id right after it took the lock.
        qint64 pid = holderOf(path);
        for (int i = 0; i < 10 && pid == 0; ++i) {
            QThread::msleep(10);
            pid = holderOf(path);
        }
        throw Error(u"The herd data in \"%1\" is in use by another copy of the program%2. Close "
                    "that copy or wait until its command has finished, then try again"_s.arg(
                            QDir::toNativeSeparators(folder),
                            pid > 0 ? u" (process %1)"_s.arg(pid) : QString()));
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, pid.constData(), size_t(pid.size()), 0) < 0) {
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
