#include "CellText.h"

#include "FilterQuery.h"
#include "Tdm.h"

#include <QDate>
#include <QRegularExpression>

#include <cmath>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

bool isNumber(const QVariant &v)
{
    return v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Double;
}

QLocale displayLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

} // namespace

QString formatFixed(double value, int decimals, const QLocale &locale)
{
    // The shortest decimal form that reads back as `value`, rounded on its digits.
    const QString plain = QString::number(std::abs(value), 'f', QLocale::FloatingPointShortest);
    const qsizetype dot = plain.indexOf(u'.');
    QString digits = dot < 0 ? plain : plain.left(dot);
    const qsizetype intLength = digits.size();
    QString fraction = dot < 0 ? QString() : plain.mid(dot + 1);
    const bool roundUp = fraction.size() > decimals && fraction.at(decimals) >= u'5';
    fraction = fraction.left(decimals).leftJustified(decimals, u'0');
    digits += fraction;
    qsizetype grown = 0;
    if (roundUp) {
        qsizetype i = digits.size() - 1;
        for (; i >= 0; --i) {
            if (digits.at(i) == u'9') {
                digits[i] = u'0';
            } else {
                digits[i] = QChar(digits.at(i).unicode() + 1);
                break;
            }
        }
        if (i < 0) {
            digits.prepend(u'1');
            grown = 1;
        }
    }
    QString result = digits.left(intLength + grown);
    if (decimals > 0)
        result += locale.decimalPoint() + digits.mid(intLength + grown);
    const bool zero = !digits.contains(QRegularExpression(u"[1-9]"_s));
    if (value < 0 && !zero)
        result.prepend(locale.negativeSign());
    return result;
}

namespace celltext {

QString display(int code, const QVariant &value, int decimals)
{
    if (value.isNull())
        return QString();
    if (code == ftDateTime && value.typeId() == QMetaType::QString) {
        const QDate d = QDate::fromString(value.toString(), Qt::ISODate);
        return d.isValid() ? QLocale().toString(d, shortDateFormat()) : value.toString();
    }
    if (isNumber(value) && decimals >= 0)
        return formatFixed(value.toDouble(), decimals);
    return edit(code, value);
}

QString edit(int code, const QVariant &value)
{
    if (value.isNull())
        return QString();
    if (value.typeId() == QMetaType::LongLong)
        return displayLocale().toString(value.toLongLong());
    if (value.typeId() == QMetaType::Double)
        return displayLocale().toString(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    if (code == ftDateTime) {
        const QDate d = QDate::fromString(value.toString(), Qt::ISODate);
        if (d.isValid())
            return QLocale().toString(d, shortDateFormat());
    }
    return value.toString();
}

QVariant parse(int code, const QString &field, const QString &text, QString *error)
{
    const QString t = text.trimmed();
    if (code == ftInteger || code == ftFloat || code == ftDateTime ? t.isEmpty() : text.isEmpty())
        return QVariant();
    const QLocale locale = displayLocale();
    bool ok = false;
    switch (code) {
    case ftInteger: {
        qint64 v = locale.toLongLong(t, &ok);
        if (!ok)
            v = QLocale::c().toLongLong(t, &ok);
        if (ok)
            return QVariant(v);
        *error = u"'%1' is not a valid whole number for the field %2"_s.arg(text, field);
        return QVariant();
    }
    case ftFloat: {
        double v = locale.toDouble(t, &ok);
        if (!ok)
            v = QLocale::c().toDouble(t, &ok);
        if (ok && std::isfinite(v))
            return QVariant(v);
        *error = u"'%1' is not a valid number for the field %2"_s.arg(text, field);
        return QVariant();
    }
    case ftDateTime: {
        QDate d = QLocale().toDate(t, shortDateFormat());
        if (!d.isValid())
            d = QDate::fromString(t, Qt::ISODate);
        if (d.isValid() && d.year() >= 1 && d.year() <= 9999)
            return QVariant(isoDate(d));
        *error = u"'%1' is not a valid date for the field %2 (type it like %3)"_s.arg(
                text, field, QLocale().toString(QDate::currentDate(), shortDateFormat()));
        return QVariant();
    }
    default:
        return QVariant(text);
    }
}

} // namespace celltext

} // namespace bm
