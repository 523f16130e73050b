#include "drill/random_source.h"

#include "case_table.h"
#include "scripted_seeds.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>

using drill::RandomSource;
using test_support::forEachRow;

namespace {

// Each test that replaces the clock does it through ScriptedSeeds, which puts the clock back;
// this only catches a test that left a seed source behind.
struct ClockRestored {
    ClockRestored() = default;
    ClockRestored(const ClockRestored&) = delete;
    ClockRestored& operator=(const ClockRestored&) = delete;
    ~ClockRestored() {
        CHECK_MESSAGE(!RandomSource::instance().seedSource(), "clock not restored");
    }
};

} // namespace

TEST_CASE_FIXTURE(ClockRestored, "the first two draws after a reseed") {
    struct Row {
        const char* name;
        std::uint32_t seed;
        std::int32_t belowHundredOne;
        std::int32_t belowEleven;
    };
    static const Row rows[] = {
        {"seed 0", 0, 0, 0},
        {"seed 1", 1, 3, 9},
        {"seed 12345", 12345, 38, 3},
        {"largest seed", 4294967295u, 97, 2},
    };

    forEachRow(rows, [](const Row& row) {
        const ScriptedSeeds seeds({row.seed});
        RandomSource& random = RandomSource::instance();
        random.setSeed(row.seed ^ 0x5A5A5A5Au); // reseed() must replace whatever was there
        random.reseed();
        CHECK(seeds.calls() == 1);
        CHECK(random.seed() == row.seed);
        CHECK(random.nextBelow(101) == row.belowHundredOne);
        CHECK(random.nextBelow(11) == row.belowEleven);
    });
}

TEST_CASE_FIXTURE(ClockRestored, "a draw stays below its bound at the extreme states") {
    struct Row {
        const char* name;
        std::uint32_t seed;
        std::int32_t bound;
        std::int32_t expected;
    };
    // 1298181734 * 134775813 + 1 is 2^32 - 1 modulo 2^32, the largest state a draw can see;
    // 649090867 steps to 0, the smallest.
    static const Row rows[] = {
        {"bound 1", 1298181734u, 1, 0},
        {"largest state, bound 101", 1298181734u, 101, 100},
        {"largest state, largest bound", 1298181734u, std::numeric_limits<std::int32_t>::max(),
         2147483646},
        {"smallest state, largest bound", 649090867u, std::numeric_limits<std::int32_t>::max(), 0},
    };

    forEachRow(rows, [](const Row& row) {
        RandomSource& random = RandomSource::instance();
        random.setSeed(row.seed);
        CHECK(random.nextBelow(row.bound) == row.expected);
    });
}

TEST_CASE_FIXTURE(ClockRestored, "a bound that is not positive is refused, the seed untouched") {
    struct Row {
        const char* name;
        std::int32_t bound;
    };
    static const Row rows[] = {
        {"zero", 0},
        {"minus one", -1},
        {"smallest", std::numeric_limits<std::int32_t>::min()},
    };

    forEachRow(rows, [](const Row& row) {
        RandomSource& random = RandomSource::instance();
        random.setSeed(12345);
        CHECK_THROWS_AS(random.nextBelow(row.bound), std::invalid_argument);
        CHECK(random.seed() == 12345u);
    });
}

TEST_CASE_FIXTURE(ClockRestored, "an empty seed source gives the clock back") {
    RandomSource& random = RandomSource::instance();
    const ScriptedSeeds seeds({7});
    random.reseed();
    CHECK(seeds.calls() == 1);
    CHECK(random.seed() == 7u);

    random.setSeedSource({});
    CHECK_FALSE(random.seedSource());
    random.reseed();
    CHECK(seeds.calls() == 1);
}
