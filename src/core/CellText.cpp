#include "CellText.h"

#include "FilterQuery.h"
#include "NumberText.h"
#include "Tdm.h"

#include <QDate>

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
        return numtext::fixedText(value.toDouble(), decimals);
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
