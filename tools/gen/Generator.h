#pragma once

#include "Model.h"
#include "Output.h"

#include <deque>
#include <memory>

namespace gen {

struct Options
{
    std::uint64_t seed = 20150630;
    qint64 lines = 1000; // approximate number of lines written (when testDays is 0)
    qint64 testDays = 0; // exactly this many test-day (104) records
    int faults = 0;      // faults planted of each kind
};

// Counts of the faults planted, over the whole data set (also the types not written).
struct FaultCounts
{
    int cowsNotIn102 = 0;
    std::array<qint64, TypeCount> recordsOfCowsNotIn102{};
    int testDaysWithout103 = 0;
    int testDaysWithoutCalvingDate = 0; // of those, the ones with a blank CalvingDate
    int milkAbove99 = 0;
    int fatPercentZero = 0;
};

// Generates a herd-recording data set: herds one after another, each with its cows simulated
// from birth (matings, calvings, lactations, herd tests, classification, breeding values) and
// written as the records a recording centre would hold for the herd's data period; then the
// pedigrees of the bulls used. Only one herd is held in memory at a time.
class Generator
{
public:
    Generator(Output &output, const Options &options);
    ~Generator();
    void run();

    const FaultCounts &faults() const { return m_faults; }
    // Pedigree (102) records of cows that have no lactation (103): heifers not yet calved and
    // cows whose calvings all fall outside their herd's data period.
    qint64 pedigreesWithout103() const { return m_pedigreesWithout103; }

private:
    // Sums over the test-day records of one herd test, for its herd test record (107).
    struct HerdTestSum
    {
        int cows = 0;
        int tested = 0; // with a valid sample
        double dim = 0;
        double milk = 0;
        double sampledMilk = 0; // milk of the cows with a valid sample
        double fat = 0;         // milk-weighted sums (litres x percent)
        double protein = 0;
        double lactoseMilk = 0; // milk of the cows with lactose measured
        double lactose = 0;
        double solids = 0;
        double cells = 0;
    };

    // Herd.cpp
    Herd makeHerd(int index, Random &rng);
    void writeHerd(const Herd &herd);
    Replacement makeFounder(Herd &herd, Random &rng);
    std::string nextCowId(Herd &herd, Day birth);
    void writeHerdTests(const Herd &herd, const std::vector<HerdTestSum> &sums, Random &rng);
    void writeBulls();

    // CowLife.cpp
    Cow simulate(Herd &herd, const Replacement &start, bool founder, Random &rng,
                 std::deque<Replacement> &replacements);
    Day alignToSeason(const Herd &herd, Day day, Random &rng) const;
    Day seasonEnd(const Herd &herd, Day day) const;
    bool mate(const Herd &herd, const Cow &cow, Day start, bool heifer, Day keepUntil, Random &rng,
              std::vector<Event> &events, Day &conception, int &sire);
    void addCalves(Herd &herd, const Cow &cow, Lactation &lactation, Random &rng,
                   std::deque<Replacement> &replacements);
    void addTests(const Herd &herd, Lactation &lactation, Random &rng);
    void addScores(const Herd &herd, const Cow &cow, Lactation &lactation, Random &rng);

    // CowRecords.cpp
    void writeCow(Herd &herd, const Cow &cow, std::vector<HerdTestSum> &sums);
    // `exit`: the day the cow left, 0 when the data ends before.
    void writePedigree(const Herd &herd, const Cow &cow, Day exit);
    void writeEvent(const Herd &herd, const Cow &cow, const Event &event);
    void writeCalving(const Herd &herd, const Cow &cow, const Lactation &lactation);
    void writeLactation(const Herd &herd, const Cow &cow, const Lactation &lactation, Day to);
    void writeTestDay(Herd &herd, const Cow &cow, const Lactation &lactation, const TestDay &test,
                      std::vector<HerdTestSum> &sums);
    void writeScores(const Herd &herd, const Cow &cow, const Lactation &lactation, Day from,
                     Day to);
    void writeReleases(const Herd &herd, const Cow &cow, Day from, Day to);
    // Writes the current line of `type` and counts it against a cow left out of 102.
    void emit(int type);

    Output &m_out;
    Options m_options;
    BullPool m_bulls;

    std::int64_t m_nextAnimal = 41000000;   // cows and calves born in recorded herds
    std::int64_t m_nextAncestor = 30000000; // dams of founder cows, not recorded themselves
    qint64 m_testDays = 0;
    bool m_done = false;
    qint64 m_pedigreesWithout103 = 0;

    // Fault planting: each kind is planted at evenly spaced points of its eligible records.
    FaultCounts m_faults;
    double m_cowFaultSpacing = 0;
    double m_testFaultSpacing = 0;
    double m_nextCowFault = 0;
    double m_nextMissingLactation = 0;
    double m_nextOutOfRange = 0;
    qint64 m_eligibleCows = 0;
    qint64 m_eligibleTests = 0;
    bool m_cowIsFaulty = false;
};

} // namespace gen
