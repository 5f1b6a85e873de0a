#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLocale>
#include <QString>

#include <charconv>
#include <string>

namespace bm {

// Number texts, for the grid and for the DIF and CSV writers alike, so a value shows in the grid
// as it is saved. Texts for files are locale-free, with "." as the decimal separator.
namespace numtext {
// `value` rounded to `decimals` places, halves away from zero, on its decimal expansion taken to
// 18 significant digits (2.675 with two decimals gives 2.67, since 2.675 is held as
// 2.67499999999999982...); fixed notation with "." and at least one digit before it; never "-0".
QByteArray fixed(double value, int decimals);
void appendFixed(std::string &out, double value, int decimals);
// The same digits for display: the locale's decimal separator and minus sign, no grouping.
QString fixedText(double value, int decimals, const QLocale &locale = QLocale());
// `value` rounded to `decimals` places as fixed() rounds, then in the shortest general form
// (trailing zeros and a trailing point dropped): 3.14159 gives 3.14, 100 gives 100, 1E15 stays.
void appendRoundedGeneral(std::string &out, double value, int decimals);
// A whole number in decimal (inline: it is on the path of every cell a writer writes).
inline void appendInteger(std::string &out, qint64 value)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, size_t(r.ptr - buf));
}
// The shortest general form of up to 15 significant digits: "2.5", "100", "1E15", "1.5E-6".
QByteArray general(double value);
void appendGeneral(std::string &out, double value);
// The shortest text that reads back as `value`, without exponent: "0.30000000000000004".
QByteArray plain(double value);
void appendPlain(std::string &out, double value);

// A number as a machine writes it: optionally signed, digits with "." (never the locale's
// separator) and an optional exponent. Texts such as "inf" or "nan", and numbers too large for a
// double, are no numbers.
bool parse(QByteArrayView text, double &value);
} // namespace numtext

// A count for people, as the status line and the progress window show it: the locale's digits
// with its thousands separator (under the C locale too: 1,000,000).
QString countText(qint64 count, const QLocale &locale = QLocale());

} // namespace bm
