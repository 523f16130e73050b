// The one pseudo-random generator of the program: a 32-bit linear congruential generator whose
// seed is taken from a monotonic clock on reseed(), and which draws whole numbers below a bound.
// It is not suitable for anything but choosing exercises, holds no lock and must only be used
// from one thread. Tests can script the seeds through setSeedSource() to replay a series exactly.
#pragma once

#include <cstdint>
#include <functional>

namespace drill {

class RandomSource {
public:
    using SeedSource = std::function<std::uint32_t()>;

    // The process-wide generator; its seed is 0 until the first reseed() or setSeed().
    static RandomSource& instance();

    RandomSource(const RandomSource&) = delete;
    RandomSource& operator=(const RandomSource&) = delete;

    // Sets the seed to the low 32 bits of a monotonic clock reading in nanoseconds (milliseconds
    // of the wall clock if the monotonic clock cannot be read), or to the value of the seed
    // source when one is set.
    void reseed();

    // Replaces the clock as the origin of reseed(); an empty function restores the clock.
    void setSeedSource(SeedSource source);
    const SeedSource& seedSource() const noexcept { return seedSource_; }

    std::uint32_t seed() const noexcept { return seed_; }
    void setSeed(std::uint32_t seed) noexcept { seed_ = seed; }

    // Advances the seed (seed * 134775813 + 1, modulo 2^32) and returns floor(seed * bound / 2^32),
    // a number in 0..bound-1. Throws std::invalid_argument, leaving the seed alone, if bound <= 0.
    std::int32_t nextBelow(std::int32_t bound);

private:
    RandomSource() = default;

    std::uint32_t seed_ = 0;
    SeedSource seedSource_;
};

} // namespace drill
