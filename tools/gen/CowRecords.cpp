// A cow's records as her herd's data shows them: everything from the day she entered the herd
// (or the herd's data starts) to the day she left (or the data ends).
#include "Generator.h"

#include <algorithm>
#include <cmath>

namespace gen {

namespace {

std::string_view flag(bool yes)
{
    return yes ? "Y" : "N";
}

std::string_view letter(const char &c)
{
    return c == ' ' ? std::string_view() : std::string_view(&c, 1);
}

std::string operatorCode(char source, int number)
{
    std::string code(1, source);
    code += char('0' + number / 100 % 10);
    code += char('0' + number / 10 % 10);
    code += char('0' + number % 10);
    return code;
}

// Release dates of national breeding values: April, August and December.
constexpr int kReleaseMonths[3] = {4, 8, 12};

} // namespace

void Generator::emit(int type)
{
    m_out.write(type);
    if (m_cowIsFaulty)
        ++m_faults.recordsOfCowsNotIn102[std::size_t(type)];
}

void Generator::writeCow(Herd &herd, const Cow &cow, std::vector<HerdTestSum> &sums)
{
    const Day from = std::max(herd.start, cow.entry);
    Day to = herd.end;
    auto shown = [&](const Lactation &l) {
        return l.calving >= from && l.calving <= to;
    };

    qint64 tests = 0;
    for (const Lactation &l : cow.lactations) {
        if (shown(l))
            tests += qint64(l.tests.size());
    }
    // A fixed number of test days: the data of the cow that reaches it ends at that test,
    // and no cow follows.
    if (m_options.testDays > 0) {
        const qint64 room = m_options.testDays - m_testDays;
        if (room <= 0) {
            m_done = true;
            return;
        }
        if (tests >= room) {
            qint64 seen = 0;
            for (const Lactation &l : cow.lactations) {
                if (!shown(l))
                    continue;
                for (const TestDay &t : l.tests) {
                    if (++seen == room)
                        to = herd.tests[std::size_t(t.test)];
                }
            }
            tests = room;
            m_done = true;
        }
    }
    const Day exit = cow.exit != 0 && cow.exit <= to ? cow.exit : 0;
    const Day last = exit != 0 ? exit : to;
    const bool hasLactation = std::any_of(cow.lactations.begin(), cow.lactations.end(), shown);

    m_cowIsFaulty = false;
    if (m_options.faults > 0 && hasLactation && tests > 0
        && m_faults.cowsNotIn102 < m_options.faults) {
        if (double(++m_eligibleCows) >= m_nextCowFault) {
            m_cowIsFaulty = true;
            ++m_faults.cowsNotIn102;
            m_nextCowFault += m_cowFaultSpacing;
        }
    }
    if (!m_cowIsFaulty) {
        writePedigree(herd, cow, exit);
        if (!hasLactation)
            ++m_pedigreesWithout103;
    }

    auto writeEvents = [&](const std::vector<Event> &events) {
        for (const Event &e : events) {
            if (e.date >= from && e.date <= last)
                writeEvent(herd, cow, e);
        }
    };
    for (const Lactation &l : cow.lactations) {
        writeEvents(l.events);
        if (!shown(l))
            continue;
        writeCalving(herd, cow, l);
        writeLactation(herd, cow, l, to);
        for (const TestDay &t : l.tests) {
            if (herd.tests[std::size_t(t.test)] <= to)
                writeTestDay(herd, cow, l, t, sums);
        }
        writeScores(herd, cow, l, from, last);
    }
    writeEvents(cow.trailing);
    writeReleases(herd, cow, from, last);
}

void Generator::writePedigree(const Herd &herd, const Cow &cow, Day exit)
{
    Line &l = m_out.start(T102);
    l.text(m_102.key.herd, herd.code);
    l.text(m_102.key.cow, cow.cowId);
    l.text(m_102.key.id, cow.id);
    l.date(m_102.birth, cow.birth);
    l.text(m_102.breed, breedInfo(cow.breed).code);
    l.text(m_102.composition, compositionText(cow.blend));
    l.text(m_102.name, cow.registeredName);
    l.text(m_102.registration, cow.registration);
    l.text(m_102.sire, m_bulls.bull(cow.sire).id);
    m_bulls.markUsed(cow.sire);
    l.text(m_102.dam, cow.damId);
    l.text(m_102.sireVerified, flag(cow.sireVerified));
    if (!cow.damId.empty())
        l.text(m_102.damVerified, flag(cow.damVerified));
    l.text(m_102.multiple, letter(cow.multipleBirth));
    l.text(m_102.tag, cow.tag);
    l.date(m_102.entry, cow.entry);
    l.text(m_102.entryReason, letter(cow.entryReason));
    if (exit != 0) {
        l.date(m_102.exit, exit);
        l.text(m_102.exitReason, cow.exitReason);
    }
    l.text(m_102.embryo, flag(cow.embryoTransfer));
    emit(T102);
}

void Generator::writeEvent(const Herd &herd, const Cow &cow, const Event &e)
{
    Line &l = m_out.start(T108);
    l.text(m_108.key.herd, herd.code);
    l.text(m_108.key.cow, cow.cowId);
    l.text(m_108.key.id, cow.id);
    l.text(m_108.type, letter(e.type));
    l.date(m_108.date_, e.date);
    if (e.type == 'M') {
        l.text(m_108.service, letter(e.service));
        l.text(m_108.sexed, flag(e.sexed));
        l.text(m_108.synchronised, flag(e.synchronised));
    }
    if (e.bull >= 0 && e.type != 'H') {
        const Bull &bull = m_bulls.bull(e.bull);
        l.text(m_108.sire, bull.id);
        if (e.type == 'M' && e.service != 'N')
            l.text(m_108.aiCode, bull.aiCode);
        m_bulls.markUsed(e.bull);
    }
    if (e.type == 'P') {
        l.text(m_108.result, letter(e.result));
        if (e.result == 'P') {
            l.number(m_108.foetalAge, e.foetalAge);
            l.date(m_108.expected, e.expected);
        }
        l.text(m_108.method, letter(e.method));
    }
    if (e.operatorCode != 0)
        l.text(m_108.operatorCode, operatorCode(e.source, e.operatorCode));
    l.text(m_108.source, letter(e.source));
    emit(T108);
}

void Generator::writeCalving(const Herd &herd, const Cow &cow, const Lactation &lact)
{
    Line &l = m_out.start(T112);
    l.text(m_112.key.herd, herd.code);
    l.text(m_112.key.cow, cow.cowId);
    l.text(m_112.key.id, cow.id);
    l.date(m_112.calving, lact.calving);
    l.number(m_112.number, lact.number);
    l.number(m_112.ease, lact.ease);
    l.text(m_112.type, letter(lact.calvingType));
    l.number(m_112.calves, qint64(lact.calves.size()));
    l.text(m_112.sire, m_bulls.bull(lact.sire).id);
    m_bulls.markUsed(lact.sire);
    for (std::size_t i = 0; i < lact.calves.size() && i < 2; ++i) {
        const Calf &c = lact.calves[i];
        l.text(m_112.calfId[i], c.id);
        l.text(m_112.calfSex[i], letter(c.sex));
        l.text(m_112.calfFate[i], letter(c.fate));
    }
    l.text(m_112.source, letter(lact.source));
    emit(T112);
}

void Generator::writeLactation(const Herd &herd, const Cow &cow, const Lactation &lact, Day to)
{
    // A lactation still running when the data ends is current: no end date, days in milk and
    // totals to its last test.
    const bool current = lact.end > to;
    int tests = 0;
    Day lastTest = 0;
    double cells = 0;
    int cellTests = 0;
    for (const TestDay &t : lact.tests) {
        const Day date = herd.tests[std::size_t(t.test)];
        if (date > to)
            break;
        ++tests;
        lastTest = date;
        if (t.cells > 0) {
            cells += t.cells;
            ++cellTests;
        }
    }
    const int days
            = current ? (lastTest != 0 ? lastTest - lact.calving : 0) : lact.end - lact.calving;

    Line &l = m_out.start(T103);
    l.text(m_103.key.herd, herd.code);
    l.text(m_103.key.cow, cow.cowId);
    l.text(m_103.key.id, cow.id);
    l.date(m_103.calving, lact.calving);
    l.number(m_103.number, lact.number);
    l.number(m_103.age, monthsBetween(cow.birth, lact.calving));
    if (current) {
        l.text(m_103.endReason, "C");
    } else {
        l.date(m_103.end, lact.end);
        l.text(m_103.endReason, letter(lact.endReason));
    }
    if (days > 0 && tests > 0) {
        // Totals by the test-interval method: daily yields interpolated between test days,
        // the first test's yield from calving, and after the last test the lactation curve
        // carried on from it (for the 305-day projection).
        const TestDay *previous = nullptr;
        const TestDay *next = &lact.tests.front();
        std::size_t nextIndex = 0;
        double milk = 0, fat = 0, protein = 0;
        double milk305 = 0, fat305 = 0, protein305 = 0;
        auto fatOf = [&](const TestDay &t) {
            return t.fat > 0 ? t.fat : lact.fatLevel + fatShape(t.dim);
        };
        auto proteinOf = [&](const TestDay &t) {
            return t.protein > 0 ? t.protein : lact.proteinLevel + proteinShape(t.dim);
        };
        for (int d = 0; d < std::max(days, 305); ++d) {
            while (next && d >= next->dim) {
                previous = next;
                ++nextIndex;
                next = int(nextIndex) < tests ? &lact.tests[nextIndex] : nullptr;
            }
            double m, f, p;
            if (!previous) {
                m = next->milk;
                f = fatOf(*next);
                p = proteinOf(*next);
            } else if (!next) {
                m = previous->milk * milkShape(d) / milkShape(previous->dim);
                f = fatOf(*previous);
                p = proteinOf(*previous);
            } else {
                const double w = double(d - previous->dim) / (next->dim - previous->dim);
                m = previous->milk + w * (next->milk - previous->milk);
                f = fatOf(*previous) + w * (fatOf(*next) - fatOf(*previous));
                p = proteinOf(*previous) + w * (proteinOf(*next) - proteinOf(*previous));
            }
            if (d < days) {
                milk += m;
                fat += m * f / 100.0;
                protein += m * p / 100.0;
            }
            if (d < 305) {
                milk305 += m;
                fat305 += m * f / 100.0;
                protein305 += m * p / 100.0;
            }
        }
        l.number(m_103.milk, std::llround(milk));
        l.value(m_103.fat, fat);
        l.value(m_103.protein, protein);
        // 305-day yields for complete lactations only (projected from 250 days on).
        if (!current && lact.endReason == 'D' && days >= 250) {
            l.number(m_103.milk305, std::llround(milk305));
            l.value(m_103.fat305, fat305);
            l.value(m_103.protein305, protein305);
        }
    }
    if (days > 0)
        l.number(m_103.dim, days);
    l.number(m_103.tests, tests);
    if (cellTests > 0)
        l.number(m_103.cells, std::llround(cells / cellTests));
    l.number(m_103.milkings, herd.milkings);
    l.text(m_103.status, herd.scheme == 'O' ? "U" : "O");
    emit(T103);
}

void Generator::writeTestDay(Herd &herd, const Cow &cow, const Lactation &lact, const TestDay &t,
                             std::vector<HerdTestSum> &sums)
{
    HerdTestSum &sum = sums[std::size_t(t.test)];
    const Day date = herd.tests[std::size_t(t.test)];
    const char session = samplingSession(herd, t.test);

    Line &l = m_out.start(T104);
    l.text(m_104.key.herd, herd.code);
    l.text(m_104.key.cow, cow.cowId);
    l.text(m_104.key.id, cow.id);
    l.date(m_104.testDate, date);
    l.number(m_104.number, lact.number);

    // Planted faults: a test day whose calving date matches no lactation, or a measurement out
    // of range. Never on a cow left out of 102, so each kind is counted once.
    bool noLactation = false;
    bool outOfRange = false;
    if (m_options.faults > 0 && !m_cowIsFaulty) {
        ++m_eligibleTests;
        if (m_faults.testDaysWithout103 < m_options.faults
            && double(m_eligibleTests) >= m_nextMissingLactation) {
            noLactation = true;
            m_nextMissingLactation += m_testFaultSpacing;
        } else if (m_faults.milkAbove99 + m_faults.fatPercentZero < m_options.faults
                   && double(m_eligibleTests) >= m_nextOutOfRange) {
            outOfRange = true;
            m_nextOutOfRange += m_testFaultSpacing;
        }
    }
    if (noLactation) {
        const int n = ++m_faults.testDaysWithout103;
        if (n % 4 == 2) {
            ++m_faults.testDaysWithoutCalvingDate;
            l.number(m_104.dim, t.dim);
        } else {
            const Day wrong = lact.calving - (1 + n % 7);
            l.date(m_104.calving, wrong);
            l.number(m_104.dim, date - wrong);
        }
    } else {
        l.date(m_104.calving, lact.calving);
        l.number(m_104.dim, t.dim);
    }

    double milk = t.milk;
    double fat = t.fat;
    if (outOfRange) {
        if ((m_faults.milkAbove99 + m_faults.fatPercentZero) % 2 == 0) {
            milk = 99.1 + (m_faults.milkAbove99 % 30);
            ++m_faults.milkAbove99;
        } else {
            fat = 0;
            ++m_faults.fatPercentZero;
        }
    }
    l.value(m_104.milk, milk);
    if (t.status != 'M' || outOfRange) {
        l.value(m_104.fat, fat);
    }
    if (t.status != 'M') {
        l.value(m_104.protein, t.protein);
        if (t.lactose > 0) {
            l.value(m_104.lactose, t.lactose);
            l.value(m_104.solids, t.solids);
        }
        l.number(m_104.cells, t.cells);
    }
    l.number(m_104.milkings, herd.milkings);
    l.number(m_104.sampled, t.sampled);
    l.text(m_104.status, letter(t.status));
    l.text(m_104.session, letter(session));
    if (t.urea >= 0)
        l.value(m_104.urea, t.urea);
    if (t.bhb >= 0)
        l.value(m_104.bhb, t.bhb);
    if (t.status != 'M') {
        // Sample (bottle) numbers: the laboratory's running number, or the test date and the
        // bottle's place in the herd's tray.
        std::string sample;
        if (herd.dateSampleNumbers) {
            int y, m, d;
            civilFromDay(date, y, m, d);
            const int parts[4] = {y % 100, m, d, sum.cows + 1};
            for (int i = 0; i < 4; ++i) {
                const int width = i == 3 ? 3 : 2;
                std::string digits = std::to_string(parts[i] % (i == 3 ? 1000 : 100));
                sample += std::string(std::size_t(width) - digits.size(), '0') + digits;
            }
        } else {
            const std::string digits = std::to_string(++herd.nextSample % 10000000);
            sample = herd.sampleLetter + std::string(7 - digits.size(), '0') + digits;
        }
        l.text(m_104.sample, sample);
    }
    l.text(m_104.lab, herd.lab);
    l.text(m_104.device, letter(herd.device));
    ++m_testDays;
    emit(T104);

    // The herd test record sums the measured values, not the planted faults.
    ++sum.cows;
    sum.dim += t.dim;
    sum.milk += t.milk;
    if (t.status != 'M') {
        ++sum.tested;
        sum.sampledMilk += t.milk;
        sum.fat += t.milk * t.fat;
        sum.protein += t.milk * t.protein;
        sum.cells += t.milk * t.cells;
        if (t.lactose > 0) {
            sum.lactoseMilk += t.milk;
            sum.lactose += t.milk * t.lactose;
            sum.solids += t.milk * t.solids;
        }
    }
}

void Generator::writeScores(const Herd &herd, const Cow &cow, const Lactation &lact, Day from,
                            Day to)
{
    for (const Workability &w : lact.workability) {
        if (w.date < from || w.date > to)
            continue;
        Line &l = m_out.start(T106);
        l.text(m_106.key.herd, herd.code);
        l.text(m_106.key.cow, cow.cowId);
        l.text(m_106.key.id, cow.id);
        l.date(m_106.date_, w.date);
        l.date(m_106.calving, lact.calving);
        l.number(m_106.number, lact.number);
        l.number(m_106.speed, w.speed);
        l.number(m_106.temperament, w.temperament);
        l.number(m_106.likeability, w.likeability);
        l.text(m_106.scorer, letter(w.scorer));
        l.text(m_106.system, letter(herd.system));
        emit(T106);
    }
    for (const Conformation &c : lact.conformation) {
        if (c.date < from || c.date > to)
            continue;
        Line &l = m_out.start(T114);
        l.text(m_114.key.herd, herd.code);
        l.text(m_114.key.cow, cow.cowId);
        l.text(m_114.key.id, cow.id);
        l.date(m_114.date_, c.date);
        l.text(m_114.classifier, operatorCode('C', c.classifier));
        l.number(m_114.number, lact.number);
        l.date(m_114.calving, lact.calving);
        for (std::size_t i = 0; i < c.linear.size(); ++i)
            l.number(m_114.linear[i], c.linear[i]);
        for (std::size_t i = 0; i < c.composite.size(); ++i)
            l.number(m_114.composite[i], c.composite[i]);
        l.number(m_114.final, c.final);
        l.text(m_114.grade, c.final >= 90   ? "EX"
                            : c.final >= 85 ? "VG"
                            : c.final >= 80 ? "GP"
                            : c.final >= 75 ? "G"
                            : c.final >= 65 ? "F"
                                            : "P");
        l.value(m_114.bodyCondition, c.bodyCondition);
        emit(T114);
    }
}

void Generator::writeReleases(const Herd &herd, const Cow &cow, Day from, Day to)
{
    // The releases that show the cow: in the herd, with a lactation begun 100 days before.
    Day firstCalving = 0;
    for (const Lactation &lact : cow.lactations) {
        if (lact.calving >= from && lact.calving <= to) {
            firstCalving = lact.calving;
            break;
        }
    }
    if (firstCalving == 0)
        return;
    std::vector<Day> releases;
    for (int y = yearOf(firstCalving); y <= yearOf(to); ++y) {
        for (int month : kReleaseMonths) {
            const Day r = dayFromCivil(y, month, 1);
            if (r >= firstCalving + 100 && r <= to)
                releases.push_back(r);
        }
    }
    const std::size_t first = releases.size() > std::size_t(cow.releases)
                                      ? releases.size() - std::size_t(cow.releases)
                                      : 0;
    for (std::size_t i = first; i < releases.size(); ++i) {
        const Day release = releases[i];
        int lactations = 0;
        int tests = 0;
        for (const Lactation &lact : cow.lactations) {
            if (lact.calving < from || lact.calving > release)
                continue;
            ++lactations;
            for (const TestDay &t : lact.tests)
                tests += herd.tests[std::size_t(t.test)] <= release ? 1 : 0;
        }
        // Estimates move towards the cow's merit as her own records accumulate.
        const double weight = 0.5 + 0.5 * tests / (tests + 12.0);
        const int milk = int(std::lround(cow.milkBV * weight));
        const int fat = int(std::lround(cow.fatBV * weight));
        const int protein = int(std::lround(cow.proteinBV * weight));
        const double fatPercent = std::round((fat - 0.042 * milk) / 70.0 * 100.0) / 100.0;
        const double proteinPercent = std::round((protein - 0.034 * milk) / 70.0 * 100.0) / 100.0;
        const int reliability = std::min(95, 30 + int(std::lround(40.0 * tests / (tests + 12.0)))
                                                     + (cow.genomic ? 15 : 0));
        const auto &tr = cow.traitBV;
        const int productionIndex
                = std::clamp(int(std::lround(-0.05 * milk + 2.2 * fat + 5.0 * protein)), -999, 999);
        const int profitIndex = std::clamp(productionIndex + 2 * (tr[1] - 100)
                                                   + 3 * (tr[3] - 100) / 2 + (tr[0] - 100),
                                           -999, 999);

        auto production = [&](Line &l, const fields::Production &p) {
            l.date(p.release, release);
            l.number(p.milk, milk);
            l.number(p.fat, fat);
            l.number(p.protein, protein);
            l.value(p.fatPercent, fatPercent);
            l.value(p.proteinPercent, proteinPercent);
            l.number(p.reliability, reliability);
            l.number(p.productionIndex, productionIndex);
            l.number(p.profitIndex, profitIndex);
            l.text(p.genomic, flag(cow.genomic));
        };

        Line &h = m_out.start(T211);
        h.text(m_211.key.herd, herd.code);
        h.text(m_211.key.cow, cow.cowId);
        h.text(m_211.key.id, cow.id);
        production(h, m_211.production);
        for (std::size_t k = 0; k < m_211.traits.size(); ++k)
            h.number(m_211.traits[k], tr[k]);
        const int mastitis = 100 + int(std::lround(0.8 * (tr[0] - 100)));
        h.number(m_211.health,
                 std::clamp(profitIndex + 3 * (tr[0] - 100) + 2 * (mastitis - 100), -999, 999));
        h.number(m_211.typeIndex,
                 std::clamp(profitIndex + 4 * (tr[7] - 100) + 3 * (tr[8] - 100), -999, 999));
        h.number(m_211.feedSaved, std::clamp(int(std::lround(40 - 0.03 * milk)), -999, 999));
        h.number(m_211.mastitis, mastitis);
        h.number(m_211.indexReliability, (reliability + tr[2]) / 2);
        emit(T211);

        Line &n = m_out.start(T202);
        n.text(m_202.id, cow.id);
        n.text(m_202.herd, herd.code);
        production(n, m_202.production);
        n.number(m_202.herds, cow.entryReason == 'B' ? 1 : 2);
        n.number(m_202.lactations, lactations);
        n.number(m_202.testDays, std::min(tests, 999));
        emit(T202);
    }
}

} // namespace gen
