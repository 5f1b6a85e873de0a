#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace bm {

class Tdm;

// The figures behind the lactation and herd charts, read from the test-day table (104). The
// field names are those of the test-day layout; a layout without Milk or TestDate cannot be
// charted and raises an error naming the missing field. The windows only draw what these return.

// A measure of the test-day layout as the charts show it.
struct ChartMeasure
{
    QString field;   // column of table 104
    QString caption; // axis and legend text, with the unit the layout gives the field
};
const ChartMeasure &milkMeasure();       // Milk, litres
const ChartMeasure &fatMeasure();        // FatPercent
const ChartMeasure &proteinMeasure();    // ProteinPercent
const ChartMeasure &cellCountMeasure();  // CellCount, '000 cells/mL
const ChartMeasure &daysInMilkMeasure(); // DaysInMilk
const ChartMeasure &cowsTestedMeasure(); // test-day records of the herd on a date

// A cow as a row of table 102, 103 or 104 names it. Blank parts are empty.
struct CowIdentity
{
    QString nationalId;
    QString cowId;
    QString herdCode;
    // "Cow 0301 (HOLAUSF000041000002), herd V3200237", leaving out the parts that are blank.
    QString caption() const;
    // True when the identity can match no record: no national ID, and no cow ID with a herd code.
    bool isEmpty() const;
};

// One test day of a lactation.
struct TestDayPoint
{
    int daysInMilk = 0;
    QDate testDate;
    std::optional<double> milk;
    std::optional<double> fatPercent;
    std::optional<double> proteinPercent;
};

// The test days of one lactation, in order of days in milk (then test date).
struct LactationSeries
{
    QDate calvingDate; // invalid: test days without a calving date
    std::optional<int> lactationNumber;
    QList<TestDayPoint> points;
    // "Lactation 2, calved 10 Aug 2014" (the date in the locale's short form), or the parts known.
    QString caption() const;
};

struct LactationCurves
{
    CowIdentity cow;
    QList<LactationSeries> lactations; // by calving date, a series without one last
    // Test days of the cow that could not be placed: neither days in milk nor both dates.
    int unplaced = 0;
    bool isEmpty() const { return lactations.isEmpty(); }
};

// The test days of `cow`, one series per lactation. A test day is the cow's as the clean-up
// matches records: the same national ID, or the same cow ID and herd code together, letter case
// aside; a blank part matches nothing. Lactations are told apart by calving date. Days in milk is
// the record's DaysInMilk where the table has that field and the record a value, else test date
// minus calving date.
LactationCurves lactationCurves(Tdm &dm, const CowIdentity &cow);

// The herd on one test date.
struct HerdTestDay
{
    QDate testDate;
    int cowsTested = 0; // test-day records of the herd on the date
    std::optional<double> milk;
    std::optional<double> fatPercent;
    std::optional<double> proteinPercent;
    std::optional<double> cellCount;
};

// Per test date of herd `herdCode` (letter case aside), in date order: the cows tested and the
// averages of the test-day milk, fat %, protein % and cell count (blank values left out of each
// average). Records without a test date are left out. A measure the table lacks stays empty.
QList<HerdTestDay> herdSummary(Tdm &dm, const QString &herdCode);

} // namespace bm
