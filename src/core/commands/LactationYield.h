#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace bm {

// 305-day yields of one lactation by the test interval method: the daily yield is taken as
// measured on each test day, as a straight line between two tests, as the first test's from
// calving to it and as the last test's from it to the end day. Pure arithmetic on the tests; the
// lactation check (LactationCheck) finds the tests of each lactation in the herd database.

// The standard lactation length, in days in milk.
constexpr int kStandardDays = 305;

// One test day of a lactation.
struct YieldTest
{
    int day = 0;     // days in milk
    double milk = 0; // litres
    std::optional<double> fatPercent;
    std::optional<double> proteinPercent;
};

enum class YieldOutcome {
    Complete,      // yields to the end day
    InProgress,    // no end date and the last test before day 305: yields to the last test day
    NoTests,       // no test after calving
    EndsAtCalving, // the end date is not after the calving date
    NoTestByEnd,   // the first test is after the end day
    SameDay,       // two tests on one day
};

struct LactationYield
{
    YieldOutcome outcome = YieldOutcome::NoTests;
    // The end day E: 305, or the end date as a day in milk where that is earlier.
    int endDay = kStandardDays;
    // The tests the milk yield was computed from: those on or before the end day, and the first
    // one after it where the end day falls between two tests.
    int testsUsed = 0;
    int sameDay = 0; // SameDay: the day of the two tests
    // Litres of milk; kilograms of fat and protein (milk x percent / 100 of each test, over the
    // tests that have the percent). Empty where there is no yield, and for a component no test
    // of which on or before the end day has the percent.
    std::optional<double> milk;
    std::optional<double> fat;
    std::optional<double> protein;

    bool hasYield() const
    {
        return outcome == YieldOutcome::Complete || outcome == YieldOutcome::InProgress;
    }
    // Why there is no yield ("two tests on day 45"); empty when there is one.
    QString why() const;
};

// The yields of a lactation from its tests, in any order. `endDay` is the lactation's end date
// as a day in milk when it has one. Tests on day 0 or before are left out. With tests on days
// d1 < ... < dn holding M1 ... Mn:
//   yield = d1 x M1 + sum of (d(i+1) - di) x (Mi + M(i+1)) / 2 + (E - dn) x Mn,
// where an interval that E cuts counts to E only, the yield at E read off the straight line
// between its two tests, and later tests are not used. Without an end date and with the last
// test before day 305 the lactation is in progress: the yields run to its last test day.
LactationYield computeYield(std::vector<YieldTest> tests, std::optional<int> endDay);

} // namespace bm
