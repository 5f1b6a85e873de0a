#pragma once

#include <QString>

namespace bm {

// Removes what killed commands left in the program folder `home`, for the next command that
// holds the folder's lock to call before it begins: it finishes or rolls back an undo step that
// was cut short (finishUndoSteps), and removes compacted copies that never became the database
// (Tembra.compact-*.db and their journals) and the sort runs of a split (Scratch/~split-*.tmp).
// When the lock's previous holder was killed (`holderDied`), the files of the scratch folder that
// a load or a save makes there (unpacked, split or packed files) go too. Never raises; a file
// that cannot be removed stays for the next time.
void removeLeftovers(const QString &home, bool holderDied);

} // namespace bm
