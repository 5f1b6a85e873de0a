#include "StoredDate.h"

namespace bm {

QDate storedDate(QByteArrayView iso)
{
    while (!iso.isEmpty() && static_cast<unsigned char>(iso.front()) <= ' ')
        iso = iso.sliced(1);
    if (iso.size() < 10 || iso[4] != '-' || iso[7] != '-')
        return QDate();
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8};
    const int widths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < widths[p]; ++i) {
            const char c = iso[starts[p] + i];
            if (c < '0' || c > '9')
                return QDate();
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]);
}

} // namespace bm
