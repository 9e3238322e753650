#include "board/Board.h"
#include "estimate/ScatterArithmetic.h"
#include "estimate/SeedScatterRun.h"
#include "runtime/RandomSource.h"
#include "sound/MediaControl.h"
#include "sound/SoundCue.h"

#include <QTest>

#include <cmath>
#include <deque>
#include <memory>
#include <numeric>

using namespace sesame;

namespace {

// Everything the run touches on the way, in order.
struct Journal : MediaControl, ResultCaptions
{
    QStringList entries;
    void setFileName(const QString &fileName) override { entries << "FileName=" + fileName; }
    void setCommand(const QString &command) override { entries << command; }
    void setEstimateCaption(const QString &text) override { entries << "Label2=" + text; }
    void setCountCaption(const QString &text) override { entries << "Label4=" + text; }
    QString caption(const QString &label) const
    {
        for (auto it = entries.crbegin(); it != entries.crend(); ++it)
            if (it->startsWith(label + '='))
                return it->mid(label.size() + 1);
        return {};
    }
};

// A random source that replays given fractions, in 2^-24ths.
struct ScriptedRandom
{
    std::deque<std::uint32_t> fractions;
    std::uint32_t RndBits()
    {
        const std::uint32_t bits = fractions.front();
        fractions.pop_front();
        return bits;
    }
};

struct RecordingPen
{
    QList<std::tuple<int, int, int>> seeds;
    void DrawSeed(int x, int y, int paletteIndex) { seeds.append({x, y, paletteIndex}); }
};

struct NullPen
{
    void DrawSeed(int, int, int) { }
};

// The smallest fraction, in 2^-24ths, whose seed coordinate is c.
std::uint32_t bitsFor(int c)
{
    return static_cast<std::uint32_t>((std::uint64_t(c - SeedLow) << 24) / SeedSpan + 1);
}

// A whole run with its parts.
struct Rig
{
    SeedStore store;
    Board board;
    Journal journal;
    SoundCue cue{journal};
    RandomSource random;
    float clock = 1234.5f;
    SeedScatterRun run{store, board, cue, random, journal, [this] { return clock; }};
};

} // namespace

class TestSeedScatterRun : public QObject
{
    Q_OBJECT

private slots:
    void seedCoordinate_data();
    void seedCoordinate();
    void wholeNumberCoordinates();
    void classifier_data();
    void classifier();
    void scriptedSeeds_data();
    void scriptedSeeds();

    void runOrder();
    void runReseedsFromTheClock();
    void storeKeepsEarlierLargerRun();
    void runRefusesBadSizes_data();
    void runRefusesBadSizes();

    void estimateStatistics();
    void coordinatesAreUniform();
};

void TestSeedScatterRun::seedCoordinate_data()
{
    QTest::addColumn<float>("fraction");
    QTest::addColumn<int>("coordinate");
    QTest::newRow("zero") << 0.0f << 40;
    QTest::newRow("half") << 0.5f << 240;
    QTest::newRow("largest fraction never gives 440") << 1.0f - 0x1.0p-24f << 439;
    QTest::newRow("just below a step") << 0.0025f - 0x1.0p-24f << 40;
    QTest::newRow("one step") << 0.0025f + 0x1.0p-24f << 41;
}

void TestSeedScatterRun::seedCoordinate()
{
    QFETCH(float, fraction);
    QFETCH(int, coordinate);
    QCOMPARE(int(SeedCoordinate(fraction)), coordinate);
}

void TestSeedScatterRun::wholeNumberCoordinates()
{
    // The whole-number form agrees with the fraction's for every fraction.
    for (std::uint32_t bits = 0; bits < (1u << 24); ++bits)
        if (SeedCoordinateFromBits(bits) != SeedCoordinate(float(bits) * 0x1.0p-24f))
            QFAIL(qPrintable(QStringLiteral("they differ at %1 / 2^24").arg(bits)));
}

void TestSeedScatterRun::classifier_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("inside");
    QTest::newRow("centre") << 240 << 240 << true;
    QTest::newRow("left side, on the outline") << 40 << 240 << true;
    QTest::newRow("top side, on the outline") << 240 << 40 << true;
    QTest::newRow("corner") << 40 << 40 << false;
    QTest::newRow("near corner") << 41 << 41 << false;
    QTest::newRow("right edge") << 439 << 240 << true;
    QTest::newRow("just outside the outline") << 240 + 120 << 240 + 161 << false; // 14400 + 25921
    QTest::newRow("just inside the outline") << 240 + 120 << 240 + 160 << true; // exactly 40000
}

void TestSeedScatterRun::classifier()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, inside);
    QCOMPARE(IsInside(std::int16_t(x), std::int16_t(y)), inside);

    // The whole lattice a run can produce: the share inside is the number
    // its estimates centre on.
    int lattice = 0;
    for (int px = 40; px <= 439; ++px)
        for (int py = 40; py <= 439; ++py)
            lattice += IsInside(std::int16_t(px), std::int16_t(py));
    QCOMPARE(lattice, 125627);
}

void TestSeedScatterRun::scriptedSeeds_data()
{
    QTest::addColumn<QList<QPoint>>("seeds");
    QTest::addColumn<int>("inside");
    QTest::newRow("all at the centre") << QList<QPoint>(10, QPoint(240, 240)) << 10;
    QTest::newRow("all in corners") << QList<QPoint>{{40, 40}, {439, 439}, {40, 439}, {439, 40}} << 0;
    QTest::newRow("boundaries") << QList<QPoint>{{40, 240}, {240, 40}, {41, 41}} << 2;
}

void TestSeedScatterRun::scriptedSeeds()
{
    QFETCH(QList<QPoint>, seeds);
    QFETCH(int, inside);
    ScriptedRandom random;
    for (const QPoint &seed : seeds)
        random.fractions.insert(random.fractions.end(), {bitsFor(seed.x()), bitsFor(seed.y())});
    SeedStore store;
    RecordingPen pen;
    const int n = int(seeds.size());
    QCOMPARE(ScatterSeeds(store, n, random, pen), inside);
    QVERIFY(random.fractions.empty());
    QCOMPARE(pen.seeds.size(), seeds.size());
    for (int i = 0; i < n; ++i) {
        const QPoint seed = seeds[i];
        QCOMPARE(store.seedX[size_t(i + 1)], seed.x());
        QCOMPARE(store.seedY[size_t(i + 1)], seed.y());
        const int colour = IsInside(std::int16_t(seed.x()), std::int16_t(seed.y())) ? LightBlue : LightRed;
        QCOMPARE(pen.seeds[i], std::make_tuple(seed.x(), seed.y(), colour));
    }
    QCOMPARE(store.seedX[0], 0);
    QCOMPARE(store.seedX[size_t(n + 1)], 0);
    QCOMPARE(QString::number(PiEstimate(inside, n)), QString::number(4.0 * inside / n));
}

void TestSeedScatterRun::runOrder()
{
    Rig rig;
    rig.run(10);
    const QStringList &e = rig.journal.entries;
    QCOMPARE(e.size(), 7);
    QCOMPARE(e.mid(0, 5), QStringList({"Stop", "Close", "FileName=pinpon.wav", "Open", "Sound"}));
    QVERIFY(e[5].startsWith("Label2="));
    QVERIFY(e[6].startsWith("Label4="));
}

void TestSeedScatterRun::runReseedsFromTheClock()
{
    Rig rig;
    rig.run(100);
    const SeedStore first = rig.store;
    const QString firstCount = rig.journal.caption("Label4");
    rig.run(100);
    QVERIFY(first.seedX == rig.store.seedX && first.seedY == rig.store.seedY);
    QCOMPARE(rig.journal.caption("Label4"), firstCount);

    // X takes the first fraction of each pair.
    RandomSource expected;
    expected.Randomize(rig.clock);
    const auto x1 = SeedCoordinate(expected.Rnd());
    const auto y1 = SeedCoordinate(expected.Rnd());
    QCOMPARE(rig.store.seedX[1], x1);
    QCOMPARE(rig.store.seedY[1], y1);

    rig.clock += 1.0f / 128;
    rig.run(100);
    QVERIFY(first.seedX != rig.store.seedX);
}

void TestSeedScatterRun::storeKeepsEarlierLargerRun()
{
    auto rig = std::make_unique<Rig>();
    rig->run(50000);
    const auto after50000 = rig->store;
    rig->clock = 999.0f;
    rig->run(10);
    QVERIFY(std::equal(after50000.seedX.begin() + 11, after50000.seedX.end(), rig->store.seedX.begin() + 11));
    QVERIFY(std::equal(after50000.seedY.begin() + 11, after50000.seedY.end(), rig->store.seedY.begin() + 11));
    QVERIFY(!std::equal(after50000.seedX.begin() + 1, after50000.seedX.begin() + 11, rig->store.seedX.begin() + 1));
    QCOMPARE(rig->store.seedX[0], 0);
}

void TestSeedScatterRun::runRefusesBadSizes_data()
{
    QTest::addColumn<int>("n");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -10;
    QTest::newRow("beyond the store") << 50001;
}

void TestSeedScatterRun::runRefusesBadSizes()
{
    QFETCH(int, n);
    auto rig = std::make_unique<Rig>();
    const QImage before = rig->board.surface().image();
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, rig->run(n));
    QVERIFY(rig->journal.entries.isEmpty());
    QCOMPARE(rig->board.surface().image(), before);
    QCOMPARE(std::accumulate(rig->store.seedX.begin(), rig->store.seedX.end(), 0), 0);
}

void TestSeedScatterRun::estimateStatistics()
{
    // 200 runs of 50000 seeds: the lattice's share of inside points is
    // 125627 / 160000, so the estimates centre on 3.140675 with a spread of
    // sqrt(p (1 - p) / 50000) x 4 = 0.00735.
    constexpr int Runs = 200;
    constexpr int N = 50000;
    auto store = std::make_unique<SeedStore>();
    NullPen pen;
    RandomSource random;
    double sum = 0;
    double sumSquares = 0;
    for (int run = 0; run < Runs; ++run) {
        random.Randomize(30000.0f + run * 0.37f);
        const double estimate = PiEstimate(ScatterSeeds(*store, N, random, pen), N);
        sum += estimate;
        sumSquares += estimate * estimate;
    }
    const double mean = sum / Runs;
    const double sd = std::sqrt((sumSquares - Runs * mean * mean) / (Runs - 1));
    const double expectedSd = 4 * std::sqrt(125627.0 / 160000 * (1 - 125627.0 / 160000) / N);
    QVERIFY2(std::abs(mean - 3.140675) < 4 * expectedSd / std::sqrt(Runs), qPrintable(QString::number(mean, 'g', 10)));
    QVERIFY2(std::abs(sd / expectedSd - 1) < 0.15, qPrintable(QString::number(sd, 'g', 6)));
}

void TestSeedScatterRun::coordinatesAreUniform()
{
    constexpr int Draws = 400000;
    std::array<int, 441> counts{};
    RandomSource random;
    random.Randomize(4321.0f);
    for (int i = 0; i < Draws; ++i)
        ++counts[size_t(SeedCoordinate(random.Rnd()))];
    QCOMPARE(std::accumulate(counts.begin(), counts.begin() + 40, 0), 0);
    QCOMPARE(counts[440], 0);
    const double expected = Draws / 400.0;
    double chiSquare = 0;
    for (int c = 40; c <= 439; ++c)
        chiSquare += std::pow(counts[size_t(c)] - expected, 2) / expected;
    // 399 degrees of freedom: above 486 happens one time in a thousand.
    QVERIFY2(chiSquare < 486, qPrintable(QString::number(chiSquare)));
    QVERIFY2(chiSquare > 320, qPrintable(QString::number(chiSquare))); // too even is not random either
}

QTEST_GUILESS_MAIN(TestSeedScatterRun)
#include "tst_seedscatterrun.moc"
