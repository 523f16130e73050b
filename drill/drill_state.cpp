#include "drill/drill_state.h"

#include "drill/number_text.h"
#include "drill/random_source.h"

namespace drill {

std::string DrillState::exerciseText() const {
    return formatInteger(firstAddend) + " + " + formatInteger(secondAddend) + " = ";
}

void DrillState::drawExercise() {
    RandomSource& random = RandomSource::instance();
    // The first addend is always drawn before the second, so a seed fixes the exercise.
    firstAddend = random.nextBelow(firstAddendBound);
    secondAddend = random.nextBelow(secondAddendBound);
    expectedSum = firstAddend + secondAddend;
}

std::string DrillState::beginSeries() {
    RandomSource::instance().reseed();
    remaining = seriesLength;
    // The counts and the mark are left as they are: the program begins one series per run.
    drawExercise();
    return exerciseText();
}

AnswerResult DrillState::submitAnswer(std::string_view answerText) {
    if (remaining <= 0) {
        // No series runs: an answer now must neither push remaining below zero nor alter the mark.
        return AnswerResult{remaining, exerciseText(), true};
    }

    RandomSource::instance().reseed();
    const std::int32_t answer = parseInteger(answerText); // throws before anything has changed

    lastAnswer = answer;
    if (answer == expectedSum) {
        ++correctCount;
    }
    --remaining;
    drawExercise();

    const bool seriesOver = remaining == 0;
    if (seriesOver) {
        mark = markFor(correctCount);
    }
    return AnswerResult{remaining, exerciseText(), seriesOver};
}

std::int32_t DrillState::markFor(std::int32_t correctCount) {
    if (correctCount >= correctForMarkFive) {
        return 5;
    }
    if (correctCount >= correctForMarkFour) {
        return 4;
    }
    if (correctCount >= correctForMarkThree) {
        return 3;
    }
    return 2;
}

} // namespace drill
