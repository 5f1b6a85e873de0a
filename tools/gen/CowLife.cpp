// A cow's life: matings, calvings, lactations and their herd tests, workability scores and
// classification, simulated from birth to leaving the herd or the end of the herd's data.
#include "Generator.h"

#include "Names.h"

#include <algorithm>
#include <cmath>

namespace gen {

namespace {

// Days of a mating season.
constexpr int kSeasonLength = 84;

double round1(double v)
{
    return std::round(v * 10.0) / 10.0;
}
double round2(double v)
{
    return std::round(v * 100.0) / 100.0;
}
int clampRound(double v, int lo, int hi)
{
    return std::clamp(int(std::lround(v)), lo, hi);
}

} // namespace

Cow Generator::simulate(Herd &herd, const Replacement &start, bool founder, Random &rng,
                        std::deque<Replacement> &replacements)
{
    Cow cow;
    cow.cowId = start.cowId;
    cow.id = start.id;
    cow.damId = start.damId;
    cow.blend = start.blend;
    cow.breed = breedOfBlend(start.blend);
    cow.sire = start.sire;
    cow.birth = start.birth;
    cow.entry = founder ? start.entry : start.birth;
    cow.entryReason = founder ? start.entryReason : 'B';
    cow.multipleBirth = start.multipleBirth;
    cow.embryoTransfer = start.embryoTransfer;

    // Registration and names: stud herds register most of their cows.
    const double reg = rng.uniform();
    if (!herd.prefix.empty())
        cow.registration = reg < 0.6 ? "HB" : reg < 0.8 ? "AP" : "GR";
    else
        cow.registration = reg < 0.4 ? "GR" : "";
    const Bull &sire = m_bulls.bull(cow.sire);
    if (cow.registration == "HB" || cow.registration == "AP") {
        std::string prefix = herd.prefix.substr(0, 1);
        for (std::size_t i = 1; i < herd.prefix.size(); ++i)
            prefix += char(std::tolower(static_cast<unsigned char>(herd.prefix[i])));
        const std::string_view sireWord
                = std::string_view(sire.registeredName).substr(sire.registeredName.find(' ') + 1);
        const std::string_view name = rng.pick(cowNames());
        const std::string full = prefix + ' ' + std::string(sireWord.substr(0, sireWord.find(' ')))
                                 + ' ' + std::string(name);
        cow.registeredName = full.size() <= 30 ? full : prefix + ' ' + std::string(name);
    }
    if (rng.chance(0.9))
        cow.tag = "036 " + std::to_string(rng.range(100000, 999999))
                  + std::to_string(rng.range(100000, 999999));
    cow.sireVerified = rng.chance(0.5);
    cow.damVerified = !cow.damId.empty() && rng.chance(0.2);

    // Genetic merit: half the sire's, plus the dam's side and chance.
    cow.milkBV = 0.5 * sire.milkBV + rng.normal(0, 280);
    cow.fatBV = 0.5 * sire.fatBV + rng.normal(0, 11);
    cow.proteinBV = 0.5 * sire.proteinBV + rng.normal(0, 8);
    cow.traitBV = {clampRound(rng.normal(100, 6), 80, 120),
                   clampRound(rng.normal(100, 5), 80, 120),
                   rng.range(25, 60),
                   clampRound(rng.normal(100, 4), 85, 115),
                   clampRound(rng.normal(100, 5), 80, 120),
                   clampRound(rng.normal(100, 5), 80, 120),
                   clampRound(rng.normal(100, 5), 80, 120),
                   clampRound(rng.normal(100, 5), 80, 120),
                   clampRound(rng.normal(100, 5), 80, 120),
                   herd.classifies ? rng.range(45, 70) : rng.range(20, 40)};
    cow.releases = rng.chance(0.3) ? 2 : 1;
    cow.genomic = rng.chance(0.15);

    // The cow's production level from her breed mix and merit.
    double peak = 0, fat = 0, protein = 0;
    for (int b = 0; b < BreedCount; ++b) {
        const double share = cow.blend[std::size_t(b)] / 100.0;
        peak += share * breedInfo(b).peakMilk;
        fat += share * breedInfo(b).fatPercent;
        protein += share * breedInfo(b).proteinPct;
    }
    peak *= rng.normal(1.0, 0.08) + cow.milkBV / 9000.0;
    fat += rng.normal(0, 0.15) + (cow.fatBV - 0.042 * cow.milkBV) / 70.0;
    protein += rng.normal(0, 0.08) + (cow.proteinBV - 0.034 * cow.milkBV) / 70.0;
    const int cellLevel = rng.range(35, 150);

    // Founders were in the herd when its data starts (or when bought in); they have not left
    // before then.
    const Day keepUntil = founder ? std::max(herd.start, cow.entry) : 0;
    Day matingStart = alignToSeason(herd, cow.birth + rng.range(400, 470), rng);
    std::vector<Event> events;
    while (matingStart <= herd.end) {
        const bool heifer = cow.lactations.empty();
        Day conception = 0;
        int conceptionSire = -1;
        const bool pregnant = mate(herd, cow, matingStart, heifer, keepUntil, rng, events,
                                   conception, conceptionSire);
        const Day calving = pregnant ? conception + rng.range(276, 290) : 0;
        Lactation *previous = heifer ? nullptr : &cow.lactations.back();
        if (previous) {
            Day dry = previous->calving + rng.range(280, 340);
            if (pregnant)
                dry = std::min(dry, calving - rng.range(45, 70));
            previous->end = dry;
            previous->endReason = 'D';
        }
        if (!pregnant) {
            // Empty: a cow is culled once dried off, a heifer sold.
            cow.exit = previous ? previous->end + rng.range(0, 30)
                                : events.back().date + rng.range(20, 90);
            cow.exitReason = previous ? "SL" : "SD";
            break;
        }
        if (calving > herd.end)
            break; // still in calf when the data ends

        Lactation &l = cow.lactations.emplace_back();
        l.calving = calving;
        l.number = int(cow.lactations.size());
        l.events = std::move(events);
        events.clear();
        l.sire = conceptionSire;
        const double parity = l.number == 1   ? 0.78
                              : l.number == 2 ? 0.92
                              : l.number < 7  ? 1.0
                                              : 0.95;
        l.peak = peak * parity;
        l.fatLevel = fat;
        l.proteinLevel = protein;
        l.cellLevel = cellLevel + 20 * (l.number - 1);
        addCalves(herd, cow, l, rng, replacements);

        // Leaving during the lactation: died, sold, or an old cow culled at drying off.
        const double fate = rng.uniform();
        if (fate < 0.025) {
            l.end = l.calving + rng.range(5, 250);
            l.endReason = 'X';
            cow.exitReason = "DD";
        } else if (fate < 0.065) {
            l.end = l.calving + rng.range(30, 280);
            l.endReason = 'S';
            cow.exitReason = rng.chance(0.5) ? "SD" : "SL";
        } else if (l.number >= 5 && rng.chance(0.12 * (l.number - 4))) {
            l.end = l.calving + rng.range(250, 320);
            cow.exitReason = "SL";
        }
        if (l.end != 0) {
            cow.exit = l.end + (l.endReason == 'D' ? rng.range(0, 20) : 0);
            if (cow.exit >= keepUntil)
                break;
            // Kept: the cow was in the herd when its data starts.
            l.end = 0;
            l.endReason = 'D';
            cow.exit = 0;
            cow.exitReason = {};
        }
        matingStart = alignToSeason(herd, calving + rng.range(40, 65), rng);
    }
    cow.trailing = std::move(events);
    if (!cow.lactations.empty() && cow.lactations.back().end == 0)
        cow.lactations.back().end = cow.lactations.back().calving + rng.range(280, 340);

    const Day from = std::max(herd.start, cow.entry);
    for (Lactation &l : cow.lactations) {
        if (l.calving < from || l.calving > herd.end)
            continue;
        addTests(herd, l, rng);
        addScores(herd, cow, l, rng);
    }
    return cow;
}

Day Generator::alignToSeason(const Herd &herd, Day day, Random &rng) const
{
    if (herd.seasons.empty())
        return day;
    // The first season that has not ended by `day`; cows come on heat over its first weeks.
    const int year = yearOf(day);
    Day best = 0;
    for (int y = year - 1; y <= year + 1; ++y) {
        for (int start : herd.seasons) {
            const Day s = dayFromCivil(y, 1, 1) + start;
            if (s + kSeasonLength >= day && (best == 0 || s < best))
                best = s;
        }
    }
    return std::max(day, best + rng.range(0, 20));
}

Day Generator::seasonEnd(const Herd &herd, Day day) const
{
    const int year = yearOf(day);
    for (int y = year - 1; y <= year; ++y) {
        for (int start : herd.seasons) {
            const Day s = dayFromCivil(y, 1, 1) + start;
            if (day >= s && day <= s + kSeasonLength)
                return s + kSeasonLength;
        }
    }
    return day + kSeasonLength;
}

bool Generator::mate(const Herd &herd, const Cow &cow, Day start, bool heifer, Day keepUntil,
                     Random &rng, std::vector<Event> &events, Day &conception, int &sire)
{
    const bool seasonal = !herd.seasons.empty();
    const Day limit = seasonal ? seasonEnd(herd, start) : 0;
    const bool synchronised = rng.chance(0.1);
    Day day = start;
    if (rng.chance(0.15)) {
        Event heat;
        heat.type = 'H';
        heat.date = day;
        events.push_back(heat);
        day += rng.range(18, 24);
    }
    bool pregnant = false;
    for (int service = 1;; ++service) {
        Event e;
        e.type = 'M';
        e.date = day;
        e.synchronised = synchronised && service == 1;
        const bool mopUp = seasonal ? day > limit - 42 : service >= 4;
        if (mopUp && rng.chance(0.8)) {
            e.service = 'N';
            e.bull = herd.naturalBull;
            e.source = 'O';
        } else {
            e.service = rng.chance(0.01) ? 'E' : 'A';
            const int breed = cow.breed != XBD && rng.chance(0.05)
                                      ? (cow.breed == HOL ? int(JER) : int(HOL))
                                      : cow.breed;
            e.bull = m_bulls.pickAi(rng, breed, day - 700);
            e.sexed = heifer && rng.chance(0.3);
            e.source = rng.chance(0.7) ? 'T' : 'O';
            if (e.source == 'T')
                e.operatorCode = herd.technician;
        }
        events.push_back(e);
        const bool last = seasonal ? day + 18 > limit : service >= 5;
        if (rng.chance(heifer ? 0.6 : 0.48) || (last && day < keepUntil)) {
            pregnant = true;
            conception = day;
            sire = e.bull;
            break;
        }
        if (last)
            break;
        day += rng.range(18, 24);
    }
    if (herd.pregTests && rng.chance(0.9)) {
        Event test;
        test.type = 'P';
        test.source = 'V';
        test.operatorCode = herd.vet;
        test.bull = events.back().bull;
        if (pregnant) {
            if (rng.chance(0.03)) {
                Event early = test;
                early.date = conception + rng.range(28, 34);
                early.result = 'R';
                early.method = 'U';
                events.push_back(early);
            }
            test.date = conception + rng.range(40, 110);
            test.result = 'P';
            test.foetalAge = std::max(30, test.date - conception + rng.range(-4, 4));
            test.expected = test.date - test.foetalAge + 282;
            test.method = rng.chance(0.05) ? 'B' : test.foetalAge <= 100 ? 'U' : 'R';
        } else {
            test.date = day + rng.range(35, 60);
            test.result = 'E';
            test.method = rng.chance(0.7) ? 'U' : 'R';
        }
        events.push_back(test);
    }
    return pregnant;
}

void Generator::addCalves(Herd &herd, const Cow &cow, Lactation &l, Random &rng,
                          std::deque<Replacement> &replacements)
{
    const bool heifer = l.number == 1;
    const double type = rng.uniform();
    l.calvingType = !herd.seasons.empty() && type < 0.04 ? 'I'
                    : type > 0.985                       ? 'P'
                    : type > 0.978                       ? 'A'
                                                         : 'N';
    const int calves = rng.chance(heifer ? 0.01 : 0.03) ? 2 : 1;
    constexpr std::array heiferEase{68.0, 20.0, 8.0, 3.0, 1.0};
    constexpr std::array cowEase{84.0, 11.0, 3.0, 1.5, 0.5};
    l.ease = std::min(5, 1 + rng.weighted(heifer ? heiferEase : cowEase) + (calves - 1));
    l.source = l.ease >= 4 ? 'V' : rng.chance(0.6) ? 'O' : rng.chance(0.5) ? 'R' : 'T';

    bool sexed = false;
    bool embryo = false;
    for (const Event &e : l.events) {
        if (e.type == 'M' && e.bull == l.sire) {
            sexed = e.sexed;
            embryo = e.service == 'E';
        }
    }
    const bool shown = l.calving >= std::max(herd.start, cow.entry) && l.calving <= herd.end;
    const Bull &sire = m_bulls.bull(l.sire);
    for (int i = 0; i < calves; ++i) {
        Calf c;
        c.sex = rng.chance(sexed ? 0.9 : 0.5) ? 'F' : 'M';
        const double fate = rng.uniform();
        c.fate = l.calvingType == 'A'                 ? 'S'
                 : l.calvingType == 'P'               ? (fate < 0.5 ? 'D' : 'A')
                 : fate < (calves == 2 ? 0.88 : 0.94) ? 'A'
                 : fate < 0.97                        ? 'S'
                                                      : 'D';
        const bool identified = c.fate != 'S' && (c.sex == 'F' || rng.chance(0.5));
        const auto blend = calfBlend(cow.blend, sire.breed);
        if (identified && shown)
            c.id = nationalId(breedOfBlend(blend), "AUS", c.sex, ++m_nextAnimal);
        // Heifer calves kept as replacements join the herd's cows.
        if (!c.id.empty() && c.sex == 'F' && c.fate == 'A' && rng.chance(0.55)) {
            Replacement r;
            r.id = c.id;
            r.cowId = nextCowId(herd, l.calving);
            r.damId = cow.id;
            r.blend = blend;
            r.sire = l.sire;
            r.birth = l.calving;
            r.entry = l.calving;
            r.multipleBirth = calves == 2 ? 'T' : 'S';
            r.embryoTransfer = embryo;
            replacements.push_back(std::move(r));
        }
        l.calves.push_back(std::move(c));
    }
}

void Generator::addTests(const Herd &herd, Lactation &l, Random &rng)
{
    const Day last = std::min(l.end, herd.end);
    auto it = std::lower_bound(herd.tests.begin(), herd.tests.end(), l.calving + 5);
    for (; it != herd.tests.end() && *it <= last; ++it) {
        TestDay t;
        t.test = int(it - herd.tests.begin());
        t.dim = *it - l.calving;
        const double status = rng.uniform();
        t.status = status < 0.955 ? 'N' : status < 0.97 ? 'S' : status < 0.99 ? 'E' : 'M';
        double milk = l.peak * milkShape(t.dim) * rng.normal(1.0, 0.07);
        if (t.status == 'S')
            milk *= 0.7;
        t.milk = std::clamp(round1(milk), 5.0, 45.0);
        const char session = samplingSession(herd, t.test);
        t.sampled = session == 'A' || session == 'P' ? 1 : herd.milkings;
        if (t.status != 'M') {
            t.fat = std::clamp(round2(l.fatLevel + fatShape(t.dim) + rng.normal(0, 0.18)), 3.0,
                               6.0);
            t.protein = std::clamp(
                    round2(l.proteinLevel + proteinShape(t.dim) + rng.normal(0, 0.09)), 2.8, 4.0);
            if (rng.chance(0.97)) {
                t.lactose = std::clamp(round2(rng.normal(4.8, 0.12)), 4.3, 5.2);
                t.solids = round2(t.fat + t.protein + t.lactose + rng.normal(0.75, 0.04));
            }
            // Cell count: the cow's level, higher with age, with the odd mastitis flare.
            double cells = l.cellLevel * rng.normal(1.0, 0.3);
            if (rng.chance(0.04))
                cells *= rng.uniform(4, 15);
            t.cells = std::clamp(int(std::lround(cells)), 20, 2000);
            if (herd.ureaTested && rng.chance(0.95))
                t.urea = std::clamp(round1(rng.normal(22, 5)), 8.0, 40.0);
            if (herd.bhbTested && rng.chance(0.95))
                t.bhb = std::clamp(
                        round2(t.dim < 60 ? rng.normal(0.09, 0.04) : rng.normal(0.05, 0.02)), 0.01,
                        0.6);
        }
        l.tests.push_back(t);
    }
}

void Generator::addScores(const Herd &herd, const Cow &cow, Lactation &l, Random &rng)
{
    const Day last = std::min(l.end, herd.end);
    if (herd.scoresWorkability && rng.chance(l.number == 1 ? 0.6 : l.number == 2 ? 0.1 : 0)) {
        Workability w;
        w.date = l.calving + rng.range(60, 200);
        w.speed = clampRound(rng.normal(3 + (cow.traitBV[4] - 100) / 8.0, 0.8), 1, 5);
        w.temperament = clampRound(rng.normal(3 + (cow.traitBV[5] - 100) / 8.0, 0.8), 1, 5);
        w.likeability = clampRound(rng.normal(3 + (cow.traitBV[6] - 100) / 8.0, 0.8), 1, 5);
        const double scorer = rng.uniform();
        w.scorer = scorer < 0.7 ? 'O' : scorer < 0.9 ? 'M' : 'R';
        if (w.date <= last)
            l.workability.push_back(w);
    }
    if (herd.classifies && rng.chance(l.number == 1 ? 0.7 : 0.12)) {
        Conformation c;
        c.date = l.calving + rng.range(30, 200);
        c.classifier = herd.classifier;
        const double base = 79 + (cow.traitBV[7] - 100) * 0.6 + (l.number - 1) * 1.5;
        for (int &score : c.composite)
            score = clampRound(rng.normal(base, 2.5), 60, 95);
        c.final = std::clamp(int(std::lround(0.18 * c.composite[0] + 0.1 * c.composite[1]
                                             + 0.27 * c.composite[2] + 0.45 * c.composite[3])),
                             50, 97);
        const double udder = (c.composite[3] - 80) / 5.0;
        for (std::size_t i = 0; i < c.linear.size(); ++i)
            c.linear[i] = clampRound(rng.normal(5 + (i >= 10 && i < 16 ? udder : 0), 1.5), 1, 9);
        c.bodyCondition = std::clamp(round1(rng.normal(4.5, 0.6)), 2.5, 7.0);
        if (c.date <= last)
            l.conformation.push_back(c);
    }
}

} // namespace gen
