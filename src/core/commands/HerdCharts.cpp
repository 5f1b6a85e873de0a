#include "HerdCharts.h"

#include "Error.h"
#include "Tdm.h"

#include <QLocale>

#include <algorithm>
#include <map>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

const QString kTestDays = u"104"_s;

// The column of `names` called `field` (letter case aside), or empty.
QString columnOf(const QStringList &names, const QString &field)
{
    for (const QString &name : names) {
        if (name.compare(field, Qt::CaseInsensitive) == 0)
            return name;
    }
    return QString();
}

QString required(const QStringList &names, const QString &field)
{
    const QString column = columnOf(names, field);
    if (column.isEmpty())
        throw Error(u"Table %1 has no field %2, so it cannot be charted"_s.arg(kTestDays, field));
    return column;
}

// The SQL of a column that may be missing: the quoted column, or NULL.
QString optionalColumn(const QStringList &names, const QString &field)
{
    const QString column = columnOf(names, field);
    return column.isEmpty() ? u"NULL"_s : Tdm::quoteId(column);
}

std::optional<double> realAt(const RowReader &row, int column)
{
    if (row.isNull(column))
        return std::nullopt;
    return row.real(column);
}

QDate dateAt(const RowReader &row, int column)
{
    if (row.isNull(column))
        return QDate();
    return dateFromStored(row.text(column));
}

void bindText(db::Statement &stmt, int param, const QString &text)
{
    const QString value = text.trimmed();
    if (value.isEmpty())
        stmt.bindNull(param);
    else
        stmt.bindText(param, value);
}

} // namespace

const ChartMeasure &milkMeasure()
{
    static const ChartMeasure m{u"Milk"_s, u"Milk (litres)"_s};
    return m;
}
const ChartMeasure &fatMeasure()
{
    static const ChartMeasure m{u"FatPercent"_s, u"Fat %"_s};
    return m;
}
const ChartMeasure &proteinMeasure()
{
    static const ChartMeasure m{u"ProteinPercent"_s, u"Protein %"_s};
    return m;
}
const ChartMeasure &cellCountMeasure()
{
    static const ChartMeasure m{u"CellCount"_s, u"Cell count ('000 cells/mL)"_s};
    return m;
}
const ChartMeasure &daysInMilkMeasure()
{
    static const ChartMeasure m{u"DaysInMilk"_s, u"Days in milk"_s};
    return m;
}
const ChartMeasure &cowsTestedMeasure()
{
    static const ChartMeasure m{QString(), u"Cows tested"_s};
    return m;
}

QString CowIdentity::caption() const
{
    QString text = u"Cow"_s;
    if (!cowId.trimmed().isEmpty())
        text += u' ' + cowId.trimmed();
    if (!nationalId.trimmed().isEmpty())
        text += u" (%1)"_s.arg(nationalId.trimmed());
    if (!herdCode.trimmed().isEmpty())
        text += u", herd "_s + herdCode.trimmed();
    return text;
}

bool CowIdentity::isEmpty() const
{
    return nationalId.trimmed().isEmpty()
           && (cowId.trimmed().isEmpty() || herdCode.trimmed().isEmpty());
}

QString LactationSeries::caption() const
{
    QStringList parts;
    if (lactationNumber)
        parts << u"Lactation %1"_s.arg(*lactationNumber);
    if (calvingDate.isValid())
        parts << u"calved %1"_s.arg(QLocale().toString(calvingDate, shortDateFormat()));
    else
        parts << u"calving date unknown"_s;
    return parts.join(u", "_s);
}

LactationCurves lactationCurves(Tdm &dm, const CowIdentity &cow)
{
    LactationCurves curves;
    curves.cow = cow;
    const QStringList names = dm.columns(kTestDays);
    const QString testDate = Tdm::quoteId(required(names, u"TestDate"_s));
    const QString milk = Tdm::quoteId(required(names, milkMeasure().field));
    const QString calving = optionalColumn(names, u"CalvingDate"_s);
    const QString dimColumn = optionalColumn(names, daysInMilkMeasure().field);
    // The record's own days in milk where it has one, else the days between the two dates.
    const QString dim
            = u"COALESCE(%1, %2)"_s.arg(dimColumn, dm.connection().daysBetween(testDate, calving));

    // The clean-up's matches: national ID, or cow ID and herd code; a table lacking a match's
    // columns matches nothing by it. Text columns compare without regard to case.
    QStringList matches;
    const QString nationalId = columnOf(names, u"NationalID"_s);
    if (!nationalId.isEmpty())
        matches << u"%1%2 = ?1"_s.arg(Tdm::quoteId(nationalId), dm.connection().caseless());
    const QString cowId = columnOf(names, u"CowID"_s);
    const QString herdCode = columnOf(names, u"HerdCode"_s);
    if (!cowId.isEmpty() && !herdCode.isEmpty())
        matches << u"(%1%3 = ?2 AND %2%3 = ?3)"_s.arg(Tdm::quoteId(cowId), Tdm::quoteId(herdCode),
                                                      dm.connection().caseless());
    if (matches.isEmpty() || cow.isEmpty())
        return curves;

    const QString sql = u"SELECT %1, %2, %3, %4, %5, %6, %7 FROM %8 WHERE %9"_s.arg(
            calving, optionalColumn(names, u"LactationNumber"_s), testDate, dim, milk,
            optionalColumn(names, fatMeasure().field),
            optionalColumn(names, proteinMeasure().field), Tdm::quoteId(kTestDays),
            matches.join(u" OR "_s));
    Stmt stmt = dm.prepare(sql, u"Lactation curves"_s);
    bindText(*stmt, 1, cow.nationalId);
    bindText(*stmt, 2, cow.cowId);
    bindText(*stmt, 3, cow.herdCode);

    // By calving date; the test days without one after every dated lactation.
    std::map<std::pair<bool, QDate>, LactationSeries> byCalving;
    while (stmt->next()) {
        if (stmt->isNull(3)) {
            ++curves.unplaced;
            continue;
        }
        const QDate calved = dateAt(*stmt, 0);
        LactationSeries &series = byCalving[{!calved.isValid(), calved}];
        series.calvingDate = calved;
        if (!series.lactationNumber && !stmt->isNull(1))
            series.lactationNumber = int(stmt->integer(1));
        TestDayPoint point;
        point.testDate = dateAt(*stmt, 2);
        point.daysInMilk = int(stmt->integer(3));
        point.milk = realAt(*stmt, 4);
        point.fatPercent = realAt(*stmt, 5);
        point.proteinPercent = realAt(*stmt, 6);
        series.points << point;
    }
    for (auto &[key, series] : byCalving) {
        std::stable_sort(series.points.begin(), series.points.end(),
                         [](const TestDayPoint &a, const TestDayPoint &b) {
                             return a.daysInMilk != b.daysInMilk ? a.daysInMilk < b.daysInMilk
                                                                 : a.testDate < b.testDate;
                         });
        curves.lactations << series;
    }
    return curves;
}

QList<HerdTestDay> herdSummary(Tdm &dm, const QString &herdCode)
{
    const QStringList names = dm.columns(kTestDays);
    const QString testDate = Tdm::quoteId(required(names, u"TestDate"_s));
    const QString herd = Tdm::quoteId(required(names, u"HerdCode"_s));
    auto average = [&](const ChartMeasure &m) {
        return u"AVG(%1)"_s.arg(optionalColumn(names, m.field));
    };
    const QString sql = u"SELECT %1, COUNT(*), %2, %3, %4, %5 FROM %6 WHERE %7%8 = ?1 AND %1 IS "
                        "NOT NULL GROUP BY %1 ORDER BY %1"_s.arg(
                                testDate, average(milkMeasure()), average(fatMeasure()),
                                average(proteinMeasure()), average(cellCountMeasure()),
                                Tdm::quoteId(kTestDays), herd, dm.connection().caseless());
    Stmt stmt = dm.prepare(sql, u"Herd summary"_s);
    bindText(*stmt, 1, herdCode);
    QList<HerdTestDay> days;
    while (stmt->next()) {
        HerdTestDay day;
        day.testDate = dateAt(*stmt, 0);
        day.cowsTested = int(stmt->integer(1));
        day.milk = realAt(*stmt, 2);
        day.fatPercent = realAt(*stmt, 3);
        day.proteinPercent = realAt(*stmt, 4);
        day.cellCount = realAt(*stmt, 5);
        if (day.testDate.isValid())
            days << day;
    }
    return days;
}

} // namespace bm
