#include "drill/drill_state.h"
#include "drill/number_text.h"
#include "drill/random_source.h"

#include "scripted_seeds.h"

#include <QByteArray>
#include <QList>
#include <QTest>

#include <cstdint>
#include <string_view>
#include <vector>

using drill::AnswerResult;
using drill::DrillState;
using drill::EConvertError;

namespace {

// Seeds whose first exercise is known: 0 gives "0 + 0 = ", 1 gives "3 + 9 = ",
// 12345 gives "38 + 3 = " and 106 gives "32 + 10 = ".
constexpr std::uint32_t seedZeroPlusZero = 0;
constexpr std::uint32_t seedThreePlusNine = 1;
constexpr std::uint32_t seedThirtyEightPlusThree = 12345;
constexpr std::uint32_t seedThirtyTwoPlusTen = 106;

QList<int> fields(const DrillState& state) {
    return {state.firstAddend, state.secondAddend, state.expectedSum, state.remaining,
            state.lastAnswer,  state.correctCount, state.mark};
}

QByteArray bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::string_view view(const QByteArray& text) {
    return std::string_view(text.constData(), static_cast<std::size_t>(text.size()));
}

} // namespace

class DrillStateTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void startsEmpty();
    void exerciseText_data();
    void exerciseText();
    void beginSeriesDrawsFirstExercise_data();
    void beginSeriesDrawsFirstExercise();
    void markFor_data();
    void markFor();
    void rejectedAnswerChangesNothing_data();
    void rejectedAnswerChangesNothing();
    void acceptedAnswer_data();
    void acceptedAnswer();
    void eachAnswerMeetsItsOwnExercise();
    void twentyAnswersEndTheSeries_data();
    void twentyAnswersEndTheSeries();
    void answerOutsideSeriesIsIgnored_data();
    void answerOutsideSeriesIsIgnored();
    void beginSeriesKeepsTheCounts();
};

void DrillStateTest::cleanup() {
    QVERIFY(!drill::RandomSource::instance().seedSource());
}

void DrillStateTest::startsEmpty() {
    const DrillState state;
    QCOMPARE(fields(state), QList<int>({0, 0, 0, 0, 0, 0, 0}));
}

void DrillStateTest::exerciseText_data() {
    QTest::addColumn<int>("firstAddend");
    QTest::addColumn<int>("secondAddend");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("smallest") << 0 << 0 << QByteArray("0 + 0 = ");
    QTest::newRow("typical") << 37 << 5 << QByteArray("37 + 5 = ");
    QTest::newRow("largest") << 100 << 10 << QByteArray("100 + 10 = ");
}

void DrillStateTest::exerciseText() {
    QFETCH(int, firstAddend);
    QFETCH(int, secondAddend);
    QFETCH(QByteArray, text);

    DrillState state;
    state.firstAddend = firstAddend;
    state.secondAddend = secondAddend;
    QCOMPARE(bytes(state.exerciseText()), text);
}

void DrillStateTest::beginSeriesDrawsFirstExercise_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("firstAddend");
    QTest::addColumn<int>("secondAddend");
    QTest::addColumn<int>("expectedSum");

    QTest::newRow("seed 0") << quint32(seedZeroPlusZero) << QByteArray("0 + 0 = ") << 0 << 0 << 0;
    QTest::newRow("seed 1") << quint32(seedThreePlusNine) << QByteArray("3 + 9 = ") << 3 << 9 << 12;
    QTest::newRow("seed 12345") << quint32(seedThirtyEightPlusThree) << QByteArray("38 + 3 = ")
                                << 38 << 3 << 41;
    QTest::newRow("seed 106") << quint32(seedThirtyTwoPlusTen) << QByteArray("32 + 10 = ") << 32
                              << 10 << 42;
}

void DrillStateTest::beginSeriesDrawsFirstExercise() {
    QFETCH(quint32, seed);
    QFETCH(QByteArray, text);
    QFETCH(int, firstAddend);
    QFETCH(int, secondAddend);
    QFETCH(int, expectedSum);

    const ScriptedSeeds seeds({seed});
    DrillState state;
    QCOMPARE(bytes(state.beginSeries()), text);
    QCOMPARE(seeds.calls(), std::size_t(1));
    QCOMPARE(state.firstAddend, firstAddend);
    QCOMPARE(state.secondAddend, secondAddend);
    QCOMPARE(state.expectedSum, expectedSum);
    QCOMPARE(state.remaining, DrillState::seriesLength);
    QCOMPARE(state.mark, 0);
}

void DrillStateTest::markFor_data() {
    QTest::addColumn<int>("correctCount");
    QTest::addColumn<int>("mark");

    QTest::newRow("all twenty") << 20 << 5;
    QTest::newRow("18") << 18 << 5;
    QTest::newRow("17") << 17 << 4;
    QTest::newRow("16") << 16 << 4;
    QTest::newRow("15") << 15 << 3;
    QTest::newRow("14") << 14 << 3;
    QTest::newRow("13") << 13 << 2;
    QTest::newRow("none") << 0 << 2;
}

void DrillStateTest::markFor() {
    QFETCH(int, correctCount);
    QFETCH(int, mark);

    QCOMPARE(DrillState::markFor(correctCount), mark);
}

void DrillStateTest::rejectedAnswerChangesNothing_data() {
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("trailing blank") << QByteArray("42 ");
    QTest::newRow("blank after sign") << QByteArray("- 42");
    QTest::newRow("decimal point") << QByteArray("42.0");
    QTest::newRow("tab") << QByteArray("\t42");
    QTest::newRow("fullwidth digits") << QByteArray("\xEF\xBC\x94\xEF\xBC\x92");
    QTest::newRow("format directive") << QByteArray("%s");
    QTest::newRow("too large") << QByteArray("2147483648");
}

void DrillStateTest::rejectedAnswerChangesNothing() {
    QFETCH(QByteArray, text);

    const ScriptedSeeds seeds({seedThirtyTwoPlusTen, seedThreePlusNine});
    DrillState state;
    state.beginSeries();
    const QList<int> before = fields(state);

    QVERIFY_THROWS_EXCEPTION(EConvertError, state.submitAnswer(view(text)));
    QCOMPARE(fields(state), before);
    QCOMPARE(bytes(state.exerciseText()), QByteArray("32 + 10 = "));

    // The same exercise is still the one being answered.
    const AnswerResult result = state.submitAnswer("42");
    QCOMPARE(state.correctCount, 1);
    QCOMPARE(state.lastAnswer, 42);
    QCOMPARE(result.remaining, DrillState::seriesLength - 1);
    QVERIFY(!result.seriesOver);
}

void DrillStateTest::acceptedAnswer_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("lastAnswer");
    QTest::addColumn<int>("correctCount");

    QTest::newRow("right") << QByteArray("42") << 42 << 1;
    QTest::newRow("right after blanks") << QByteArray(" 42") << 42 << 1;
    QTest::newRow("right with plus") << QByteArray("+42") << 42 << 1;
    QTest::newRow("right with leading zero") << QByteArray("042") << 42 << 1;
    QTest::newRow("right in dollar hex") << QByteArray("$2A") << 42 << 1;
    QTest::newRow("right in 0x hex") << QByteArray("0x2a") << 42 << 1;
    QTest::newRow("off by one") << QByteArray("41") << 41 << 0;
    QTest::newRow("negated") << QByteArray("-42") << -42 << 0;
    QTest::newRow("hex pattern of minus one") << QByteArray("$FFFFFFFF") << -1 << 0;
    QTest::newRow("smallest integer") << QByteArray("-2147483648") << -2147483647 - 1 << 0;
}

void DrillStateTest::acceptedAnswer() {
    QFETCH(QByteArray, text);
    QFETCH(int, lastAnswer);
    QFETCH(int, correctCount);

    const ScriptedSeeds seeds({seedThirtyTwoPlusTen, seedThreePlusNine});
    DrillState state;
    state.beginSeries();

    const AnswerResult result = state.submitAnswer(view(text));
    QCOMPARE(state.lastAnswer, lastAnswer);
    QCOMPARE(state.correctCount, correctCount);
    QCOMPARE(state.remaining, DrillState::seriesLength - 1);
    QCOMPARE(state.mark, 0);
    QCOMPARE(result.remaining, state.remaining);
    QVERIFY(!result.seriesOver);
    // The answer reseeds before the next exercise is drawn.
    QCOMPARE(seeds.calls(), std::size_t(2));
    QCOMPARE(bytes(result.exerciseText), QByteArray("3 + 9 = "));
    QCOMPARE(bytes(state.exerciseText()), QByteArray("3 + 9 = "));
    QCOMPARE(state.expectedSum, 12);
}

void DrillStateTest::eachAnswerMeetsItsOwnExercise() {
    const ScriptedSeeds seeds(
        {seedThreePlusNine, seedThirtyEightPlusThree, seedZeroPlusZero, seedThirtyTwoPlusTen});
    DrillState state;
    QCOMPARE(bytes(state.beginSeries()), QByteArray("3 + 9 = "));

    AnswerResult result = state.submitAnswer("12");
    QCOMPARE(state.correctCount, 1);
    QCOMPARE(bytes(result.exerciseText), QByteArray("38 + 3 = "));

    // The sum of the exercise before is no longer right.
    result = state.submitAnswer("12");
    QCOMPARE(state.correctCount, 1);
    QCOMPARE(bytes(result.exerciseText), QByteArray("0 + 0 = "));

    result = state.submitAnswer("0");
    QCOMPARE(state.correctCount, 2);
    QCOMPARE(bytes(result.exerciseText), QByteArray("32 + 10 = "));

    QVERIFY_THROWS_EXCEPTION(EConvertError, state.submitAnswer("42 "));
    result = state.submitAnswer(" 42");
    QCOMPARE(state.correctCount, 3);
    QCOMPARE(result.remaining, DrillState::seriesLength - 4);
}

void DrillStateTest::twentyAnswersEndTheSeries_data() {
    QTest::addColumn<int>("correctAnswers");
    QTest::addColumn<int>("mark");

    QTest::newRow("all right") << 20 << 5;
    QTest::newRow("18 right") << 18 << 5;
    QTest::newRow("17 right") << 17 << 4;
    QTest::newRow("16 right") << 16 << 4;
    QTest::newRow("15 right") << 15 << 3;
    QTest::newRow("14 right") << 14 << 3;
    QTest::newRow("13 right") << 13 << 2;
    QTest::newRow("only the last right") << 1 << 2;
    QTest::newRow("none right") << 0 << 2;
}

void DrillStateTest::twentyAnswersEndTheSeries() {
    QFETCH(int, correctAnswers);
    QFETCH(int, mark);

    // Every exercise of the series is 32 + 10; the one drawn after the last answer is 3 + 9.
    std::vector<std::uint32_t> script(DrillState::seriesLength, seedThirtyTwoPlusTen);
    script.push_back(seedThreePlusNine);
    const ScriptedSeeds seeds(script);

    DrillState state;
    state.beginSeries();
    AnswerResult result;
    for (int answer = 1; answer <= DrillState::seriesLength; ++answer) {
        QCOMPARE(bytes(state.exerciseText()), QByteArray("32 + 10 = "));
        // Wrong answers first, so the last answer counts towards the mark whenever any is right.
        const bool right = answer > DrillState::seriesLength - correctAnswers;
        result = state.submitAnswer(right ? "42" : "24");
        QCOMPARE(result.remaining, DrillState::seriesLength - answer);
        QCOMPARE(result.seriesOver, answer == DrillState::seriesLength);
        if (!result.seriesOver) {
            QCOMPARE(state.mark, 0);
        }
    }

    QCOMPARE(state.remaining, 0);
    QCOMPARE(state.correctCount, correctAnswers);
    QCOMPARE(state.mark, mark);
    // One more exercise was drawn after the twentieth answer.
    QCOMPARE(seeds.calls(), std::size_t(1 + DrillState::seriesLength));
    QCOMPARE(bytes(result.exerciseText), QByteArray("3 + 9 = "));
    QCOMPARE(state.expectedSum, 12);
}

void DrillStateTest::answerOutsideSeriesIsIgnored_data() {
    QTest::addColumn<bool>("afterSeries");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("before any series, right") << false << QByteArray("0");
    QTest::newRow("before any series, not a number") << false << QByteArray("4.0");
    QTest::newRow("after the series, right") << true << QByteArray("42");
    QTest::newRow("after the series, wrong") << true << QByteArray("7");
    QTest::newRow("after the series, not a number") << true << QByteArray("42 ");
}

void DrillStateTest::answerOutsideSeriesIsIgnored() {
    QFETCH(bool, afterSeries);
    QFETCH(QByteArray, text);

    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    DrillState state;
    if (afterSeries) {
        state.beginSeries();
        for (int answer = 0; answer < DrillState::seriesLength; ++answer) {
            state.submitAnswer(answer < 16 ? "42" : "0");
        }
        QCOMPARE(state.mark, 4);
    }
    const QList<int> before = fields(state);
    const std::size_t seedsUsed = seeds.calls();

    const AnswerResult result = state.submitAnswer(view(text));
    QCOMPARE(fields(state), before);
    QCOMPARE(seeds.calls(), seedsUsed);
    QCOMPARE(result.remaining, 0);
    QVERIFY(result.seriesOver);
    QCOMPARE(bytes(result.exerciseText), bytes(state.exerciseText()));
}

void DrillStateTest::beginSeriesKeepsTheCounts() {
    const ScriptedSeeds seeds({seedThirtyTwoPlusTen});
    DrillState state;
    state.beginSeries();
    for (int answer = 0; answer < DrillState::seriesLength; ++answer) {
        state.submitAnswer("42");
    }
    QCOMPARE(state.mark, 5);

    // Beginning again only restores the exercise count and draws an exercise.
    QCOMPARE(bytes(state.beginSeries()), QByteArray("32 + 10 = "));
    QCOMPARE(state.remaining, DrillState::seriesLength);
    QCOMPARE(state.correctCount, DrillState::seriesLength);
    QCOMPARE(state.lastAnswer, 42);
    QCOMPARE(state.mark, 5);
}

QTEST_APPLESS_MAIN(DrillStateTest)
#include "tst_drill_state.moc"
