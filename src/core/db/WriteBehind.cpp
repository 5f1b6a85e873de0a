#include "WriteBehind.h"

#include "SqliteConnection.h"

#include <sqlite3.h>

#ifdef __linux__
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#endif

namespace bm {

namespace {

// The connection's own descriptor of its database file, or -1. It is found among the process's
// descriptors rather than opened here: closing a descriptor of the file opened by anyone else
// in the process would drop the locks the connection holds on it.
int databaseDescriptor([[maybe_unused]] sqlite3 *db)
{
#ifdef __linux__
    const char *name = db ? sqlite3_db_filename(db, "main") : nullptr;
    char real[PATH_MAX];
    if (!name || !*name || !::realpath(name, real))
        return -1;
    DIR *fds = ::opendir("/proc/self/fd");
    if (!fds)
        return -1;
    int found = -1;
    while (const dirent *entry = ::readdir(fds)) {
        char link[sizeof "/proc/self/fd/" + NAME_MAX];
        char target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%s", entry->d_name);
        const ssize_t n = ::readlink(link, target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        if (std::strcmp(target, real) == 0) {
            found = std::atoi(entry->d_name);
            break;
        }
    }
    ::closedir(fds);
    return found;
#else
    return -1;
#endif
}

} // namespace

WriteBehind::WriteBehind(const db::SqliteConnection &connection, std::chrono::milliseconds every)
{
    const int fd = databaseDescriptor(connection.handle());
    if (fd < 0)
        return;
    m_thread = std::thread([this, fd, every] {
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, every, [this] { return m_stop; })) {
#ifdef __linux__
            // Starts the writing of whatever is dirty and not yet being written, without
            // waiting for it. Should the descriptor have been closed meanwhile, the request
            // fails or reaches some other file, where it does no harm either.
            lock.unlock();
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            lock.lock();
#endif
        }
    });
}

WriteBehind::~WriteBehind()
{
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

} // namespace bm
