#pragma once

#include <QByteArrayView>
#include <QCollator>
#include <QLocale>
#include <QString>

#include <array>

namespace bm {

// One line as the collation sees it. `bytes` holds the line: plain printable ASCII when `ascii`
// is set, otherwise it is unused and `wide` holds the text. `key` is the collator's sort key when
// the collation works by sort keys.
struct LineRef
{
    QByteArrayView bytes;
    bool ascii = true;
    const QString *wide = nullptr;
    const QCollatorSortKey *key = nullptr;
};

// Orders whole lines by a locale's case-insensitive collation (QCollator), as fast as the locale
// allows.
//
// DIF lines are almost always printable ASCII. When the locale orders printable ASCII text
// character by character (no contractions such as "ch", no expansions), two ASCII lines are
// compared through a table of per-character weights, which gives the collator's own order at
// the speed of a byte comparison. Whether that holds is checked against the collator itself
// when the object is built: every text of one and two printable ASCII characters must come out
// in the same order both ways. Lines outside printable ASCII, and every line in a locale that
// fails the check, go through the collator (by sort keys where the collator has them).
class LineCollation
{
public:
    explicit LineCollation(const QLocale &locale = QLocale());

    // True when ASCII lines compare through the weight table.
    bool usesWeights() const { return m_weights; }
    // True when every line needs a collator sort key in `LineRef::key`.
    bool needsSortKeys() const { return !m_weights && !m_plain; }
    QCollatorSortKey sortKey(const QString &text) const { return m_collator.sortKey(text); }

    // Negative, zero or positive as `a` sorts before, with or after `b`.
    int compare(const LineRef &a, const LineRef &b) const;
    int compareAscii(QByteArrayView a, QByteArrayView b) const;

    // For sorting many ASCII lines: the number of leading characters, up to `limit`, on which
    // `a` and `b` have the same weights; and the weights of the eight characters of `line` from
    // `from` on, packed so that comparing two packs as numbers compares those characters (a
    // line that ends sooner packs zeros and comes first, as in compareAscii).
    qsizetype samePrefix(QByteArrayView a, QByteArrayView b, qsizetype limit) const;
    quint64 pack(QByteArrayView line, qsizetype from) const;

    // True when every byte of `bytes` is printable ASCII (the table's alphabet).
    static bool isPrintableAscii(QByteArrayView bytes);

private:
    bool buildWeights();

    QCollator m_collator;
    // The C locale's collator has no sort keys that ignore case; its lines are compared with
    // the collator directly when the table does not serve.
    bool m_plain = false;
    bool m_weights = false;
    std::array<unsigned char, 256> m_weight{};
};

} // namespace bm
