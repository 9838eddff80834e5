#pragma once

#include <cstdint>

namespace dirka {

/// The linear congruential generator behind the "Random" order: each draw advances the seed
/// by seed * 134775813 + 1 and scales it to the range asked for, so a seed gives the same
/// order every time. Each listing draws from its own.
class TRandomGenerator {
public:
    /// Seeded from the time of day in UTC, in milliseconds.
    static TRandomGenerator FromClock();

    void Seed(std::uint32_t seed) { m_seed = seed; }
    /// A draw in 0..n-1: Seed(12345) then Below(10) == 3.
    std::uint32_t Below(std::uint32_t n)
    {
        m_seed = m_seed * 134775813u + 1u;
        return std::uint32_t((std::uint64_t(m_seed) * n) >> 32);
    }

private:
    std::uint32_t m_seed = 0;
};

} // namespace dirka
