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

// The fields of a calving's calves (112), of the linear traits and composite scores of a
// classification (114) and of a cow's trait breeding values (211), in the order the generator
// keeps their values.
constexpr const char *kCalfId[2] = {"Calf1NationalID", "Calf2NationalID"};
constexpr const char *kCalfSex[2] = {"Calf1Sex", "Calf2Sex"};
constexpr const char *kCalfFate[2] = {"Calf1Fate", "Calf2Fate"};
constexpr const char *kLinearTraits[20]
        = {"Stature",           "ChestWidth", "BodyDepth",           "Angularity",
           "RumpAngle",         "RumpWidth",  "RearLegsSideView",    "RearLegsRearView",
           "FootAngle",         "Locomotion", "ForeUdderAttachment", "RearUdderHeight",
           "RearUdderWidth",    "UdderDepth", "CentralLigament",     "FrontTeatPlacement",
           "RearTeatPlacement", "TeatLength", "BoneQuality",         "UdderTexture"};
constexpr const char *kCompositeScores[4]
        = {"DairyStrengthScore", "RumpScore", "FeetLegsScore", "MammaryScore"};
// Cell count, fertility, fertility reliability, survival, milking speed, temperament,
// likeability, overall type, mammary, type reliability.
constexpr const char *kTraitBVs[10] = {
        "CellCountBV",   "FertilityBV",   "FertilityReliability", "SurvivalBV", "MilkingSpeedBV",
        "TemperamentBV", "LikeabilityBV", "OverallTypeBV",        "MammaryBV",  "TypeReliability"};

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
    l.text("HerdCode", herd.code);
    l.text("CowID", cow.cowId);
    l.text("NationalID", cow.id);
    l.date("BirthDate", cow.birth);
    l.text("BreedCode", breedInfo(cow.breed).code);
    l.text("BreedComposition", compositionText(cow.blend));
    l.text("RegisteredName", cow.registeredName);
    l.text("RegistrationStatus", cow.registration);
    l.text("SireNationalID", m_bulls.bull(cow.sire).id);
    m_bulls.markUsed(cow.sire);
    l.text("DamNationalID", cow.damId);
    l.text("SireVerified", flag(cow.sireVerified));
    if (!cow.damId.empty())
        l.text("DamVerified", flag(cow.damVerified));
    l.text("MultipleBirthCode", letter(cow.multipleBirth));
    l.text("ElectronicTag", cow.tag);
    l.date("HerdEntryDate", cow.entry);
    l.text("EntryReason", letter(cow.entryReason));
    if (exit != 0) {
        l.date("HerdExitDate", exit);
        l.text("ExitReason", cow.exitReason);
    }
    l.text("EmbryoTransfer", flag(cow.embryoTransfer));
    emit(T102);
}

void Generator::writeEvent(const Herd &herd, const Cow &cow, const Event &e)
{
    Line &l = m_out.start(T108);
    l.text("HerdCode", herd.code);
    l.text("CowID", cow.cowId);
    l.text("NationalID", cow.id);
    l.text("EventType", letter(e.type));
    l.date("EventDate", e.date);
    if (e.type == 'M') {
        l.text("ServiceType", letter(e.service));
        l.text("SexedSemen", flag(e.sexed));
        l.text("Synchronised", flag(e.synchronised));
    }
    if (e.bull >= 0 && e.type != 'H') {
        const Bull &bull = m_bulls.bull(e.bull);
        l.text("ServiceSireNationalID", bull.id);
        if (e.type == 'M' && e.service != 'N')
            l.text("ServiceSireAICode", bull.aiCode);
        m_bulls.markUsed(e.bull);
    }
    if (e.type == 'P') {
        l.text("PregTestResult", letter(e.result));
        if (e.result == 'P') {
            l.number("FoetalAgeDays", e.foetalAge);
            l.date("ExpectedCalvingDate", e.expected);
        }
        l.text("PregTestMethod", letter(e.method));
    }
    if (e.operatorCode != 0)
        l.text("OperatorCode", operatorCode(e.source, e.operatorCode));
    l.text("DataSource", letter(e.source));
    emit(T108);
}

void Generator::writeCalving(const Herd &herd, const Cow &cow, const Lactation &lact)
{
    Line &l = m_out.start(T112);
    l.text("HerdCode", herd.code);
    l.text("CowID", cow.cowId);
    l.text("NationalID", cow.id);
    l.date("CalvingDate", lact.calving);
    l.number("LactationNumber", lact.number);
    l.number("CalvingEaseScore", lact.ease);
    l.text("CalvingType", letter(lact.calvingType));
    l.number("NumberOfCalves", qint64(lact.calves.size()));
    l.text("ServiceSireNationalID", m_bulls.bull(lact.sire).id);
    m_bulls.markUsed(lact.sire);
    for (std::size_t i = 0; i < lact.calves.size() && i < 2; ++i) {
        const Calf &c = lact.calves[i];
        l.text(kCalfId[i], c.id);
        l.text(kCalfSex[i], letter(c.sex));
        l.text(kCalfFate[i], letter(c.fate));
    }
    l.text("DataSource", letter(lact.source));
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
    l.text("HerdCode", herd.code);
    l.text("CowID", cow.cowId);
    l.text("NationalID", cow.id);
    l.date("CalvingDate", lact.calving);
    l.number("LactationNumber", lact.number);
    l.number("AgeAtCalvingMonths", monthsBetween(cow.birth, lact.calving));
    if (current) {
        l.text("LactationEndReason", "C");
    } else {
        l.date("LactationEndDate", lact.end);
        l.text("LactationEndReason", letter(lact.endReason));
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
        l.number("LactationMilk", std::llround(milk));
        l.value("LactationFatKg", fat);
        l.value("LactationProteinKg", protein);
        // 305-day yields for complete lactations only (projected from 250 days on).
        if (!current && lact.endReason == 'D' && days >= 250) {
            l.number("Milk305", std::llround(milk305));
            l.value("Fat305Kg", fat305);
            l.value("Protein305Kg", protein305);
        }
    }
    if (days > 0)
        l.number("DaysInMilk", days);
    l.number("NumberOfTests", tests);
    if (cellTests > 0)
        l.number("AverageCellCount", std::llround(cells / cellTests));
    l.number("MilkingsPerDay", herd.milkings);
    l.text("RecordStatus", herd.scheme == 'O' ? "U" : "O");
    emit(T103);
}

void Generator::writeTestDay(Herd &herd, const Cow &cow, const Lactation &lact, const TestDay &t,
                             std::vector<HerdTestSum> &sums)
{
    HerdTestSum &sum = sums[std::size_t(t.test)];
    const Day date = herd.tests[std::size_t(t.test)];
    const char session = samplingSession(herd, t.test);

    Line &l = m_out.start(T104);
    l.text("HerdCode", herd.code);
    l.text("CowID", cow.cowId);
    l.text("NationalID", cow.id);
    l.date("TestDate", date);
    l.number("LactationNumber", lact.number);

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
            l.number("DaysInMilk", t.dim);
        } else {
            const Day wrong = lact.calving - (1 + n % 7);
            l.date("CalvingDate", wrong);
            l.number("DaysInMilk", date - wrong);
        }
    } else {
        l.date("CalvingDate", lact.calving);
        l.number("DaysInMilk", t.dim);
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
    l.value("Milk", milk);
    if (t.status != 'M' || outOfRange) {
        l.value("FatPercent", fat);
    }
    if (t.status != 'M') {
        l.value("ProteinPercent", t.protein);
        if (t.lactose > 0) {
            l.value("LactosePercent", t.lactose);
            l.value("TotalSolidsPercent", t.solids);
        }
        l.number("CellCount", t.cells);
    }
    l.number("MilkingsPerDay", herd.milkings);
    l.number("MilkingsSampled", t.sampled);
    l.text("TestStatus", letter(t.status));
    l.text("SamplingSession", letter(session));
    if (t.urea >= 0)
        l.value("MilkUrea", t.urea);
    if (t.bhb >= 0)
        l.value("Bhb", t.bhb);
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
        l.text("SampleNumber", sample);
    }
    l.text("LabCode", herd.lab);
    l.text("RecordingDevice", letter(herd.device));
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
        l.text("HerdCode", herd.code);
        l.text("CowID", cow.cowId);
        l.text("NationalID", cow.id);
        l.date("ScoreDate", w.date);
        l.date("CalvingDate", lact.calving);
        l.number("LactationNumber", lact.number);
        l.number("MilkingSpeed", w.speed);
        l.number("Temperament", w.temperament);
        l.number("Likeability", w.likeability);
        l.text("ScorerType", letter(w.scorer));
        l.text("MilkingSystem", letter(herd.system));
        emit(T106);
    }
    for (const Conformation &c : lact.conformation) {
        if (c.date < from || c.date > to)
            continue;
        Line &l = m_out.start(T114);
        l.text("HerdCode", herd.code);
        l.text("CowID", cow.cowId);
        l.text("NationalID", cow.id);
        l.date("AssessmentDate", c.date);
        l.text("ClassifierCode", operatorCode('C', c.classifier));
        l.number("LactationNumber", lact.number);
        l.date("CalvingDate", lact.calving);
        for (std::size_t i = 0; i < c.linear.size(); ++i)
            l.number(kLinearTraits[i], c.linear[i]);
        for (std::size_t i = 0; i < c.composite.size(); ++i)
            l.number(kCompositeScores[i], c.composite[i]);
        l.number("FinalScore", c.final);
        l.text("ClassificationGrade", c.final >= 90   ? "EX"
                                      : c.final >= 85 ? "VG"
                                      : c.final >= 80 ? "GP"
                                      : c.final >= 75 ? "G"
                                      : c.final >= 65 ? "F"
                                                      : "P");
        l.value("BodyConditionScore", c.bodyCondition);
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

        // The production breeding values that 202 and 211 share.
        auto production = [&](Line &l) {
            l.date("ReleaseDate", release);
            l.number("MilkBV", milk);
            l.number("FatKgBV", fat);
            l.number("ProteinKgBV", protein);
            l.value("FatPercent", fatPercent);
            l.value("ProteinPercent", proteinPercent);
            l.number("ProductionReliability", reliability);
            l.number("ProductionIndex", productionIndex);
            l.number("ProfitIndex", profitIndex);
            l.text("GenomicFlag", flag(cow.genomic));
        };

        Line &h = m_out.start(T211);
        h.text("HerdCode", herd.code);
        h.text("CowID", cow.cowId);
        h.text("NationalID", cow.id);
        production(h);
        for (std::size_t k = 0; k < std::size(kTraitBVs); ++k)
            h.number(kTraitBVs[k], tr[k]);
        const int mastitis = 100 + int(std::lround(0.8 * (tr[0] - 100)));
        h.number("HealthIndex",
                 std::clamp(profitIndex + 3 * (tr[0] - 100) + 2 * (mastitis - 100), -999, 999));
        h.number("TypeIndex",
                 std::clamp(profitIndex + 4 * (tr[7] - 100) + 3 * (tr[8] - 100), -999, 999));
        h.number("FeedSavedBV", std::clamp(int(std::lround(40 - 0.03 * milk)), -999, 999));
        h.number("MastitisResistanceBV", mastitis);
        h.number("IndexReliability", (reliability + tr[2]) / 2);
        emit(T211);

        Line &n = m_out.start(T202);
        n.text("NationalID", cow.id);
        n.text("HerdCode", herd.code);
        production(n);
        n.number("NumberOfHerds", cow.entryReason == 'B' ? 1 : 2);
        n.number("NumberOfLactations", lactations);
        n.number("NumberOfTestDays", std::min(tests, 999));
        emit(T202);
    }
}

} // namespace gen
