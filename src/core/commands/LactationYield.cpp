#include "LactationYield.h"

#include <algorithm>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

struct Point
{
    int day;
    double value;
};

// The number of points on or before day `end`.
size_t onOrBefore(const std::vector<Point> &points, int end)
{
    return size_t(std::find_if(points.begin(), points.end(),
                               [end](const Point &p) { return p.day > end; })
                  - points.begin());
}

// The day of two points on one day among those the area to `end` uses (the points on or before
// it, and the next one where `end` falls before it, which is then undecided when another point
// shares its day), or 0.
int sameDay(const std::vector<Point> &points, int end)
{
    const size_t k = onOrBefore(points, end);
    size_t last = k; // the last index compared with the one before it
    if (k > 0 && k < points.size() && points[k - 1].day < end)
        last = std::min(k + 1, points.size() - 1);
    else if (k > 0)
        last = k - 1;
    for (size_t i = 1; i <= last && i < points.size(); ++i)
        if (points[i].day == points[i - 1].day)
            return points[i].day;
    return 0;
}

// The area under the daily yields of `points` (by day, days distinct where used) to day `end`,
// or nothing when no point lies on or before it. `toLastTest`: an in-progress lactation, whose
// yields stop at its last test.
std::optional<double> areaTo(const std::vector<Point> &points, int end, bool toLastTest)
{
    const size_t k = onOrBefore(points, end);
    if (k == 0)
        return std::nullopt;
    double sum = points[0].day * points[0].value;
    for (size_t i = 1; i < k; ++i)
        sum += (points[i].day - points[i - 1].day) * (points[i].value + points[i - 1].value) / 2;
    const Point &last = points[k - 1];
    if (k < points.size()) {
        // The end day falls between this test and the next: counted to it, with the yield at the
        // end day on the straight line between the two.
        const Point &next = points[k];
        const double atEnd
                = last.value + (next.value - last.value) * (end - last.day) / (next.day - last.day);
        sum += (end - last.day) * (last.value + atEnd) / 2;
    } else if (!toLastTest) {
        sum += (end - last.day) * last.value;
    }
    return sum;
}

} // namespace

QString LactationYield::why() const
{
    switch (outcome) {
    case YieldOutcome::Complete:
    case YieldOutcome::InProgress:
        break;
    case YieldOutcome::NoTests:
        return u"no test days"_s;
    case YieldOutcome::EndsAtCalving:
        return u"end date not after calving date"_s;
    case YieldOutcome::NoTestByEnd:
        return u"no test on or before day %1"_s.arg(endDay);
    case YieldOutcome::SameDay:
        return u"two tests on day %1"_s.arg(sameDay);
    }
    return QString();
}

LactationYield computeYield(std::vector<YieldTest> tests, std::optional<int> endDay)
{
    LactationYield y;
    if (endDay && *endDay < kStandardDays)
        y.endDay = *endDay;
    if (y.endDay <= 0) {
        y.outcome = YieldOutcome::EndsAtCalving;
        return y;
    }
    std::erase_if(tests, [](const YieldTest &t) { return t.day <= 0; });
    if (tests.empty()) {
        y.outcome = YieldOutcome::NoTests;
        return y;
    }
    std::stable_sort(tests.begin(), tests.end(),
                     [](const YieldTest &a, const YieldTest &b) { return a.day < b.day; });

    // Each yield over the tests that have its figure: milk over all of them, fat and protein as
    // milk x percent / 100 over those with the percent.
    std::vector<Point> milk;
    std::vector<Point> fat;
    std::vector<Point> protein;
    for (const YieldTest &t : tests) {
        milk.push_back({t.day, t.milk});
        if (t.fatPercent)
            fat.push_back({t.day, t.milk * *t.fatPercent / 100});
        if (t.proteinPercent)
            protein.push_back({t.day, t.milk * *t.proteinPercent / 100});
    }
    const int end = y.endDay;
    const size_t used = onOrBefore(milk, end);
    if (used == 0) {
        y.outcome = YieldOutcome::NoTestByEnd;
        return y;
    }
    for (const std::vector<Point> *series : {&milk, &fat, &protein}) {
        if (const int day = sameDay(*series, end)) {
            y.outcome = YieldOutcome::SameDay;
            y.sameDay = day;
            return y;
        }
    }

    const bool inProgress = !endDay && tests.back().day < kStandardDays;
    y.outcome = inProgress ? YieldOutcome::InProgress : YieldOutcome::Complete;
    const bool interpolated = used < milk.size() && milk[used - 1].day < end;
    y.testsUsed = int(used) + (interpolated ? 1 : 0);
    y.milk = areaTo(milk, end, inProgress);
    y.fat = areaTo(fat, end, inProgress);
    y.protein = areaTo(protein, end, inProgress);
    return y;
}

} // namespace bm
