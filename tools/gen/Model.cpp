#include "Model.h"

#include "Names.h"

#include <algorithm>
#include <cctype>

namespace gen {

namespace {

using namespace std::string_view_literals;

constexpr std::array<BreedInfo, BreedCount> kBreeds{{
        {"HOL"sv, 'H', 38.0, 3.85, 3.20},
        {"JER"sv, 'J', 25.0, 4.95, 3.80},
        {"IDW"sv, 'I', 32.0, 3.95, 3.30},
        {"AYR"sv, 'A', 30.0, 4.00, 3.35},
        {"BSW"sv, 'B', 32.0, 4.05, 3.50},
        {"GUE"sv, 'G', 26.0, 4.60, 3.60},
        {"XBD"sv, 'X', 32.0, 4.35, 3.45},
}};

// Two-letter semen-code prefixes by breed.
constexpr std::array kAiPrefix{"HO"sv, "JE"sv, "IW"sv, "AY"sv, "BS"sv, "GU"sv, "XB"sv};

struct Country
{
    std::string_view code;
    double weight;
};

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string digits(std::int64_t value, int width)
{
    std::string out(std::size_t(width), '0');
    for (int i = width - 1; i >= 0 && value > 0; --i) {
        out[std::size_t(i)] = char('0' + value % 10);
        value /= 10;
    }
    return out;
}

} // namespace

const BreedInfo &breedInfo(int breed)
{
    return kBreeds[std::size_t(breed)];
}

int breedOfBlend(const std::array<int, BreedCount> &blend)
{
    int best = 0;
    for (int b = 1; b < BreedCount; ++b) {
        if (blend[std::size_t(b)] > blend[std::size_t(best)])
            best = b;
    }
    // A cow graded up to seven eighths of one breed counts as that breed.
    return blend[std::size_t(best)] >= 87 ? best : int(XBD);
}

std::string compositionText(const std::array<int, BreedCount> &blend)
{
    std::array<int, BreedCount> order{};
    for (int b = 0; b < BreedCount; ++b)
        order[std::size_t(b)] = b;
    std::stable_sort(order.begin(), order.end(), [&blend](int a, int b) {
        return blend[std::size_t(a)] > blend[std::size_t(b)];
    });
    std::string text;
    for (int b : order) {
        if (blend[std::size_t(b)] <= 0)
            break;
        text += kBreeds[std::size_t(b)].letter;
        text += std::to_string(blend[std::size_t(b)]);
    }
    return text;
}

std::array<int, BreedCount> calfBlend(const std::array<int, BreedCount> &dam, int sireBreed)
{
    std::array<int, BreedCount> calf{};
    int total = 0;
    for (std::size_t b = 0; b < calf.size(); ++b) {
        calf[b] = (dam[b] + (int(b) == sireBreed ? 100 : 0)) / 2;
        total += calf[b];
    }
    // Fold shares under 6 % and all but the three largest into the largest share, so the
    // composition stays short, and give it the rounding remainder.
    std::size_t largest = 0;
    for (std::size_t b = 1; b < calf.size(); ++b) {
        if (calf[b] > calf[largest])
            largest = b;
    }
    calf[largest] += 100 - total;
    std::array<int, BreedCount> sorted = calf;
    std::sort(sorted.begin(), sorted.end(), std::greater<int>());
    const int third = sorted[2];
    for (std::size_t b = 0; b < calf.size(); ++b) {
        if (b != largest && calf[b] > 0 && (calf[b] < 6 || calf[b] < third)) {
            calf[largest] += calf[b];
            calf[b] = 0;
        }
    }
    return calf;
}

std::string nationalId(int breed, std::string_view country, char sex, std::int64_t number)
{
    std::string id(kBreeds[std::size_t(breed)].code);
    id += country;
    id += sex;
    id += digits(number, 12);
    return id;
}

char samplingSession(const Herd &herd, int test)
{
    switch (herd.scheme) {
    case 'O':
        return test % 2 == 0 ? 'A' : 'P';
    case 'R':
        return 'R';
    default:
        return 'B';
    }
}

BullPool::BullPool(std::uint64_t seed)
{
    Random rng(seed, 1);
    // AI bulls per breed (crossbred cows are mated to Holstein or Jersey bulls).
    constexpr std::array<int, BreedCount> aiCount{70, 40, 12, 12, 10, 10, 0};
    constexpr std::array<Country, 6> holCountries{{{"AUS"sv, 50},
                                                   {"USA"sv, 25},
                                                   {"CAN"sv, 15},
                                                   {"NLD"sv, 5},
                                                   {"GBR"sv, 5},
                                                   {"NZL"sv, 0}}};
    constexpr std::array<Country, 6> jerCountries{{{"AUS"sv, 50},
                                                   {"NZL"sv, 20},
                                                   {"USA"sv, 20},
                                                   {"DNK"sv, 10},
                                                   {"CAN"sv, 0},
                                                   {"GBR"sv, 0}}};
    constexpr std::array<Country, 6> otherCountries{{{"AUS"sv, 70},
                                                     {"NZL"sv, 10},
                                                     {"GBR"sv, 10},
                                                     {"USA"sv, 10},
                                                     {"CAN"sv, 0},
                                                     {"NLD"sv, 0}}};
    std::int64_t ausNumber = 29000000;
    std::int64_t foreignNumber = 3100000;
    std::int64_t ancestorNumber = 1900000;
    const Day firstBirth = dayFromCivil(1993, 1, 1);
    const auto words = bullWords();
    const auto prefixes = studPrefixes();

    auto makeBull = [&](int breed, bool natural, Day birth) {
        Bull b;
        b.breed = breed;
        b.birth = birth;
        const auto &countries = breed == HOL   ? holCountries
                                : breed == JER ? jerCountries
                                               : otherCountries;
        std::array<double, 6> weights{};
        for (std::size_t i = 0; i < weights.size(); ++i)
            weights[i] = countries[i].weight;
        b.country
                = natural ? "AUS" : std::string(countries[std::size_t(rng.weighted(weights))].code);
        b.id = nationalId(breed, b.country, 'M',
                          b.country == "AUS" ? ++ausNumber : ++foreignNumber);
        b.internationalId = b.id;
        const std::string_view prefix = rng.pick(prefixes);
        const std::string_view word = rng.pick(words);
        const std::string_view second = rng.pick(words);
        b.registeredName = std::string(prefix) + ' ' + std::string(word);
        if (second != word && b.registeredName.size() + second.size() + 1 <= 30)
            b.registeredName += ' ' + std::string(second);
        if (!natural) {
            b.shortName
                    = upper(rng.chance(0.5) ? word : std::string(prefix) + ' ' + std::string(word));
            b.aiCode = std::string(kAiPrefix[std::size_t(breed)]) + digits(rng.range(100, 9999), 4);
            b.company = "SC" + digits(rng.range(1, 9), 2);
        }
        const std::string_view sireCountry = rng.chance(0.6) ? "USA"sv : "AUS"sv;
        b.sireId = nationalId(breed, sireCountry, 'M', ++ancestorNumber);
        b.damId = rng.chance(0.9) ? nationalId(breed, b.country, 'F', ++ancestorNumber)
                                  : std::string();
        b.damVerified = !b.damId.empty() && rng.chance(0.7);
        b.genomic = yearOf(birth) >= 2008 ? rng.chance(0.7) : rng.chance(0.2);
        if (breed == HOL) {
            constexpr std::array codes{"TL TV TY"sv, "TL TV TY TC"sv, "TL TV"sv, "TL TY TD"sv};
            b.conditions = rng.pick(std::span<const std::string_view>(codes));
        } else if (rng.chance(0.5)) {
            b.conditions = "TL";
        }
        const double polled = rng.uniform();
        b.polled = polled < 0.03 ? "PP" : polled < 0.13 ? "PC" : "";
        const double casein = rng.uniform();
        b.casein = casein < 0.1 ? "" : casein < 0.45 ? "A2A2" : casein < 0.8 ? "A1A2" : "A1A1";
        b.updated = dayFromCivil(2013, 1, 1) + rng.range(0, 880);
        const double merit = natural ? -200.0 : 40.0 * (yearOf(birth) - 2000);
        b.milkBV = rng.normal(300.0 + merit, 450.0);
        b.fatBV = rng.normal(14.0 + merit / 30.0, 11.0);
        b.proteinBV = rng.normal(11.0 + merit / 35.0, 8.0);
        return b;
    };

    for (int breed = 0; breed < BreedCount; ++breed) {
        const int n = aiCount[std::size_t(breed)];
        for (int i = 0; i < n; ++i) {
            const Day birth = firstBirth + i * (18 * 365) / n + rng.range(0, 150);
            m_ai[std::size_t(breed)].push_back(int(m_bulls.size()));
            m_bulls.push_back(makeBull(breed, false, birth));
        }
        if (breed == XBD)
            continue;
        for (int i = 0; i < 6; ++i) {
            const Day birth = dayFromCivil(2004, 1, 1) + rng.range(0, 6 * 365);
            m_natural[std::size_t(breed)].push_back(int(m_bulls.size()));
            m_bulls.push_back(makeBull(breed, true, birth));
        }
    }
    for (auto &list : m_ai) {
        std::stable_sort(list.begin(), list.end(), [this](int a, int b) {
            return m_bulls[std::size_t(a)].birth < m_bulls[std::size_t(b)].birth;
        });
    }
    m_used.assign(m_bulls.size(), false);
}

int BullPool::pickAi(Random &rng, int breed, Day bornBy) const
{
    if (breed == XBD)
        breed = rng.chance(0.6) ? HOL : JER;
    const auto &list = m_ai[std::size_t(breed)];
    std::size_t eligible = 0;
    while (eligible < list.size() && m_bulls[std::size_t(list[eligible])].birth <= bornBy)
        ++eligible;
    if (eligible == 0)
        return list.front();
    // Favour the younger of the eligible bulls, as breeders do.
    const int from = int(eligible) / 3;
    return list[std::size_t(rng.range(from, int(eligible) - 1))];
}

int BullPool::pickNatural(Random &rng, int breed) const
{
    if (breed == XBD)
        breed = rng.chance(0.5) ? HOL : JER;
    const auto &list = m_natural[std::size_t(breed)];
    return list[std::size_t(rng.range(0, int(list.size()) - 1))];
}

} // namespace gen
