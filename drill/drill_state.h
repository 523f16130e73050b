// The state of one series of twenty addition exercises: the current exercise, how many answers
// are still due, how many were right and, once the series is over, the mark. It draws exercises
// from the process-wide RandomSource and reads answers with parseInteger; it shows nothing, keeps
// no history of wrong answers and is meant for one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace drill {

struct AnswerResult {
    std::int32_t remaining = 0;
    std::string exerciseText;
    bool seriesOver = false;
};

struct DrillState {
    static constexpr std::int32_t seriesLength = 20;
    static constexpr std::int32_t firstAddendBound = 101;  // first addend is 0..100
    static constexpr std::int32_t secondAddendBound = 11;  // second addend is 0..10
    static constexpr std::int32_t correctForMarkFive = 18; // at least this many right: mark 5
    static constexpr std::int32_t correctForMarkFour = 16;
    static constexpr std::int32_t correctForMarkThree = 14; // fewer than this: mark 2

    std::int32_t firstAddend = 0;
    std::int32_t secondAddend = 0;
    std::int32_t expectedSum = 0;
    std::int32_t remaining = 0; // answers still due in the running series; 0 when none runs
    std::int32_t lastAnswer = 0;
    std::int32_t correctCount = 0;
    std::int32_t mark = 0; // 0 until the series ends, then 2..5

    // "37 + 5 = ", with a trailing blank so the answer can follow it.
    std::string exerciseText() const;

    // Reseeds the generator, sets twenty exercises to go and returns the text of the first one.
    // The correct count, the last answer and the mark are kept as they are: there is one series
    // per run, so they are still 0 here.
    std::string beginSeries();

    // Reseeds the generator and reads answerText. A rejected text throws EConvertError and
    // changes nothing, so the pupil can correct it and the same exercise stays current. An
    // accepted answer is counted if it equals the sum, uses up one exercise and draws the next
    // one (after the twentieth answer, too); after the twentieth answer the mark is set.
    // While no series runs (before beginSeries and after the twentieth answer) the answer is
    // ignored: nothing changes, the generator is not touched and the result says the series is
    // over.
    AnswerResult submitAnswer(std::string_view answerText);

    // 18 or more right: 5; 16 or 17: 4; 14 or 15: 3; fewer: 2.
    static std::int32_t markFor(std::int32_t correctCount);

private:
    void drawExercise();
};

} // namespace drill
