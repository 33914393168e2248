#pragma once

#include <cstdint>
#include <random>

namespace tarn::sim {

// A seeded generator whose sequence is the same with every standard library: mt19937's output
// is fixed by the language, the distributions in <random> are not, so ranges are mapped here.
class Rng {
public:
    explicit Rng(std::uint32_t seed) : engine_(seed) {}

    std::uint32_t next() { return std::uint32_t(engine_()); }

    // Uniform in [lo, hi]. The modulo bias is far below anything a fault schedule can show.
    std::int64_t uniform(std::int64_t lo, std::int64_t hi) {
        if (hi <= lo)
            return lo;
        const auto span = std::uint64_t(hi - lo) + 1;
        return lo + std::int64_t(next() % span);
    }

    std::uint8_t byte() { return std::uint8_t(next() & 0xFF); }

private:
    std::mt19937 engine_;
};

} // namespace tarn::sim
