// Herds: the driver loop, herd details (101), founder cows, herd tests (107) and the bulls
// used (105).
#include "Generator.h"

#include "Names.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace gen {

namespace {

using namespace std::string_view_literals;

// Every herd's data covers at most these five years.
const Day kDataStart = dayFromCivil(2010, 7, 1);
const Day kDataEnd = dayFromCivil(2015, 6, 30);

// Share of each record type in a generated data set, for spacing planted faults before the
// size of the data set is known.
constexpr std::array<double, TypeCount> kTypeShare{0.0001, 0.039, 0.069, 0.545, 0.0002, 0.006,
                                                   0.004,  0.196, 0.069, 0.007, 0.032,  0.032};
// Test-day records per cow that has both a lactation and a test day.
constexpr double kTestsPerRecordedCow = 19.0;

std::string digitsOf(std::int64_t value, int width)
{
    std::string out(std::size_t(width), '0');
    for (int i = width - 1; i >= 0 && value > 0; --i) {
        out[std::size_t(i)] = char('0' + value % 10);
        value /= 10;
    }
    return out;
}

std::string lower(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string upperWord(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == ' ')
            break;
        out += char(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

int phoneArea(std::string_view state)
{
    if (state == "NSW")
        return 2;
    if (state == "QLD")
        return 7;
    if (state == "SA" || state == "WA")
        return 8;
    return 3;
}

} // namespace

Generator::Generator(Output &output, const Options &options)
    : m_out(output)
    , m_options(options)
    , m_bulls(options.seed)
{
    if (m_options.faults > 0) {
        double testDays = double(m_options.testDays);
        if (testDays <= 0) {
            double wantedShare = 0;
            for (int t = 0; t < TypeCount; ++t) {
                if (m_out.wanted(t))
                    wantedShare += kTypeShare[std::size_t(t)];
            }
            testDays = double(m_options.lines) * kTypeShare[T104] / std::max(wantedShare, 0.001);
        }
        // Plant every fault in the first four fifths of the data, so that an estimate on the
        // high side still leaves room for all of them.
        m_testFaultSpacing = std::max(1.0, 0.8 * testDays / m_options.faults);
        m_cowFaultSpacing = std::max(1.0, 0.8 * testDays / kTestsPerRecordedCow / m_options.faults);
        m_nextCowFault = m_cowFaultSpacing / 2;
        m_nextMissingLactation = m_testFaultSpacing / 3;
        m_nextOutOfRange = 2 * m_testFaultSpacing / 3;
    }
}

Generator::~Generator() = default;

void Generator::run()
{
    // Lines per founder cow: her records and those of the calves she leaves in the herd,
    // measured as the data set grows; herd-level lines (101, 107) are counted apart.
    double linesPerFounder = 75;
    qint64 founders = 0;
    for (int index = 0; !m_done; ++index) {
        Random rng(m_options.seed, 1000 + std::uint64_t(index));
        const int largest = rng.range(60, 450);
        Herd herd = makeHerd(index, rng);
        herd.size = largest;
        if (m_options.testDays <= 0) {
            const qint64 herdLines = m_out.written(T101) + m_out.written(T107);
            if (founders > 0 && m_out.totalWritten() > herdLines)
                linesPerFounder = double(m_out.totalWritten() - herdLines) / double(founders);
            const qint64 overhead = (m_out.wanted(T101) ? 1 : 0)
                                    + (m_out.wanted(T107) ? qint64(herd.tests.size()) : 0);
            const qint64 remaining = m_options.lines - m_out.totalWritten() - overhead;
            if (m_options.lines - m_out.totalWritten() <= 0)
                break;
            herd.size = std::clamp(int(std::ceil(double(remaining) / linesPerFounder)), 1, largest);
        }
        founders += herd.size;

        writeHerd(herd);
        std::vector<HerdTestSum> sums(herd.tests.size());
        std::deque<Replacement> waiting;
        for (int i = 0; i < herd.size; ++i)
            waiting.push_back(makeFounder(herd, rng));
        while (!waiting.empty() && !m_done) {
            const Replacement next = std::move(waiting.front());
            waiting.pop_front();
            const Cow cow = simulate(herd, next, next.founder, rng, waiting);
            writeCow(herd, cow, sums);
        }
        writeHerdTests(herd, sums, rng);
    }
    writeBulls();
}

Herd Generator::makeHerd(int index, Random &rng)
{
    Herd h;
    h.index = index;
    const Town &town = rng.pick(towns());
    h.town = town.name;
    h.state = town.state;
    h.postcode = town.postcode;
    h.recordingCentre = town.centre;
    h.region = town.centre;
    const int centre = rng.range(1, 7);
    h.centre = digitsOf(centre, 2);
    // A herd code per index: the state's letter and a 6-digit number from a permutation of the
    // indexes, seven characters, so Change Herdcode (at most 7) can always give a code back.
    const std::int64_t number = (std::int64_t(index) * 7919 + 100237) % 900000 + 100000;
    h.code = std::string(1, h.state[0]) + digitsOf(number, 6);

    const std::string_view place = rng.pick(placeWords());
    const std::string_view surname = rng.pick(surnames());
    switch (rng.range(0, 3)) {
    case 0:
        h.owner = std::string(place) + ' ' + std::string(rng.pick(businessForms()));
        break;
    case 1:
        h.owner = std::string(surname) + " & " + std::string(rng.pick(surnames()));
        break;
    case 2:
        h.owner = std::string(1, char('A' + rng.range(0, 25))) + " & "
                  + std::string(1, char('A' + rng.range(0, 25))) + ' ' + std::string(surname);
        break;
    default:
        h.owner = std::string(surname) + " Dairy Pty Ltd";
        break;
    }
    if (rng.chance(0.15)) {
        h.address1 = "PO Box " + std::to_string(rng.range(1, 999));
        h.address2 = std::string(rng.pick(placeWords())) + ' ' + std::string(rng.pick(roadKinds()));
    } else {
        const std::string house = std::to_string(rng.range(10, 2999));
        h.address1 = house + ' ' + std::string(place) + ' ' + std::string(rng.pick(roadKinds()));
        if (h.address1.size() > 30)
            h.address1 = house + ' ' + std::string(place) + " Rd";
    }
    h.phone = "0" + std::to_string(phoneArea(h.state)) + digitsOf(rng.range(50000000, 69999999), 8);
    if (rng.chance(0.85))
        h.mobile = "04" + digitsOf(rng.range(0, 99999999), 8);
    h.farmName = std::string(place) + (rng.chance(0.4) ? " Dairy" : "");
    if (rng.chance(0.8)) {
        h.email = rng.chance(0.5) ? lower(place) + ".dairy@example.com.au"
                                  : "office@" + lower(place) + ".example.au";
    }
    if (rng.chance(0.45))
        h.prefix = upperWord(place);
    h.propertyId
            = std::to_string(rng.range(1, 9)) + h.recordingCentre + digitsOf(rng.range(0, 9999), 4);

    const double scheme = rng.uniform();
    h.scheme = scheme < 0.5 ? 'F' : scheme < 0.75 ? 'O' : scheme < 0.85 ? 'M' : 'R';
    constexpr std::array breedWeights{55.0, 20.0, 4.0, 3.0, 2.0, 3.0, 13.0};
    h.breed = rng.weighted(breedWeights);
    if (h.scheme == 'R') {
        h.system = 'A';
        h.device = 'R';
        h.milkings = 3;
        h.pattern = rng.chance(0.8) ? 'Y' : 'S';
    } else {
        const double system = rng.uniform();
        h.system = system < 0.6 ? 'H' : system < 0.95 ? 'R' : 'O';
        h.device = h.scheme == 'M' ? 'F' : rng.chance(0.7) ? 'M' : 'J';
        h.milkings = 2;
        const double pattern = rng.uniform();
        h.pattern = pattern < 0.5 ? 'S' : pattern < 0.75 ? 'P' : 'Y';
    }
    if (h.pattern == 'S')
        h.seasons = {rng.chance(0.8) ? 290 + rng.range(-10, 10) : 160 + rng.range(-10, 10)};
    else if (h.pattern == 'P')
        h.seasons = {160 + rng.range(-10, 10), 290 + rng.range(-10, 10)};
    h.testInterval = h.scheme == 'R' ? rng.range(28, 31) : rng.range(28, 42);

    if (rng.chance(0.9)) {
        h.recordingStart = dayFromCivil(1975, 1, 1) + rng.range(0, 34 * 365);
        h.start = kDataStart;
    } else {
        h.recordingStart = kDataStart + rng.range(30, 1100);
        h.start = h.recordingStart;
    }
    h.end = kDataEnd;
    if (rng.chance(0.04)) {
        h.recordingEnd = h.start + rng.range(700, std::max(700, kDataEnd - 60 - h.start));
        h.end = std::min(h.recordingEnd, kDataEnd);
    }
    h.lastUpdate = h.start + rng.range(0, h.end - h.start);

    h.classifies = rng.chance(h.prefix.empty() ? 0.25 : 0.75);
    h.scoresWorkability = rng.chance(0.65);
    h.pregTests = rng.chance(0.75);
    h.ureaTested = rng.chance(0.6);
    h.bhbTested = rng.chance(0.4);
    h.dateSampleNumbers = rng.chance(0.4);
    h.lab = "L0" + std::to_string(rng.range(1, 6));
    h.sampleLetter = char('A' + rng.range(0, 5));
    h.nextSample = rng.range(100000, 900000);
    h.technician = rng.range(1, 99);
    h.vet = rng.range(100, 399);
    h.classifier = rng.range(1, 40);
    h.naturalBull = m_bulls.pickNatural(rng, h.breed);

    for (Day test = h.start + rng.range(0, h.testInterval - 1); test <= h.end;
         test += h.testInterval + rng.range(-3, 3))
        h.tests.push_back(test);
    return h;
}

void Generator::writeHerd(const Herd &h)
{
    Line &l = m_out.start(T101);
    l.text("HerdCode", h.code);
    l.text("ProcessingCentreCode", h.centre);
    l.text("RecordingCentreCode", h.recordingCentre);
    l.text("OwnerName", h.owner);
    l.text("AddressLine1", h.address1);
    l.text("AddressLine2", h.address2);
    l.text("Town", h.town);
    l.text("StateCode", h.state);
    l.text("Postcode", h.postcode);
    l.text("Phone", h.phone);
    l.date("RecordingStartDate", h.recordingStart);
    if (h.recordingEnd)
        l.date("RecordingEndDate", h.recordingEnd);
    l.text("TestingScheme", std::string_view(&h.scheme, 1));
    l.text("PredominantBreed", breedInfo(h.breed).code);
    l.text("CalvingPattern", std::string_view(&h.pattern, 1));
    l.number("MilkingsPerDay", h.milkings);
    l.number("HerdSize", h.size);
    l.text("HerdPrefix", h.prefix);
    l.date("LastUpdateDate", h.lastUpdate);
    l.text("PropertyID", h.propertyId);
    l.text("FarmName", h.farmName);
    l.text("Email", h.email);
    l.text("MobilePhone", h.mobile);
    l.text("MilkingSystem", std::string_view(&h.system, 1));
    l.text("RegionCode", h.region);
    l.number("TestIntervalDays", h.testInterval);
    m_out.write(T101);
}

std::string Generator::nextCowId(Herd &herd, Day birth)
{
    const int year = yearOf(birth);
    const int seq = ++herd.cowsBornIn[std::size_t(year % 64)];
    return digitsOf(year % 100, 2) + (seq < 100 ? digitsOf(seq, 2) : std::to_string(seq));
}

Replacement Generator::makeFounder(Herd &herd, Random &rng)
{
    Replacement r;
    r.founder = true;
    // Blend: mostly the herd's breed; crossbred herds hold every mix of Holstein and Jersey.
    const double mix = rng.uniform();
    if (herd.breed == XBD) {
        constexpr std::array<std::array<int, 2>, 5> mixes{
                {{50, 50}, {75, 25}, {25, 75}, {100, 0}, {0, 100}}};
        const auto &m = mixes[std::size_t(rng.range(0, int(mixes.size()) - 1))];
        r.blend[HOL] = m[0];
        r.blend[JER] = m[1];
    } else if (mix < 0.9) {
        r.blend[std::size_t(herd.breed)] = 100;
    } else if (mix < 0.96) {
        r.blend[herd.breed == HOL ? JER : HOL] = 100;
    } else {
        r.blend[HOL] = 50;
        r.blend[JER] = 50;
    }

    // Age at the start of the herd's data: a quarter young stock, the rest cows up to nine.
    const int age = rng.chance(0.25) ? rng.range(100, 700) : rng.range(700, 3300);
    r.birth = herd.start - age;
    if (!herd.seasons.empty()) {
        // Born in a calving season: about 282 days after a mating-season start.
        const int season = herd.seasons[std::size_t(rng.range(0, int(herd.seasons.size()) - 1))];
        int year = yearOf(r.birth);
        Day born = dayFromCivil(year - 1, 1, 1) + season + 282 + rng.range(0, 50);
        if (born > herd.start - 100)
            born -= 365;
        r.birth = born;
    }

    const double entry = rng.uniform();
    r.entryReason = entry < 0.78 ? 'B' : entry < 0.95 ? 'P' : entry < 0.98 ? 'L' : 'T';
    r.entry = r.birth;
    if (r.entryReason != 'B') {
        const Day latest = herd.end - 60;
        if (rng.chance(0.3) && latest > herd.start)
            r.entry = herd.start + rng.range(0, latest - herd.start); // bought in later
        else
            r.entry = std::min(herd.start - 1, r.birth + rng.range(300, 900));
        r.entry = std::max(r.entry, r.birth + 200);
    }

    int sireBreed = HOL;
    for (int b = 0; b < BreedCount; ++b) {
        if (r.blend[std::size_t(b)] > r.blend[std::size_t(sireBreed)])
            sireBreed = b;
    }
    r.sire = m_bulls.pickAi(rng, sireBreed, r.birth - 285 - 700);
    const int breed = breedOfBlend(r.blend);
    if (rng.chance(0.97))
        r.damId = nationalId(breed, "AUS", 'F', ++m_nextAncestor);
    r.id = nationalId(breed, "AUS", 'F', ++m_nextAnimal);
    r.cowId = nextCowId(herd, r.birth);
    r.multipleBirth = rng.chance(0.02) ? 'T' : 'S';
    r.embryoTransfer = rng.chance(0.01);
    return r;
}

void Generator::writeHerdTests(const Herd &herd, const std::vector<HerdTestSum> &sums, Random &rng)
{
    for (std::size_t i = 0; i < sums.size(); ++i) {
        const HerdTestSum &s = sums[i];
        if (s.cows == 0)
            continue;
        Line &l = m_out.start(T107);
        l.text("HerdCode", herd.code);
        l.date("TestDate", herd.tests[i]);
        l.text("ProcessingCentreCode", herd.centre);
        l.text("LabCode", herd.lab);
        const char session = samplingSession(herd, int(i));
        l.text("SamplingSession", std::string_view(&session, 1));
        l.number("MilkingsPerDay", herd.milkings);
        l.number("CowsInMilk", s.cows);
        l.number("CowsTested", s.tested);
        l.number("AverageDaysInMilk", std::llround(s.dim / s.cows));
        l.value("Milk", s.milk / s.cows);
        l.value("TotalMilk", s.milk);
        if (s.sampledMilk > 0) {
            l.value("FatPercent", s.fat / s.sampledMilk);
            l.value("ProteinPercent", s.protein / s.sampledMilk);
            l.value("CellCount", s.cells / s.sampledMilk);
            l.value("TotalFatKg", s.fat / 100.0);
            l.value("TotalProteinKg", s.protein / 100.0);
            // The vat sample differs a little from the cows' weighted average.
            l.value("BulkMilkCellCount", s.cells / s.sampledMilk * rng.uniform(0.85, 1.1));
        }
        if (s.lactoseMilk > 0) {
            l.value("LactosePercent", s.lactose / s.lactoseMilk);
            l.value("TotalSolidsPercent", s.solids / s.lactoseMilk);
        }
        m_out.write(T107);
    }
}

void Generator::writeBulls()
{
    for (int i = 0; i < m_bulls.size(); ++i) {
        if (!m_bulls.used(i))
            continue;
        const Bull &b = m_bulls.bull(i);
        Line &l = m_out.start(T105);
        l.text("NationalID", b.id);
        l.text("InternationalID", b.internationalId);
        l.date("BirthDate", b.birth);
        l.text("BreedCode", breedInfo(b.breed).code);
        l.text("RegisteredName", b.registeredName);
        l.text("ShortName", b.shortName);
        l.text("AICode", b.aiCode);
        l.text("AICompanyCode", b.company);
        l.text("SireNationalID", b.sireId);
        l.text("DamNationalID", b.damId);
        l.text("CountryOfOrigin", b.country);
        l.text("RegistrationStatus", "HB");
        l.text("SireVerified", "Y");
        l.text("DamVerified", b.damId.empty() ? "" : b.damVerified ? "Y" : "N");
        l.text("GenomicTested", b.genomic ? "Y" : "N");
        l.text("GeneticConditions", b.conditions);
        l.text("PolledStatus", b.polled);
        l.text("BetaCasein", b.casein);
        l.date("LastUpdateDate", b.updated);
        m_out.write(T105);
    }
}

} // namespace gen
