#include "HerdCharts.h"

#include "Error.h"
#include "Tdm.h"
#include "TextFold.h"

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

std::optional<double> realAt(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(stmt, column);
}

QDate dateAt(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return QDate();
    return QDate::fromString(QString::fromUtf8(columnText(stmt, column)), Qt::ISODate);
}

void bindText(sqlite3_stmt *stmt, int param, const QString &text)
{
    const QString value = text.trimmed();
    if (value.isEmpty()) {
        sqlite3_bind_null(stmt, param);
        return;
    }
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(stmt, param, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
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
    const QString dim = u"COALESCE(%1, CAST(julianday(%2) - julianday(%3) AS INTEGER))"_s.arg(
            dimColumn, testDate, calving);

    // The clean-up's matches: national ID, or cow ID and herd code; a table lacking a match's
    // columns matches nothing by it. Text columns compare without regard to case.
    QStringList matches;
    const QString nationalId = columnOf(names, u"NationalID"_s);
    if (!nationalId.isEmpty())
        matches << u"%1%2 = ?1"_s.arg(Tdm::quoteId(nationalId), foldCollate());
    const QString cowId = columnOf(names, u"CowID"_s);
    const QString herdCode = columnOf(names, u"HerdCode"_s);
    if (!cowId.isEmpty() && !herdCode.isEmpty())
        matches << u"(%1%3 = ?2 AND %2%3 = ?3)"_s.arg(Tdm::quoteId(cowId), Tdm::quoteId(herdCode),
                                                      foldCollate());
    if (matches.isEmpty() || cow.isEmpty())
        return curves;

    const QString sql = u"SELECT %1, %2, %3, %4, %5, %6, %7 FROM %8 WHERE %9"_s.arg(
            calving, optionalColumn(names, u"LactationNumber"_s), testDate, dim, milk,
            optionalColumn(names, fatMeasure().field),
            optionalColumn(names, proteinMeasure().field), Tdm::quoteId(kTestDays),
            matches.join(u" OR "_s));
    Stmt stmt = dm.prepare(sql, u"Lactation curves"_s);
    bindText(stmt.get(), 1, cow.nationalId);
    bindText(stmt.get(), 2, cow.cowId);
    bindText(stmt.get(), 3, cow.herdCode);

    // By calving date; the test days without one after every dated lactation.
    std::map<std::pair<bool, QDate>, LactationSeries> byCalving;
    int rc;
    while ((rc = dm.step(stmt.get())) == SQLITE_ROW) {
        if (sqlite3_column_type(stmt.get(), 3) == SQLITE_NULL) {
            ++curves.unplaced;
            continue;
        }
        const QDate calved = dateAt(stmt.get(), 0);
        LactationSeries &series = byCalving[{!calved.isValid(), calved}];
        series.calvingDate = calved;
        if (!series.lactationNumber && sqlite3_column_type(stmt.get(), 1) != SQLITE_NULL)
            series.lactationNumber = sqlite3_column_int(stmt.get(), 1);
        TestDayPoint point;
        point.testDate = dateAt(stmt.get(), 2);
        point.daysInMilk = sqlite3_column_int(stmt.get(), 3);
        point.milk = realAt(stmt.get(), 4);
        point.fatPercent = realAt(stmt.get(), 5);
        point.proteinPercent = realAt(stmt.get(), 6);
        series.points << point;
    }
    if (rc != SQLITE_DONE)
        throw Error(u"Lactation curves: %1"_s.arg(dm.sqliteError()));
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
                                Tdm::quoteId(kTestDays), herd, foldCollate());
    Stmt stmt = dm.prepare(sql, u"Herd summary"_s);
    bindText(stmt.get(), 1, herdCode);
    QList<HerdTestDay> days;
    int rc;
    while ((rc = dm.step(stmt.get())) == SQLITE_ROW) {
        HerdTestDay day;
        day.testDate = dateAt(stmt.get(), 0);
        day.cowsTested = sqlite3_column_int(stmt.get(), 1);
        day.milk = realAt(stmt.get(), 2);
        day.fatPercent = realAt(stmt.get(), 3);
        day.proteinPercent = realAt(stmt.get(), 4);
        day.cellCount = realAt(stmt.get(), 5);
        if (day.testDate.isValid())
            days << day;
    }
    if (rc != SQLITE_DONE)
        throw Error(u"Herd summary: %1"_s.arg(dm.sqliteError()));
    return days;
}

} // namespace bm
