#include "drill/random_source.h"

#include "scripted_seeds.h"

#include <QTest>

#include <cstdint>
#include <limits>
#include <stdexcept>

using drill::RandomSource;

class RandomSourceTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void drawsAfterReseed_data();
    void drawsAfterReseed();
    void drawStaysBelowBound_data();
    void drawStaysBelowBound();
    void nonPositiveBoundIsRefused_data();
    void nonPositiveBoundIsRefused();
    void emptySeedSourceRestoresClock();
};

void RandomSourceTest::cleanup() {
    // Each test that needs the clock replaced does it through ScriptedSeeds, which puts the
    // clock back; this only guards against a test that failed half-way through.
    QVERIFY(!RandomSource::instance().seedSource());
}

void RandomSourceTest::drawsAfterReseed_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("belowHundredOne");
    QTest::addColumn<int>("belowEleven");

    QTest::newRow("seed 0") << quint32(0) << 0 << 0;
    QTest::newRow("seed 1") << quint32(1) << 3 << 9;
    QTest::newRow("seed 12345") << quint32(12345) << 38 << 3;
    QTest::newRow("largest seed") << quint32(4294967295u) << 97 << 2;
}

void RandomSourceTest::drawsAfterReseed() {
    QFETCH(quint32, seed);
    QFETCH(int, belowHundredOne);
    QFETCH(int, belowEleven);

    const ScriptedSeeds seeds({seed});
    RandomSource& random = RandomSource::instance();
    random.setSeed(seed ^ 0x5A5A5A5Au); // reseed() must replace whatever was there
    random.reseed();
    QCOMPARE(seeds.calls(), std::size_t(1));
    QCOMPARE(random.seed(), seed);
    QCOMPARE(random.nextBelow(101), belowHundredOne);
    QCOMPARE(random.nextBelow(11), belowEleven);
}

void RandomSourceTest::drawStaysBelowBound_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("bound");
    QTest::addColumn<int>("expected");

    // 1298181734 * 134775813 + 1 is 2^32 - 1 modulo 2^32, the largest state a draw can see;
    // 649090867 steps to 0, the smallest.
    QTest::newRow("bound 1") << quint32(1298181734) << 1 << 0;
    QTest::newRow("largest state, bound 101") << quint32(1298181734) << 101 << 100;
    QTest::newRow("largest state, largest bound")
        << quint32(1298181734) << std::numeric_limits<std::int32_t>::max() << 2147483646;
    QTest::newRow("smallest state, largest bound")
        << quint32(649090867u) << std::numeric_limits<std::int32_t>::max() << 0;
}

void RandomSourceTest::drawStaysBelowBound() {
    QFETCH(quint32, seed);
    QFETCH(int, bound);
    QFETCH(int, expected);

    RandomSource& random = RandomSource::instance();
    random.setSeed(seed);
    QCOMPARE(random.nextBelow(bound), expected);
}

void RandomSourceTest::nonPositiveBoundIsRefused_data() {
    QTest::addColumn<int>("bound");

    QTest::newRow("zero") << 0;
    QTest::newRow("minus one") << -1;
    QTest::newRow("smallest") << std::numeric_limits<std::int32_t>::min();
}

void RandomSourceTest::nonPositiveBoundIsRefused() {
    QFETCH(int, bound);

    RandomSource& random = RandomSource::instance();
    random.setSeed(12345);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, random.nextBelow(bound));
    QCOMPARE(random.seed(), quint32(12345));
}

void RandomSourceTest::emptySeedSourceRestoresClock() {
    RandomSource& random = RandomSource::instance();
    const ScriptedSeeds seeds({7});
    random.reseed();
    QCOMPARE(seeds.calls(), std::size_t(1));
    QCOMPARE(random.seed(), quint32(7));

    random.setSeedSource({});
    QVERIFY(!random.seedSource());
    random.reseed();
    QCOMPARE(seeds.calls(), std::size_t(1));
}

QTEST_APPLESS_MAIN(RandomSourceTest)
#include "tst_random_source.moc"
