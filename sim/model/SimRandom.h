// A small seeded generator whose sequence is the same on every compiler and
// platform, so a scenario's random traffic replays identically natively and
// under Wine (the standard distributions give no such promise).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

class CSimRandom {
public:
    explicit CSimRandom(std::uint64_t qwSeed = 1) : m_qwState(qwSeed) {}

    void Seed(std::uint64_t qwSeed) { m_qwState = qwSeed; }

    // splitmix64: one add and three mixes per value.
    std::uint64_t Next() {
        std::uint64_t z = (m_qwState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [qwLow, qwHigh]; the tiny modulo bias does not matter here.
    std::uint64_t Between(std::uint64_t qwLow, std::uint64_t qwHigh) {
        if (qwHigh <= qwLow) {
            return qwLow;
        }
        return qwLow + Next() % (qwHigh - qwLow + 1);
    }

    // Index below nCount (nCount > 0).
    std::size_t Index(std::size_t nCount) { return static_cast<std::size_t>(Next() % nCount); }

private:
    std::uint64_t m_qwState;
};

}  // namespace sim
