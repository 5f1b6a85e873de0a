#pragma once

#include "Dates.h"
#include "Random.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gen {

enum Breed { HOL, JER, IDW, AYR, BSW, GUE, XBD, BreedCount };

struct BreedInfo
{
    std::string_view code;
    char letter;       // in breed compositions: H100, H50J50
    double peakMilk;   // mature cow's peak daily milk, litres
    double fatPercent; // lactation average fat %
    double proteinPct; // lactation average protein %
};
const BreedInfo &breedInfo(int breed);

// The breed code and the composition text (H75J25) of a blend of pure breeds in percent.
int breedOfBlend(const std::array<int, BreedCount> &blend);
std::string compositionText(const std::array<int, BreedCount> &blend);
// The blend of a calf: half from each parent.
std::array<int, BreedCount> calfBlend(const std::array<int, BreedCount> &dam, int sireBreed);

// A national animal ID: breed (3) + country (3) + sex (1) + number (12, zero-padded).
std::string nationalId(int breed, std::string_view country, char sex, std::int64_t number);

struct Bull
{
    std::string id;
    std::string internationalId;
    std::string registeredName;
    std::string shortName;
    std::string aiCode; // empty for a herd (natural-mating) bull
    std::string company;
    std::string sireId;
    std::string damId;
    std::string country;
    std::string conditions;
    std::string polled;
    std::string casein;
    int breed = HOL;
    Day birth = 0;
    Day updated = 0;
    bool genomic = false;
    bool damVerified = false;
    double milkBV = 0; // litres
    double fatBV = 0;  // kg
    double proteinBV = 0;
};

// The bulls every herd draws its sires from: AI bulls of each breed, born over many years,
// and herd bulls for natural mating. Pedigrees (105) are written only for the bulls used.
class BullPool
{
public:
    explicit BullPool(std::uint64_t seed);
    int size() const { return int(m_bulls.size()); }
    const Bull &bull(int index) const { return m_bulls[std::size_t(index)]; }
    // An AI bull of `breed` (HOL or JER for crossbreds) born on or before `bornBy`; the oldest
    // of the breed when none is that old.
    int pickAi(Random &rng, int breed, Day bornBy) const;
    int pickNatural(Random &rng, int breed) const;
    void markUsed(int index) { m_used[std::size_t(index)] = true; }
    bool used(int index) const { return m_used[std::size_t(index)]; }

private:
    std::vector<Bull> m_bulls;
    std::array<std::vector<int>, BreedCount> m_ai; // by birth date
    std::array<std::vector<int>, BreedCount> m_natural;
    std::vector<bool> m_used;
};

// A mating or heat (108): the events that lead to a calving or end in an empty cow.
struct Event
{
    char type = 'M'; // M mating, H heat, P pregnancy test
    Day date = 0;
    char service = ' '; // A, N, E
    int bull = -1;
    bool sexed = false;
    bool synchronised = false;
    char result = ' '; // P, E, R
    int foetalAge = -1;
    Day expected = 0;
    char method = ' ';
    int operatorCode = 0; // T017, V204: letter from `source`, number here
    char source = 'O';
};

struct TestDay
{
    int test = 0; // index into the herd's test dates
    int dim = 0;
    double milk = 0;
    double fat = 0; // percentages; 0 when the sample is missing
    double protein = 0;
    double lactose = 0; // 0 when not measured
    double solids = 0;
    int cells = 0;
    char status = 'N';
    double urea = -1; // -1 when not measured
    double bhb = -1;
    int sampled = 2;
};

struct Calf
{
    std::string id; // empty when the calf was not identified
    char sex = 'F';
    char fate = 'A';
};

struct Workability
{
    Day date = 0;
    int speed = 3;
    int temperament = 3;
    int likeability = 3;
    char scorer = 'O';
};

struct Conformation
{
    Day date = 0;
    int classifier = 0;
    std::array<int, 20> linear{};
    std::array<int, 4> composite{}; // dairy strength, rump, feet & legs, mammary
    int final = 0;
    double bodyCondition = 0;
};

struct Lactation
{
    Day calving = 0;
    int number = 1;
    Day end = 0;          // dry-off or the day the cow left
    char endReason = 'D'; // D dried off, S sold, X died
    // Daily yield curve of the lactation: milk at peak, fat and protein level of the cow.
    double peak = 0;
    double fatLevel = 0;
    double proteinLevel = 0;
    int cellLevel = 0;
    std::vector<TestDay> tests;
    std::vector<Event> events; // the heats, matings and tests that led to this calving
    int ease = 1;
    char calvingType = 'N';
    int sire = -1;
    std::vector<Calf> calves;
    char source = 'O';
    std::vector<Workability> workability;
    std::vector<Conformation> conformation;
};

struct Cow
{
    std::string cowId;
    std::string id;
    std::string damId;
    std::array<int, BreedCount> blend{};
    std::string registeredName;
    std::string tag;
    std::string_view registration; // HB, AP, GR or empty
    std::string_view exitReason;
    int breed = HOL;
    int sire = -1; // bull pool index
    Day birth = 0;
    Day entry = 0;
    Day exit = 0; // 0 while in the herd
    char entryReason = 'B';
    char multipleBirth = 'S';
    bool embryoTransfer = false;
    bool sireVerified = false;
    bool damVerified = false;
    std::vector<Lactation> lactations;
    std::vector<Event> trailing; // events after the last calving
    // Genetic merit and the number of breeding-value releases shown for the cow.
    double milkBV = 0;
    double fatBV = 0;
    double proteinBV = 0;
    std::array<int, 10> traitBV{}; // 211's traits around 100 and the reliabilities
    int releases = 1;
    bool genomic = false;
};

// A cow waiting to be simulated: a founder (in the herd when its data period starts, or bought
// in later) or a calf kept as a replacement heifer.
struct Replacement
{
    bool founder = false;
    char entryReason = 'B';
    Day entry = 0;
    std::string id;
    std::string cowId;
    std::string damId;
    std::array<int, BreedCount> blend{}; // percent of each pure breed
    int sire = -1;
    Day birth = 0;
    char multipleBirth = 'S';
    bool embryoTransfer = false;
};

struct Herd
{
    int index = 0;
    std::string code;
    std::string centre;
    std::string recordingCentre;
    std::string owner;
    std::string address1;
    std::string address2;
    std::string town;
    std::string state;
    std::string postcode;
    std::string phone;
    std::string prefix;
    std::string propertyId;
    std::string farmName;
    std::string email;
    std::string mobile;
    std::string region;
    std::string lab;
    Day recordingStart = 0;
    Day recordingEnd = 0; // 0 while recording
    Day lastUpdate = 0;
    Day start = 0; // first and last day of the herd's data
    Day end = 0;
    char scheme = 'F';
    char pattern = 'S';
    char system = 'H';
    char device = 'M';
    int breed = HOL;
    int milkings = 2;
    int size = 0;
    int testInterval = 30;
    bool classifies = false;
    bool pregTests = true;
    bool ureaTested = false;
    bool bhbTested = false;
    bool dateSampleNumbers = false;
    std::vector<Day> tests;
    bool scoresWorkability = false;
    std::vector<int> seasons; // mating-season starts as day of year; empty: year-round
    int naturalBull = -1;
    int technician = 0; // operator numbers: AI technician, vet, classifier
    int vet = 0;
    int classifier = 0;
    char sampleLetter = 'A';
    std::int64_t nextSample = 0;
    std::array<int, 64> cowsBornIn{}; // CowID numbers used per birth year (year % 64)
};

// The lactation curve: daily milk relative to the peak, and the change of fat and protein
// percentages from their lactation level, by days in milk. Rising to a peak near day 45,
// then falling slowly; components lowest near day 40 and rising towards the end.
inline double milkShape(int dim)
{
    if (dim < 45)
        return 0.78 + 0.22 * dim / 45.0;
    const double shape = 1.0 - 0.0023 * (dim - 45);
    return shape > 0.3 ? shape : 0.3;
}
inline double fatShape(int dim)
{
    return dim < 40 ? 0.35 * (40 - dim) / 40.0 - 0.2 : 0.0022 * (dim - 40) - 0.2;
}
inline double proteinShape(int dim)
{
    return dim < 40 ? 0.25 * (40 - dim) / 40.0 - 0.15 : 0.0016 * (dim - 40) - 0.15;
}

// The sampling session of a herd test: both milkings for recorder-sampled and meter herds,
// morning and evening in turn for owner-sampled herds, a composite for robot herds.
char samplingSession(const Herd &herd, int test);

} // namespace gen
