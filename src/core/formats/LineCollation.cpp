#include "LineCollation.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kLastPrintable = 0x7E;

QString latin1(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.data(), bytes.size());
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

} // namespace

LineCollation::LineCollation(const QLocale &locale)
    : m_collator(locale)
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(false);
    m_collator.setIgnorePunctuation(false);
    // Qt's collator for the C locale compares case-folded text and has no case-insensitive
    // sort keys.
    m_plain = locale.language() == QLocale::C;
    m_weights = buildWeights();
}

bool LineCollation::buildWeights()
{
    // Rank the single characters by the collator; characters that compare equal (a letter and
    // its capital) share a weight. A character the collator ignores makes the table unusable.
    QList<char> chars;
    for (int c = kFirstPrintable; c <= kLastPrintable; ++c)
        chars << char(c);
    std::stable_sort(chars.begin(), chars.end(), [this](char a, char b) {
        return m_collator.compare(QString(QLatin1Char(a)), QString(QLatin1Char(b))) < 0;
    });
    unsigned char rank = 0;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        const QString here(QLatin1Char(chars.at(i)));
        if (i == 0 || m_collator.compare(QString(QLatin1Char(chars.at(i - 1))), here) != 0)
            ++rank;
        m_weight[static_cast<unsigned char>(chars.at(i))] = rank;
        if (m_collator.compare(u"a"_s + here, u"a"_s) == 0)
            return false;
    }

    // Check the table against the collator on every text of one and two characters: sorted by
    // the collator, each neighbour must compare the same way through the table. Two total
    // orders that agree on all neighbours of a sorted list agree on the whole list.
    QList<QByteArray> texts;
    texts.reserve(95 * 96);
    for (int a = kFirstPrintable; a <= kLastPrintable; ++a) {
        texts << QByteArray(1, char(a));
        for (int b = kFirstPrintable; b <= kLastPrintable; ++b)
            texts << (QByteArray(1, char(a)) + char(b));
    }
    QList<QString> wide;
    wide.reserve(texts.size());
    for (const QByteArray &t : texts)
        wide << QString::fromLatin1(t);
    QList<qsizetype> order(texts.size());
    for (qsizetype i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return m_collator.compare(wide.at(a), wide.at(b)) < 0;
    });
    for (qsizetype i = 1; i < order.size(); ++i) {
        const qsizetype a = order.at(i - 1), b = order.at(i);
        if (sign(m_collator.compare(wide.at(a), wide.at(b)))
            != sign(compareAscii(texts.at(a), texts.at(b))))
            return false;
    }
    return true;
}

bool LineCollation::isPrintableAscii(QByteArrayView bytes)
{
    // Eight bytes at a time: a byte below the first printable character borrows into its top
    // bit when the first is subtracted, one above the last carries into it when the distance to
    // 0x7F is added, and a byte with its top bit set has it set already.
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    constexpr quint64 kTops = 0x8080808080808080ULL;
    static_assert(kFirstPrintable <= 0x80 && kLastPrintable < 0x80);
    const char *p = bytes.data();
    const char *end = p + bytes.size();
    for (; end - p >= 8; p += 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        const quint64 below = (w - kOnes * kFirstPrintable) & ~w & kTops;
        const quint64 above = ((w + kOnes * (0x7F - kLastPrintable)) | w) & kTops;
        if (below | above)
            return false;
    }
    bytes = QByteArrayView(p, end - p);
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < kFirstPrintable || u > kLastPrintable)
            return false;
    }
    return true;
}

int LineCollation::compareAscii(QByteArrayView a, QByteArrayView b) const
{
    const auto *p = reinterpret_cast<const unsigned char *>(a.data());
    const auto *q = reinterpret_cast<const unsigned char *>(b.data());
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    for (;;) {
        // Lines of one record type share long runs of identical bytes: skip them a word at a
        // time, then weigh the first byte that differs.
        while (i + 8 <= n) {
            quint64 x, y;
            std::memcpy(&x, p + i, 8);
            std::memcpy(&y, q + i, 8);
            if (x != y)
                break;
            i += 8;
        }
        while (i < n && p[i] == q[i])
            ++i;
        if (i >= n)
            break;
        const unsigned char wa = m_weight[p[i]], wb = m_weight[q[i]];
        if (wa != wb)
            return wa < wb ? -1 : 1;
        ++i;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

qsizetype LineCollation::samePrefix(QByteArrayView a, QByteArrayView b, qsizetype limit) const
{
    const qsizetype n = std::min({a.size(), b.size(), limit});
    qsizetype i = 0;
    while (i < n
           && m_weight[static_cast<unsigned char>(a[i])]
                      == m_weight[static_cast<unsigned char>(b[i])])
        ++i;
    return i;
}

quint64 LineCollation::pack(QByteArrayView line, qsizetype from) const
{
    quint64 packed = 0;
    for (qsizetype i = from; i < from + 8; ++i)
        packed = (packed << 8)
                 | (i < line.size() ? m_weight[static_cast<unsigned char>(line[i])] : 0);
    return packed;
}

int LineCollation::compare(const LineRef &a, const LineRef &b) const
{
    if (m_weights && a.ascii && b.ascii)
        return compareAscii(a.bytes, b.bytes);
    if (a.key && b.key)
        return a.key->compare(*b.key);
    const QString wa = a.wide ? *a.wide : latin1(a.bytes);
    const QString wb = b.wide ? *b.wide : latin1(b.bytes);
    return m_collator.compare(wa, wb);
}

} // namespace bm
