#include "CellText.h"

#include "FilterQuery.h"
#include "NumberText.h"
#include "Tdm.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>

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

namespace {

// The month `name` stands for (1 to 12), matched without regard to case against the locale's
// and the English month names, long and short; 0 when none.
int monthOfName(const QString &name, const QLocale &locale)
{
    for (const QLocale &l : {locale, QLocale::c()}) {
        for (int m = 1; m <= 12; ++m) {
            for (const QLocale::FormatType form : {QLocale::LongFormat, QLocale::ShortFormat}) {
                for (const QString &month :
                     {l.monthName(m, form), l.standaloneMonthName(m, form)}) {
                    QString bare = month;
                    bare.remove(u'.');
                    if (!bare.isEmpty() && bare.compare(name, Qt::CaseInsensitive) == 0)
                        return m;
                }
            }
        }
    }
    return 0;
}

} // namespace

QDate parseDate(const QString &text, const QLocale &locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QDate();
    QDate d = locale.toDate(t, shortDateFormat(locale));
    if (!d.isValid())
        d = QDate::fromString(t, Qt::ISODate);
    if (d.isValid())
        return d.year() >= 1 && d.year() <= 9999 ? d : QDate();

    static const QRegularExpression separators(u"[\\s/.,\\-]+"_s);
    const QStringList parts = t.split(separators, Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return QDate();
    // The order of day, month and year in the locale's short date form.
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QList<std::pair<qsizetype, QChar>> order = {{format.indexOf(u'd'), u'd'},
                                                {format.indexOf(u'M'), u'M'},
                                                {format.indexOf(u'y'), u'y'}};
    std::sort(order.begin(), order.end());
    QString fields;
    for (const auto &[at, field] : order)
        fields += at < 0 ? QChar() : field;
    if (fields.contains(QChar()))
        fields = u"dMy"_s;
    // Four digits first always give the ISO order, year, month, day.
    if (parts.first().size() == 4 && parts.first().front().isDigit())
        fields = u"yMd"_s;

    int day = 0, month = 0, year = 0;
    qsizetype yearDigits = 0;
    int named = -1; // the part that names its month
    for (int i = 0; i < 3; ++i) {
        if (!parts.at(i).front().isDigit()) {
            if (named >= 0 || !(month = monthOfName(parts.at(i), locale)))
                return QDate();
            named = i;
        }
    }
    // With the month named, the other two parts keep their order without it.
    QString rest = fields;
    if (named >= 0)
        rest.remove(u'M');
    int next = 0;
    for (int i = 0; i < 3; ++i) {
        if (i == named)
            continue;
        bool ok = false;
        const int value = parts.at(i).toInt(&ok);
        if (!ok)
            return QDate();
        const QChar field = rest.at(next++);
        if (field == u'd') {
            day = value;
        } else if (field == u'M') {
            month = value;
        } else {
            year = value;
            yearDigits = parts.at(i).size();
        }
    }
    if (yearDigits <= 2) {
        const int pivot = QDate::currentDate().year() + 20;
        year += pivot / 100 * 100;
        if (year > pivot)
            year -= 100;
    } else if (yearDigits != 4) {
        return QDate();
    }
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
        return QDate();
    return QDate(year, month, day);
}

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
        const QDate d = parseDate(t);
        if (d.isValid())
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
