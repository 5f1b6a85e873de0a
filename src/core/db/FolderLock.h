#pragma once

#include <QString>

namespace bm {

// One command at a time per program folder. Every command that changes the herd database or the
// scratch folder holds the lock of its program folder, and the program window holds it while it
// is open: two copies of the program would otherwise delete each other's scratch files and mix
// their changes.
//
// The lock is an exclusive lock of the system on the file <home>Tembra.lock, which also holds
// the holder's process id for the message a second copy gets. The system releases the lock when
// the holder ends, however it ends (a crash or a kill included), so a lock is never left stale.
// The lock file is never followed where it is a link, and only written where it is a plain file
// with no other name: anything else in its place is refused with a message.
class FolderLock
{
public:
    // Takes the lock of the program folder `home`, without waiting. Raises when another copy of
    // the program holds it ("The herd data in ... is in use by another copy of the program
    // (process 1234) ..."), or when the lock file cannot be made.
    explicit FolderLock(const QString &home);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    // The lock file of a program folder.
    static QString lockPath(const QString &home);

    // True when the holder before this one ended without releasing the lock as it should (it
    // was killed or crashed), so its command may have left files behind.
    bool previousHolderDied() const { return m_holderDied; }

private:
    int m_fd = -1;
    bool m_holderDied = false;
};

} // namespace bm
