#include "Ascii.h"

#include <cstring>

namespace bm {

bool isAscii(QByteArrayView bytes)
{
    // Eight bytes at a time: this runs over every byte a load reads.
    const char *p = bytes.data();
    const char *end = p + bytes.size();
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    return true;
}

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace bm
