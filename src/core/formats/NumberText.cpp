#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bm {

namespace numtext {
namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

bool appendNonFinite(std::string &out, double value)
{
    if (std::isfinite(value))
        return false;
    out.append(std::isnan(value) ? "NaN" : value < 0 ? "-Inf" : "Inf");
    return true;
}

// The digits of `magnitude` * 10^decimals rounded to a whole number, halves away from zero, on
// the decimal expansion of `magnitude` taken to 18 significant digits.
std::string roundedDigits(double magnitude, int decimals)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.17e", magnitude);
    char digits[18];
    int n = 0;
    const char *p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && n < 18)
            digits[n++] = *p;
    const long long exponent = *p ? std::atoll(p + 1) : 0;
    // How many of the digits stand before the decimal point once shifted by `decimals`.
    const long long whole = exponent + decimals + 1;
    if (whole <= 0)
        return (whole == 0 && digits[0] >= '5') ? "1" : "0";
    std::string r;
    if (whole >= n) {
        r.assign(digits, size_t(n));
        r.append(size_t(whole - n), '0');
    } else {
        r.assign(digits, size_t(whole));
        if (digits[whole] >= '5') {
            long long i = whole - 1;
            while (i >= 0 && r[size_t(i)] == '9')
                r[size_t(i--)] = '0';
            if (i < 0)
                r.insert(r.begin(), '1');
            else
                ++r[size_t(i)];
        }
    }
    const size_t lead = std::min(r.find_first_not_of('0'), r.size() - 1);
    return r.substr(lead);
}

} // namespace

void appendFixed(std::string &out, double value, int decimals)
{
    if (appendNonFinite(out, value))
        return;
    const double magnitude = std::fabs(value);
    char fast[24];
    std::string slow;
    std::string_view digits;
    if (decimals >= 0 && decimals <= 9 && magnitude * kPow10[decimals] < 1e15) {
        const double y = magnitude * kPow10[decimals];
        const double whole = std::floor(y);
        const double frac = y - whole;
        // Far enough from a half that the binary value and its 18-digit decimal expansion
        // round the same way; otherwise take the exact route below.
        if (std::fabs(frac - 0.5) > y * 1e-15) {
            const quint64 n = quint64(whole) + (frac > 0.5 ? 1 : 0);
            const auto r = std::to_chars(fast, fast + sizeof fast, n);
            digits = std::string_view(fast, size_t(r.ptr - fast));
        }
    }
    if (digits.empty()) {
        slow = roundedDigits(magnitude, std::max(decimals, 0));
        digits = slow;
    }
    if (digits.find_first_not_of('0') != std::string_view::npos && std::signbit(value))
        out.push_back('-');
    if (decimals <= 0) {
        out.append(digits);
        return;
    }
    const size_t places = size_t(decimals);
    if (digits.size() <= places) {
        out.append("0.");
        out.append(places - digits.size(), '0');
        out.append(digits);
    } else {
        out.append(digits.substr(0, digits.size() - places));
        out.push_back('.');
        out.append(digits.substr(digits.size() - places));
    }
}

void appendGeneral(std::string &out, double value)
{
    if (appendNonFinite(out, value))
        return;
    if (value == 0) {
        out.push_back('0');
        return;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    char *e = std::strchr(buf, 'e');
    const int exponent = std::atoi(e + 1);
    auto stripZeros = [](char *begin, char *end) {
        if (!std::memchr(begin, '.', size_t(end - begin)))
            return end;
        while (end > begin && end[-1] == '0')
            --end;
        if (end > begin && end[-1] == '.')
            --end;
        return end;
    };
    if (exponent < -5 || exponent >= 15) {
        out.append(buf, size_t(stripZeros(buf, e) - buf));
        out.push_back('E');
        out.append(std::to_string(exponent));
        return;
    }
    const int n = std::snprintf(buf, sizeof buf, "%.*f", 14 - exponent, value);
    out.append(buf, size_t(stripZeros(buf, buf + n) - buf));
}

void appendPlain(std::string &out, double value)
{
    if (appendNonFinite(out, value))
        return;
    if (value == 0) {
        out.push_back('0');
        return;
    }
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    out.append(buf, size_t(r.ptr - buf));
}

bool parse(QByteArrayView text, double &value)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    // Only digits may follow the sign: from_chars would read "inf" and "nan" as well.
    const char *digits = begin != end && *begin == '-' ? begin + 1 : begin;
    if (digits == end || !((*digits >= '0' && *digits <= '9') || *digits == '.'))
        return false;
    double v = 0;
    const auto r = std::from_chars(begin, end, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

QString fixedText(double value, int decimals, const QLocale &locale)
{
    std::string digits;
    appendFixed(digits, value, decimals);
    QString text = QString::fromLatin1(digits.data(), qsizetype(digits.size()));
    text.replace(u'.', locale.decimalPoint());
    if (text.startsWith(u'-'))
        text.replace(0, 1, locale.negativeSign());
    return text;
}

void appendRoundedGeneral(std::string &out, double value, int decimals)
{
    if (std::isfinite(value) && std::fabs(value) < 1e15) {
        // The fixed text has a decimal point when there are decimals, so this stops at it.
        appendFixed(out, value, decimals);
        if (decimals > 0) {
            while (out.back() == '0')
                out.pop_back();
            if (out.back() == '.')
                out.pop_back();
        }
        return;
    }
    const QByteArray rounded = fixed(value, decimals);
    appendGeneral(out, std::strtod(rounded.constData(), nullptr));
}

QByteArray fixed(double value, int decimals)
{
    std::string out;
    appendFixed(out, value, decimals);
    return QByteArray(out.data(), qsizetype(out.size()));
}

QByteArray general(double value)
{
    std::string out;
    appendGeneral(out, value);
    return QByteArray(out.data(), qsizetype(out.size()));
}

QByteArray plain(double value)
{
    std::string out;
    appendPlain(out, value);
    return QByteArray(out.data(), qsizetype(out.size()));
}

} // namespace numtext

QString countText(qint64 count, const QLocale &locale)
{
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(count);
}

} // namespace bm
