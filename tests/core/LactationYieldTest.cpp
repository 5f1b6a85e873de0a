#include "LactationYield.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace bm;

namespace {

constexpr auto none = std::nullopt;

YieldTest t(int day, double milk, std::optional<double> fat = none,
            std::optional<double> protein = none)
{
    return {day, milk, fat, protein};
}

// Each case is worked by hand from the formula: d1 x M1, then (d(i+1) - di) x (Mi + M(i+1)) / 2
// per interval, then (E - dn) x Mn, with E = 305 or the end day where earlier.
struct YieldCase
{
    const char *name;
    std::vector<YieldTest> tests;
    std::optional<int> endDay;
    YieldOutcome outcome;
    std::optional<double> milk;
    std::optional<double> fat;
    std::optional<double> protein;
    int testsUsed;
    const char *why;
};

const YieldCase kCases[] = {
        // 30x20 + 30x(20+30)/2 + 30x(30+25)/2 + (100-90)x25 = 600 + 750 + 825 + 250
        {"calving to first test, between tests, last test to the end date",
         {t(30, 20), t(60, 30), t(90, 25)},
         100,
         YieldOutcome::Complete,
         2425,
         none,
         none,
         3,
         ""},
        {"the tests in any order",
         {t(90, 25), t(30, 20), t(60, 30)},
         100,
         YieldOutcome::Complete,
         2425,
         none,
         none,
         3,
         ""},
        // E = 305: 100x20 + 100x(20+10)/2 + (305-200)x10
        {"an end date after day 305 ends at 305",
         {t(100, 20), t(200, 10)},
         400,
         YieldOutcome::Complete,
         4550,
         none,
         none,
         2,
         ""},
        // Milk at 305 on the line from (280, 10) to (330, 5): 7.5; 2000 + 180x15 + 25x(10+7.5)/2
        {"an interval that day 305 cuts counts to 305 with the milk interpolated",
         {t(100, 20), t(280, 10), t(330, 5)},
         none,
         YieldOutcome::Complete,
         4918.75,
         none,
         none,
         3,
         ""},
        {"tests after the one past the end are not used",
         {t(100, 20), t(280, 10), t(330, 5), t(360, 100)},
         none,
         YieldOutcome::Complete,
         4918.75,
         none,
         none,
         3,
         ""},
        // E = 120; milk at 120 on the line from (50, 30) to (150, 20): 23; 50x30 + 70x(30+23)/2
        {"an end date that cuts an interval",
         {t(50, 30), t(150, 20)},
         120,
         YieldOutcome::Complete,
         3355,
         none,
         none,
         2,
         ""},
        // 100x20 + 205x(20+10)/2 + 0
        {"a test on day 305 ends the yield there",
         {t(100, 20), t(305, 10), t(330, 50)},
         none,
         YieldOutcome::Complete,
         5075,
         none,
         none,
         2,
         ""},
        // To the last test: 30x25 + 30x(25+35)/2
        {"no end date and the last test before 305: in progress, to the last test",
         {t(30, 25), t(60, 35)},
         none,
         YieldOutcome::InProgress,
         1650,
         none,
         none,
         2,
         ""},
        // The same tests with an end date: 750 + 900 + (90-60)x35
        {"the same tests with an end date run on to it",
         {t(30, 25), t(60, 35)},
         90,
         YieldOutcome::Complete,
         2700,
         none,
         none,
         2,
         ""},
        // 10x20 + 30x(20+30)/2 + 10x30
        {"tests on day 0 or before are left out",
         {t(0, 99), t(-5, 99), t(10, 20), t(40, 30)},
         50,
         YieldOutcome::Complete,
         1250,
         none,
         none,
         2,
         ""},
        // Milk 2425 as above. Fat from (30, 0.8), (90, 1.25): 24 + 60x2.05/2 + 10x1.25 = 98;
        // protein from (30, 0.6), (60, 1.05): 18 + 30x1.65/2 + 40x1.05 = 84.75.
        {"fat and protein over the tests that have the percent",
         {t(30, 20, 4.0, 3.0), t(60, 30, none, 3.5), t(90, 25, 5.0, none)},
         100,
         YieldOutcome::Complete,
         2425,
         98,
         84.75,
         3,
         ""},
        // Milk: 2000 + 200x15 + 5x(10+10)/2 = 5050. Fat from (100, 0.8) and, past 305, (320,
        // 0.4): at 305 0.8 - 0.4x205/220; 80 + 205x(0.8 + that)/2.
        {"a component interpolates to its own next test past the end",
         {t(100, 20, 4.0, none), t(300, 10), t(310, 10), t(320, 8, 5.0, none)},
         none,
         YieldOutcome::Complete,
         5050,
         80 + 205 * (0.8 + (0.8 - 0.4 * 205 / 220)) / 2,
         none,
         3,
         ""},
        {"two tests on one day give no yield",
         {t(30, 20), t(60, 30), t(60, 31), t(90, 25)},
         100,
         YieldOutcome::SameDay,
         none,
         none,
         none,
         0,
         "two tests on day 60"},
        {"two tests on the day interpolated to give no yield",
         {t(100, 20), t(280, 10), t(330, 5), t(330, 6)},
         none,
         YieldOutcome::SameDay,
         none,
         none,
         none,
         0,
         "two tests on day 330"},
        // 2000 + 100x15 + 105x(10 + 7.9)/2, the milk at 305 on the line to (400, 6).
        {"two tests on a day that is not used",
         {t(100, 20), t(200, 10), t(400, 6), t(420, 1), t(420, 2)},
         none,
         YieldOutcome::Complete,
         4439.75,
         none,
         none,
         3,
         ""},
        {"no test on or before the end day",
         {t(50, 20), t(80, 25)},
         40,
         YieldOutcome::NoTestByEnd,
         none,
         none,
         none,
         0,
         "no test on or before day 40"},
        {"no test on or before day 305",
         {t(320, 20)},
         none,
         YieldOutcome::NoTestByEnd,
         none,
         none,
         none,
         0,
         "no test on or before day 305"},
        {"no tests", {}, none, YieldOutcome::NoTests, none, none, none, 0, "no test days"},
        {"only tests on calving day or before",
         {t(0, 20), t(-3, 20)},
         none,
         YieldOutcome::NoTests,
         none,
         none,
         none,
         0,
         "no test days"},
        {"an end date on the calving date",
         {t(10, 20)},
         0,
         YieldOutcome::EndsAtCalving,
         none,
         none,
         none,
         0,
         "end date not after calving date"},
};

void expectFigure(const std::optional<double> &actual, const std::optional<double> &expected,
                  const char *what)
{
    ASSERT_EQ(actual.has_value(), expected.has_value()) << what;
    if (expected) {
        EXPECT_NEAR(*actual, *expected, 1e-9) << what;
    }
}

} // namespace

TEST(LactationYield, matchesHandWorkedFigures)
{
    for (const YieldCase &c : kCases) {
        SCOPED_TRACE(c.name);
        const LactationYield y = computeYield(c.tests, c.endDay);
        EXPECT_EQ(y.outcome, c.outcome);
        expectFigure(y.milk, c.milk, "milk");
        expectFigure(y.fat, c.fat, "fat");
        expectFigure(y.protein, c.protein, "protein");
        EXPECT_EQ(y.testsUsed, c.testsUsed);
        EXPECT_EQ(y.why().toStdString(), c.why);
        EXPECT_EQ(y.hasYield(), y.why().isEmpty());
    }
}
