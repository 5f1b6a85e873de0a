#pragma once

#include <cstdint>
#include <span>

namespace gen {

// xoshiro256** seeded through splitmix64. The generator's own arithmetic only (no standard
// library distributions, no libm), so one seed gives the same data set on every platform.
class Random
{
public:
    // `stream` separates independent sequences drawn from one seed (one per herd, one for the
    // bull pool), so a herd's data does not depend on how much an earlier herd drew.
    explicit Random(std::uint64_t seed, std::uint64_t stream = 0)
    {
        std::uint64_t x = seed ^ (stream * 0xD1B54A32D192ED03ull);
        for (std::uint64_t &s : m_s) {
            x += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = x;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            s = z ^ (z >> 31);
        }
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(m_s[1] * 5, 7) * 9;
        const std::uint64_t t = m_s[1] << 17;
        m_s[2] ^= m_s[0];
        m_s[3] ^= m_s[1];
        m_s[1] ^= m_s[2];
        m_s[0] ^= m_s[3];
        m_s[2] ^= t;
        m_s[3] = rotl(m_s[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double uniform() { return double(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // Uniform whole number in [lo, hi].
    int range(int lo, int hi)
    {
        const double span = double(std::int64_t(hi) - lo + 1);
        return int(lo + std::int64_t(uniform() * span));
    }
    bool chance(double p) { return uniform() < p; }
    // Approximately normal: the sum of four uniforms, scaled to unit variance (tails end at
    // +-3.46 standard deviations, which keeps generated values inside plausible limits).
    double normal(double mean, double sd)
    {
        const double sum = uniform() + uniform() + uniform() + uniform() - 2.0;
        return mean + sd * sum * 1.7320508075688772;
    }
    template<typename T>
    const T &pick(std::span<const T> items)
    {
        return items[std::size_t(range(0, int(items.size()) - 1))];
    }
    // An index drawn with the given relative weights.
    int weighted(std::span<const double> weights)
    {
        double total = 0;
        for (double w : weights)
            total += w;
        double r = uniform() * total;
        for (std::size_t i = 0; i < weights.size(); ++i) {
            r -= weights[i];
            if (r < 0)
                return int(i);
        }
        return int(weights.size()) - 1;
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t m_s[4];
};

} // namespace gen
