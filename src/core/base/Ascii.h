#pragma once

#include <QByteArrayView>
#include <QStringView>

namespace bm {

// True when every byte (or character) is plain ASCII, below 0x80.
bool isAscii(QByteArrayView bytes);
bool isAscii(QStringView text);

} // namespace bm
