#include "TextFold.h"

#include "Ascii.h"

#include <QChar>
#include <QList>

#include <algorithm>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// One LIKE pattern against one text, both sequences of characters; `same` compares two
// characters without regard to case.
template<typename Char, typename Same>
bool like(const Char *p, size_t patternSize, const Char *t, size_t textSize, char32_t escape,
          Same same)
{
    constexpr size_t none = size_t(-1);
    size_t pi = 0;
    size_t ti = 0;
    size_t afterStar = none; // the pattern just after the last "%"
    size_t starText = 0;     // where the text was when that "%" was met
    while (ti < textSize) {
        if (pi < patternSize) {
            const char32_t c = char32_t(p[pi]);
            if (c == U'%') {
                afterStar = ++pi;
                starText = ti;
                continue;
            }
            const bool escaped = escape != 0 && c == escape && pi + 1 < patternSize;
            const char32_t want = escaped ? char32_t(p[pi + 1]) : c;
            if ((!escaped && c == U'_') || same(want, char32_t(t[ti]))) {
                pi += escaped ? 2 : 1;
                ++ti;
                continue;
            }
        }
        if (afterStar == none)
            return false;
        pi = afterStar;
        ti = ++starText;
    }
    while (pi < patternSize && char32_t(p[pi]) == U'%')
        ++pi;
    return pi == patternSize;
}

} // namespace

int compareFolded(QByteArrayView a, QByteArrayView b)
{
    // Plain ASCII, the usual case, byte by byte; from the first other character on, the rest of
    // both texts folded whole. The folded forms of the ASCII prefix are the bytes themselves, so
    // the order is that of the whole folded texts either way.
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    for (; i < n; ++i) {
        const char x = a[i];
        const char y = b[i];
        if ((uchar(x) | uchar(y)) & 0x80)
            break;
        const char fx = lowerAscii(x);
        const char fy = lowerAscii(y);
        if (fx != fy)
            return uchar(fx) < uchar(fy) ? -1 : 1;
    }
    // One text ended: the other goes after it (no character folds to nothing).
    if (i == n)
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    const QString x = QString::fromUtf8(a.sliced(i)).toCaseFolded();
    const QString y = QString::fromUtf8(b.sliced(i)).toCaseFolded();
    return x.compare(y);
}

void appendFolded(std::string &out, QByteArrayView utf8)
{
    if (isAscii(utf8)) {
        const size_t start = out.size();
        out.append(utf8.data(), size_t(utf8.size()));
        for (size_t i = start; i < out.size(); ++i)
            out[i] = lowerAscii(out[i]);
        return;
    }
    const QByteArray folded = QString::fromUtf8(utf8).toCaseFolded().toUtf8();
    out.append(folded.constData(), size_t(folded.size()));
}

bool likeFolded(QByteArrayView pattern, QByteArrayView text, char32_t escape)
{
    if (isAscii(pattern) && isAscii(text) && escape < 0x80) {
        return like(
                pattern.data(), size_t(pattern.size()), text.data(), size_t(text.size()), escape,
                [](char32_t x, char32_t y) { return lowerAscii(char(x)) == lowerAscii(char(y)); });
    }
    const QList<uint> p = QString::fromUtf8(pattern).toUcs4();
    const QList<uint> t = QString::fromUtf8(text).toUcs4();
    return like(p.constData(), size_t(p.size()), t.constData(), size_t(t.size()), escape,
                [](char32_t x, char32_t y) {
                    return x == y || QChar::toCaseFolded(x) == QChar::toCaseFolded(y);
                });
}

} // namespace bm
