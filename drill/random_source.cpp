#include "drill/random_source.h"

#include <chrono>
#include <ctime>
#include <stdexcept>
#include <string>
#include <utility>

namespace drill {

namespace {

constexpr std::uint32_t multiplier = 134775813u;
constexpr std::uint32_t increment = 1u;

std::uint32_t clockSeed() {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) == 0) {
        const std::uint64_t nanoseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
                                          static_cast<std::uint64_t>(now.tv_nsec);
        return static_cast<std::uint32_t>(nanoseconds);
    }
    // The monotonic clock is unavailable: a coarser reading from the wall clock still gives a
    // seed that differs from one series to the next.
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(milliseconds.count()));
}

} // namespace

RandomSource& RandomSource::instance() {
    static RandomSource source;
    return source;
}

void RandomSource::reseed() {
    seed_ = seedSource_ ? seedSource_() : clockSeed();
}

void RandomSource::setSeedSource(SeedSource source) {
    seedSource_ = std::move(source);
}

std::int32_t RandomSource::nextBelow(std::int32_t bound) {
    if (bound <= 0) {
        throw std::invalid_argument("RandomSource::nextBelow needs a positive bound, not " +
                                    std::to_string(bound));
    }
    seed_ = seed_ * multiplier + increment;
    const std::uint64_t scaled =
        static_cast<std::uint64_t>(seed_) * static_cast<std::uint64_t>(bound);
    return static_cast<std::int32_t>(scaled >> 32);
}

} // namespace drill
