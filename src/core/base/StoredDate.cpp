#include "StoredDate.h"

#include <QRegularExpression>

namespace bm {

using namespace Qt::StringLiterals;

QByteArray storedDate(const QDate &date)
{
    if (!date.isValid() || date.year() < 0 || date.year() > 9999)
        return {};
    char text[11];
    const int y = date.year();
    const int m = date.month();
    const int d = date.day();
    text[0] = char('0' + y / 1000);
    text[1] = char('0' + y / 100 % 10);
    text[2] = char('0' + y / 10 % 10);
    text[3] = char('0' + y % 10);
    text[4] = '-';
    text[5] = char('0' + m / 10);
    text[6] = char('0' + m % 10);
    text[7] = '-';
    text[8] = char('0' + d / 10);
    text[9] = char('0' + d % 10);
    text[10] = '\0';
    return QByteArray(text, 10);
}

QDate dateFromStored(QByteArrayView text)
{
    while (!text.isEmpty() && static_cast<unsigned char>(text.front()) <= ' ')
        text = text.sliced(1);
    // A time after the date (a DATETIME column) is no part of the date.
    if (text.size() > 10 && text[10] != ' ' && text[10] != 'T')
        return {};
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return {};
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8};
    const int widths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = starts[p]; i < starts[p] + widths[p]; ++i) {
            const char c = text[i];
            if (c < '0' || c > '9')
                return {};
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]);
}

QString shortDateFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(u"yyyy"_s)) {
        static const QRegularExpression twoDigitYear(u"(?<!y)yy(?!y)"_s);
        format.replace(twoDigitYear, u"yyyy"_s);
    }
    return format;
}

} // namespace bm
