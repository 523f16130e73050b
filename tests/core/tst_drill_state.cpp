#include "drill/drill_state.h"
#include "drill/number_text.h"
#include "drill/random_source.h"

#include "case_table.h"
#include "scripted_seeds.h"

#include <doctest/doctest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

using namespace std::string_view_literals;
using drill::AnswerResult;
using drill::DrillState;
using drill::EConvertError;
using test_support::forEachRow;

namespace {

// Seeds whose first exercise is known: 0 gives "0 + 0 = ", 1 gives "3 + 9 = ",
// 12345 gives "38 + 3 = " and 106 gives "32 + 10 = ".
constexpr std::uint32_t seedZeroPlusZero = 0;
constexpr std::uint32_t seedThreePlusNine = 1;
constexpr std::uint32_t seedThirtyEightPlusThree = 12345;
constexpr std::uint32_t seedThirtyTwoPlusTen = 106;

// The seven fields of a state, in their order, so that a whole state can be compared and shown.
struct Fields {
    std::array<std::int32_t, 7> values;
    friend bool operator==(const Fields&, const Fields&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Fields& fields) {
        out << '{';
        for (std::size_t i = 0; i < fields.values.size(); ++i) {
            out << (i ? ", " : "") << fields.values[i];
        }
        return out << '}';
    }
};

Fields fields(const DrillState& state) {
    return {{state.firstAddend, state.secondAddend, state.expectedSum, state.remaining,
             state.lastAnswer, state.correctCount, state.mark}};
}

// Each test that replaces the clock does it through ScriptedSeeds, which puts the clock back;
// this only catches a test that left a seed source behind.
struct ClockRestored {
    ClockRestored() = default;
    ClockRestored(const ClockRestored&) = delete;
    ClockRestored& operator=(const ClockRestored&) = delete;
    ~ClockRestored() {
        CHECK_MESSAGE(!drill::RandomSource::instance().seedSource(), "clock not restored");
    }
};

} // namespace

TEST_CASE("a new state is all zeros") {
    const DrillState state;
    CHECK(fields(state) == Fields{{0, 0, 0, 0, 0, 0, 0}});
}

TEST_CASE("exercise text") {
    struct Row {
        const char* name;
        std::int32_t firstAddend;
        std::int32_t secondAddend;
        std::string_view text;
    };
    static const Row rows[] = {
        {"smallest", 0, 0, "0 + 0 = "},
        {"typical", 37, 5, "37 + 5 = "},
        {"largest", 100, 10, "100 + 10 = "},
    };

    forEachRow(rows, [](const Row& row) {
        DrillState state;
        state.firstAddend = row.firstAddend;
        state.secondAddend = row.secondAddend;
        CHECK(state.exerciseText() == row.text);
    });
}

TEST_CASE_FIXTURE(ClockRestored, "beginSeries reseeds and draws the first exercise") {
    struct Row {
        const char* name;
        std::uint32_t seed;
        std::string_view text;
        std::int32_t firstAddend;
        std::int32_t secondAddend;
        std::int32_t expectedSum;
    };
    static const Row rows[] = {
        {"seed 0", seedZeroPlusZero, "0 + 0 = ", 0, 0, 0},
        {"seed 1", seedThreePlusNine, "3 + 9 = ", 3, 9, 12},
        {"seed 12345", seedThirtyEightPlusThree, "38 + 3 = ", 38, 3, 41},
        {"seed 106", seedThirtyTwoPlusTen, "32 + 10 = ", 32, 10, 42},
    };

    forEachRow(rows, [](const Row& row) {
        const ScriptedSeeds seeds({row.seed});
        DrillState state;
        CHECK(state.beginSeries() == row.text);
        CHECK(seeds.calls() == 1);
        CHECK(state.firstAddend == row.firstAddend);
        CHECK(state.secondAddend == row.secondAddend);
        CHECK(state.expectedSum == row.expectedSum);
        CHECK(state.remaining == DrillState::seriesLength);
        CHECK(state.mark == 0);
    });
}

TEST_CASE("markFor") {
    struct Row {
        const char* name;
        std::int32_t correctCount;
        std::int32_t mark;
    };
    static const Row rows[] = {
        {"all twenty", 20, 5}, {"18", 18, 5}, {"17", 17, 4}, {"16", 16, 4},
        {"15", 15, 3},         {"14", 14, 3}, {"13", 13, 2}, {"none", 0, 2},
    };

    forEachRow(rows,
               [](const Row& row) { CHECK(DrillState::markFor(row.correctCount) == row.mark); });
}

TEST_CASE_FIXTURE(ClockRestored, "a rejected answer changes nothing") {
    struct Row {
        const char* name;
        std::string_view text;
    };
    static const Row rows[] = {
        {"empty", ""},
        {"trailing blank", "42 "},
        {"blank after sign", "- 42"},
        {"decimal point", "42.0"},
        {"tab", "\t42"},
        {"fullwidth digits", "\xEF\xBC\x94\xEF\xBC\x92"},
        {"format directive", "%s"},
        {"too large", "2147483648"},
    };

    forEachRow(rows, [](const Row& row) {
        const ScriptedSeeds seeds({seedThirtyTwoPlusTen, seedThreePlusNine});
        DrillState state;
        state.beginSeries();
        const Fields before = fields(state);

        CHECK_THROWS_AS(state.submitAnswer(row.text), EConvertError);
        CHECK(fields(state) == before);
        CHECK(state.exerciseText() == "32 + 10 = ");

        // The same exercise is still the one being answered.
        const AnswerResult result = state.submitAnswer("42");
        CHECK(state.correctCount == 1);
        CHECK(state.lastAnswer == 42);
        CHECK(result.remaining == DrillState::seriesLength - 1);
        CHECK_FALSE(result.seriesOver);
    });
}

TEST_CASE_FIXTURE(ClockRestored, "an accepted answer is judged by its value") {
    struct Row {
        const char* name;
        std::string_view text;
        std::int32_t lastAnswer;
        std::int32_t correctCount;
    };
    static const Row rows[] = {
        {"right", "42", 42, 1},
        {"right after blanks", " 42", 42, 1},
        {"right with plus", "+42", 42, 1},
        {"right with leading zero", "042", 42, 1},
        {"right in dollar hex", "$2A", 42, 1},
        {"right in 0x hex", "0x2a", 42, 1},
        {"off by one", "41", 41, 0},
        {"negated", "-42", -42, 0},
        {"hex pattern of minus one", "$FFFFFFFF", -1, 0},
        {"smallest integer", "-2147483648", -2147483647 - 1, 0},
    };

    forEachRow(rows, [](const Row& row) {
        const ScriptedSeeds seeds({seedThirtyTwoPlusTen, seedThreePlusNine});
        DrillState state;
        state.beginSeries();

        const AnswerResult result = state.submitAnswer(row.text);
        CHECK(state.lastAnswer == row.lastAnswer);
        CHECK(state.correctCount == row.correctCount);
        CHECK(state.remaining == DrillState::seriesLength - 1);
        CHECK(state.mark == 0);
        CHECK(result.remaining == state.remaining);
        CHECK_FALSE(result.seriesOver);
        // The answer reseeds before the next exercise is drawn.
        CHECK(seeds.calls() == 2);
        CHECK(result.exerciseText == "3 + 9 = ");
        CHECK(state.exerciseText() == "3 + 9 = ");
        CHECK(state.expectedSum == 12);
    });
}

TEST_CASE_FIXTURE(ClockRestored, "each answer is compared with its own exercise") {
    const ScriptedSeeds seeds(
        {seedThreePlusNine, seedThirtyEightPlusThree, seedZeroPlusZero, seedThirtyTwoPlusTen});
    DrillState state;
    CHECK(state.beginSeries() == "3 + 9 = ");

    AnswerResult result = state.submitAnswer("12");
    CHECK(state.correctCount == 1);
    CHECK(result.exerciseText == "38 + 3 = ");

    // The sum of the exercise before is no longer right.
    result = state.submitAnswer("12");
    CHECK(state.correctCount == 1);
    CHECK(result.exerciseText == "0 + 0 = ");

    result = state.submitAnswer("0");
    CHECK(state.correctCount == 2);
    CHECK(result.exerciseText == "32 + 10 = ");

    CHECK_THROWS_AS(state.submitAnswer("42 "), EConvertError);
    result = state.submitAnswer(" 42");
    CHECK(state.correctCount == 3);
    CHECK(result.remaining == DrillState::seriesLength - 4);
}

TEST_CASE_FIXTURE(ClockRestored, "twenty accepted answers end the series with its mark") {
    struct Row {
        const char* name;
        std::int32_t correctAnswers;
        std::int32_t mark;
    };
    static const Row rows[] = {
        {"all right", 20, 5}, {"18 right", 18, 5},           {"17 right", 17, 4},
        {"16 right", 16, 4},  {"15 right", 15, 3},           {"14 right", 14, 3},
        {"13 right", 13, 2},  {"only the last right", 1, 2}, {"none right", 0, 2},
    };

    forEachRow(rows, [](const Row& row) {
        // Every exercise of the series is 32 + 10; the one drawn after the last answer is 3 + 9.
        std::vector<std::uint32_t> script(DrillState::seriesLength, seedThirtyTwoPlusTen);
        script.push_back(seedThreePlusNine);
        const ScriptedSeeds seeds(script);

        DrillState state;
        state.beginSeries();
        AnswerResult result;
        for (int answer = 1; answer <= DrillState::seriesLength; ++answer) {
            CAPTURE(answer);
            REQUIRE(state.exerciseText() == "32 + 10 = ");
            // Wrong answers first, so the last answer counts towards the mark whenever any is
            // right.
            const bool right = answer > DrillState::seriesLength - row.correctAnswers;
            result = state.submitAnswer(right ? "42" : "24");
            REQUIRE(result.remaining == DrillState::seriesLength - answer);
            REQUIRE(result.seriesOver == (answer == DrillState::seriesLength));
            if (!result.seriesOver) {
                REQUIRE(state.mark == 0);
            }
        }

        CHECK(state.remaining == 0);
        CHECK(state.correctCount == row.correctAnswers);
        CHECK(state.mark == row.mark);
        // One more exercise was drawn after the twentieth answer.
        CHECK(seeds.calls() == 1 + DrillState::seriesLength);
        CHECK(result.exerciseText == "3 + 9 = ");
        CHECK(state.expectedSum == 12);
    });
}

TEST_CASE_FIXTURE(ClockRestored, "an answer while no series runs is ignored") {
    struct Row {
        const char* name;
        bool afterSeries;
        std::string_view text;
    };
    static const Row rows[] = {
        {"before any series, right", false, "0"},
        {"before any series, not a number", false, "4.0"},
        {"after the series, right", true, "42"},
        {"after the series, wrong", true, "7"},
        {"after the series, not a number", true, "42 "},
    };

    forEachRow(rows, [](const Row& row) {
        const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
        DrillState state;
        if (row.afterSeries) {
            state.beginSeries();
            for (int answer = 0; answer < DrillState::seriesLength; ++answer) {
                state.submitAnswer(answer < 16 ? "42" : "0");
            }
            REQUIRE(state.mark == 4);
        }
        const Fields before = fields(state);
        const std::size_t seedsUsed = seeds.calls();

        const AnswerResult result = state.submitAnswer(row.text);
        CHECK(fields(state) == before);
        CHECK(seeds.calls() == seedsUsed);
        CHECK(result.remaining == 0);
        CHECK(result.seriesOver);
        CHECK(result.exerciseText == state.exerciseText());
    });
}

TEST_CASE_FIXTURE(ClockRestored, "beginSeries keeps the counts and the mark") {
    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    DrillState state;
    state.beginSeries();
    for (int answer = 0; answer < DrillState::seriesLength; ++answer) {
        state.submitAnswer("42");
    }
    REQUIRE(state.mark == 5);

    // Beginning again only restores the exercise count and draws an exercise.
    CHECK(state.beginSeries() == "32 + 10 = ");
    CHECK(state.remaining == DrillState::seriesLength);
    CHECK(state.correctCount == DrillState::seriesLength);
    CHECK(state.lastAnswer == 42);
    CHECK(state.mark == 5);
}
