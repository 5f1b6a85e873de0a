#pragma once

#include <QByteArrayView>
#include <QString>

#include <string>

namespace bm {

// Text compared without regard to case for every letter, not only A to Z: two texts are equal
// when their case-folded forms are, and they sort by those forms.
//
// The engines compare this way where a statement asks for it (db::Connection::caseless()); these
// are the rules they follow, and the clean-up's keys in memory are folded by them too.

// Orders two UTF-8 texts by their case-folded forms: negative, zero or positive.
int compareFolded(QByteArrayView a, QByteArrayView b);

// Appends the case-folded form of the UTF-8 text `utf8` to `out` as UTF-8: equal for two texts
// exactly when compareFolded() finds them equal. Plain ASCII is folded in place, byte by byte.
void appendFolded(std::string &out, QByteArrayView utf8);

// LIKE without regard to case for every letter: "%" any run of characters, "_" one character,
// `escape` (0 for none) makes the next character stand for itself.
bool likeFolded(QByteArrayView pattern, QByteArrayView text, char32_t escape);

} // namespace bm
