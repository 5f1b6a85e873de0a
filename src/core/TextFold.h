#pragma once

#include <QByteArrayView>
#include <QString>

#include <string>

struct sqlite3;

namespace bm {

// Text compared without regard to case for every letter, not only A to Z: two texts are equal
// when their case-folded forms are, and they sort by those forms.
//
// On SQLite the columns stay declared COLLATE NOCASE, which the sqlite3 shell knows (it folds
// A to Z only), and our statements name a collation of our own, registered on each connection
// and never written into the schema, where they compare or sort text. An index made by the shell
// (or by a check script) therefore keeps NOCASE's order on every connection, ours included; an
// override of NOCASE itself on our connection would read and write such an index in another
// order than the shell does. LIKE, which is not stored anywhere, is replaced on our connection
// by one that folds every letter too.

// The collation's name, and " COLLATE <name>" to follow a text operand in a statement.
inline constexpr const char *kFoldCollation = "bm_nocase";
QString foldCollate();

// Registers the collation and the folding LIKE (two and three arguments) on `db`.
void registerTextFold(sqlite3 *db);

// Orders two UTF-8 texts by their case-folded forms: negative, zero or positive.
int compareFolded(QByteArrayView a, QByteArrayView b);

// Appends the case-folded form of the UTF-8 text `utf8` to `out` as UTF-8: equal for two texts
// exactly when compareFolded() finds them equal. Plain ASCII is folded in place, byte by byte.
void appendFolded(std::string &out, QByteArrayView utf8);

// LIKE without regard to case for every letter: "%" any run of characters, "_" one character,
// `escape` (0 for none) makes the next character stand for itself.
bool likeFolded(QByteArrayView pattern, QByteArrayView text, char32_t escape);

} // namespace bm
