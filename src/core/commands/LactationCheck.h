#pragma once

#include "HerdCharts.h"
#include "LactationYield.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QIODevice;

namespace bm {

class ProgressSink;
class Tdm;

// The lactation check: every lactation of table 103 with its stated 305-day milk, fat and
// protein beside the yields computed from its test days (table 104) by the test interval method
// (computeYield), and the differences in percent.
//
// A lactation's test days are the 104 rows of the same cow with the same calving date and a milk
// figure. A row's cow is its national ID, else its cow ID and herd code together; letter case
// does not count, for every letter. A test's day in milk is its DaysInMilk, else its test date
// minus the calving date; the end day is the lactation's end date as a day in milk.

// The default tolerance of the check, in percent.
constexpr double kDefaultTolerance = 10.0;

struct LactationCheckRow
{
    QString herdCode;
    QString cowId;
    QString nationalId;
    QDate calvingDate; // invalid when the row has none (or no date there)
    int tests = 0;     // the tests the computed milk comes from
    // The stated figures as the row holds them; the computed ones and the differences rounded to
    // one decimal. A difference is (computed - stated) / stated x 100, of the rounded computed
    // figure; empty where either figure is missing or the stated one is 0.
    std::optional<double> statedMilk, computedMilk, milkDiff;
    std::optional<double> statedFat, computedFat, fatDiff;
    std::optional<double> statedProtein, computedProtein, proteinDiff;
    YieldOutcome outcome = YieldOutcome::NoTests;
    QString why; // why there is no yield; empty when there is one

    bool hasYield() const { return why.isEmpty(); }
    // A complete lactation (not in progress) with a difference over `tolerance` percent, either
    // way.
    bool isFlagged(double tolerance) const;
    // "ok", "flagged", "in progress", or why there is no yield.
    QString status(double tolerance) const;
};

// The columns of the check, in order.
enum class CheckColumn {
    HerdCode,
    CowID,
    NationalID,
    CalvingDate,
    Tests,
    Milk305,
    ComputedMilk305,
    MilkDiffPercent,
    Fat305Kg,
    ComputedFat305Kg,
    FatDiffPercent,
    Protein305Kg,
    ComputedProtein305Kg,
    ProteinDiffPercent,
    Status,
};
constexpr int kCheckColumns = int(CheckColumn::Status) + 1;

// The column titles: HerdCode, CowID, NationalID, CalvingDate, Tests, Milk305, ComputedMilk305,
// MilkDiffPercent, Fat305Kg, ComputedFat305Kg, FatDiffPercent, Protein305Kg,
// ComputedProtein305Kg, ProteinDiffPercent, Status.
QStringList checkHeaders();
// A number column (sorted as a number, aligned right).
bool isNumberColumn(int column);
// The number a cell holds, or nothing (a text column, or an empty cell).
std::optional<double> checkNumber(const LactationCheckRow &row, int column);
// A cell as a file holds it (numbers with "." as the decimal separator, the computed yields and
// the differences with one decimal, the date in the locale's short form with a four-digit year,
// an empty cell for what cannot be computed), or as the window shows it (`display`: the locale's
// decimal separator).
QString checkCell(const LactationCheckRow &row, int column, double tolerance, bool display);

// Runs the check and hands every lactation of table 103 to `row` in the table's order. The test
// days are read once, sorted by cow and calving date, in one pass beside the lactations sorted
// the same way. Raises when table 103 or 104 lacks a field the check needs (CalvingDate, Milk).
// `progress`, when given, is shown and counts the rows read.
void runLactationCheck(Tdm &dm, ProgressSink *progress,
                       const std::function<void(const LactationCheckRow &)> &row);

// Writes the check as CSV (RFC 4180: text cells quoted, a header line, Windows-1252 with CR LF)
// with the flags of `tolerance`; with `flaggedOnly`, only the flagged rows. To a file, written
// whole or not at all (the file replaces `path` only once complete), or to an open device
// (standard output). Returns the rows written.
qint64 writeLactationCheck(Tdm &dm, ProgressSink *progress, double tolerance, bool flaggedOnly,
                           const QString &path);
qint64 writeLactationCheck(Tdm &dm, ProgressSink *progress, double tolerance, bool flaggedOnly,
                           QIODevice &out);
// Writes rows already checked (the window's, in its order) to a CSV file as above.
void writeLactationCheck(const std::vector<const LactationCheckRow *> &rows, double tolerance,
                         const QString &path);

// The test days of the lactation of `row`, as the check found them, for its lactation curve: one
// series (empty when there are none), by day in milk. Test days without a day in milk are
// counted in `unplaced`.
LactationCurves lactationTestDays(Tdm &dm, const LactationCheckRow &row);

} // namespace bm
