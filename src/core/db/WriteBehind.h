#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace bm {

namespace db {
class SqliteConnection;
}

// While it lives, asks the system every so often, on a thread of its own, to start writing the
// changed pages of the herd database to disk. A command that writes a lot in one transaction
// then finds little left to wait for when it commits: the disk works while the command still
// reads and inserts. Only the start of the writing is asked for, never waited on: what is
// durable when stays as SQLite makes it. Does nothing where the system has no such request.
class WriteBehind
{
public:
    explicit WriteBehind(const db::SqliteConnection &connection,
                         std::chrono::milliseconds every = std::chrono::milliseconds(200));
    ~WriteBehind();
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace bm
