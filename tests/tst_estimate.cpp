#include "board/Board.h"
#include "estimate/ScatterArithmetic.h"
#include "estimate/SeedScatterRun.h"
#include "runtime/NumberText.h"
#include "runtime/RandomSource.h"
#include "runtime/Timer.h"
#include "sound/MediaControl.h"
#include "sound/SoundCue.h"

#include <QTest>

#include <cmath>
#include <ctime>
#include <deque>
#include <memory>

using namespace sesame;

namespace {

bool insideCircle(int x, int y) // written out again, not taken from the program
{
    return (x - 240) * (x - 240) + (y - 240) * (y - 240) <= 40000;
}

// Replays given fractions, as their 24 bits.
struct ScriptedRandom
{
    std::deque<std::uint32_t> bits;
    std::uint32_t RndBits()
    {
        const std::uint32_t next = bits.front();
        bits.pop_front();
        return next;
    }
};

struct RecordingPen
{
    QList<QList<int>> seeds;
    void DrawSeed(int x, int y, int paletteIndex) { seeds.append({x, y, paletteIndex}); }
};

// A run with its parts. The media control notes the commands, and whether
// the board still showed its old picture when the chime was sounded.
struct Rig : MediaControl
{
    SeedStore store;
    Board board;
    RandomSource random;
    float clock = 1234.5f;
    QStringList commands;
    QImage pictureAtSound;
    SoundCue cue{*this};
    SeedScatterRun run{store, board, cue, random, [this] { return clock; }};

    void setFileName(const QString &name) override { commands << "FileName=" + name; }
    void setCommand(const QString &command) override
    {
        commands << command;
        if (command == QLatin1String("Sound"))
            pictureAtSound = board.surface().image();
    }
};

} // namespace

class TestEstimate : public QObject
{
    Q_OBJECT

private slots:
    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("all inside") << 4.0 << "4";
        QTest::newRow("none inside") << 0.0 << "0";
        QTest::newRow("8 of 10") << 4.0 * 8 / 10 << "3.2";
        QTest::newRow("7853 of 10000") << 4.0 * 7853 / 10000 << "3.1412";
        QTest::newRow("39270 of 50000") << 4.0 * 39270 / 50000 << "3.1416";
        QTest::newRow("39271 of 50000") << 4.0 * 39271 / 50000 << "3.14168";
        QTest::newRow("1 of 50000, no exponent") << 4.0 * 1 / 50000 << "0.00008";
        QTest::newRow("15 significant digits") << 4.0 / 3 << "1.33333333333333";
        QTest::newRow("rounding carries") << 3.9999999999999996 << "4";
    }

    // The same texts whatever the user's locale: captions always use '.'.
    void numberText()
    {
        QFETCH(double, value);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QTEST(NumberText(value), "text");
        QCOMPARE(NumberText(125627LL), QStringLiteral("125627"));
        QLocale::setDefault(QLocale::c());
    }

    // Local midnight, not UTC's: ctest runs this in a zone nine hours east.
    void timer()
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const double expected = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
        if (expected > 86395)
            QSKIP("too close to midnight");
        QVERIFY2(std::abs(Timer() - expected - 0.5) <= 1.5, qPrintable(QString::number(Timer() - expected)));
    }

    // floor(r x 400 + 40) in double precision, for every fraction there is.
    void coordinates()
    {
        for (std::uint32_t bits = 0; bits < (1u << 24); ++bits) {
            const double r = static_cast<float>(bits * 0x1.0p-24);
            if (SeedCoordinate(bits) != static_cast<int>(std::floor(r * 400 + 40)))
                QFAIL(qPrintable(QStringLiteral("wrong at %1 / 2^24").arg(bits)));
        }
        QCOMPARE(SeedCoordinate((1u << 24) - 1), 439);
    }

    // Every point of the 400 x 400 lattice once: 125627 inside, and the
    // estimate 3.140675.
    void lattice()
    {
        int inside = 0;
        for (int x = 40; x <= 439; ++x)
            for (int y = 40; y <= 439; ++y)
                inside += IsInside(std::int16_t(x), std::int16_t(y));
        QCOMPARE(inside, 125627);
        QCOMPARE(PiEstimate(125627, 160000), 3.140675);
    }

    // Seed i at index i, x from the first fraction of its pair, each drawn
    // in its colour, counted when inside.
    void scatter()
    {
        const QList<QPoint> seeds = {{40, 240}, {41, 41}, {439, 40}, {240, 439}, {300, 200}};
        ScriptedRandom random;
        for (const QPoint seed : seeds) // the smallest fraction that gives each coordinate
            for (const int c : {seed.x(), seed.y()})
                random.bits.push_back(static_cast<std::uint32_t>(std::ceil((c - 40) / 400.0 * (1 << 24))));
        SeedStore store;
        RecordingPen pen;
        QCOMPARE(ScatterSeeds(store, 5, random, pen), 3);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(QPoint(store.seedX[size_t(i + 1)], store.seedY[size_t(i + 1)]), seeds[i]);
            QCOMPARE(pen.seeds[i],
                     QList<int>({seeds[i].x(), seeds[i].y(), insideCircle(seeds[i].x(), seeds[i].y()) ? 9 : 12}));
        }
        QCOMPARE(store.seedX[0], 0);
        QCOMPARE(store.seedX[6], 0);
    }

    // The chime first, over the old picture; then a clean board, the seeds
    // over the board, and the count the seeds give. Every run re-seeds from
    // the clock; a smaller run leaves the rest of the store as the larger
    // one left it.
    void run()
    {
        auto rig = std::make_unique<Rig>();
        // Black pixels in the column of the square's left side (43.6 px), between its corners.
        const auto blackOnLeftSide = [](const QImage &image) {
            int black = 0;
            for (int y = 40; y < 380; ++y)
                black += image.pixel(43, y) == 0xff000000 || image.pixel(44, y) == 0xff000000;
            return black;
        };
        rig->board.DrawBoard();
        const int boardOnly = blackOnLeftSide(rig->board.surface().image());
        rig->board.DrawSeed(10, 10, 12); // a ring where no seed can fall
        const QImage before = rig->board.surface().image();
        const RunResult result = rig->run(50000);
        QCOMPARE(rig->commands, QStringList({"Stop", "Close", "FileName=pinpon.wav", "Open", "Sound"}));
        QCOMPARE(rig->pictureAtSound, before);
        const QImage &after = rig->board.surface().image();
        for (int y = 0; y < 20; ++y) // cleared: the ring at (10, 10) is gone
            for (int x = 0; x < 20; ++x)
                QCOMPARE(after.pixel(x, y), 0xffffffffu);
        QCOMPARE_LT(blackOnLeftSide(after), boardOnly); // seeds on x = 40 cover the side
        QCOMPARE_GT(blackOnLeftSide(after), 0); // drawn under them
        long long inside = 0;
        for (std::size_t i = 1; i <= 50000; ++i)
            inside += insideCircle(rig->store.seedX[i], rig->store.seedY[i]);
        QCOMPARE(result.inside, inside);
        QCOMPARE(result.estimate, 4.0 * double(inside) / 50000);

        const auto large = std::make_unique<SeedStore>(rig->store);
        rig->run(100);
        QVERIFY(large->seedX == rig->store.seedX); // the same clock, the same seeds
        rig->clock += 1.0f / 128;
        rig->run(10);
        QVERIFY(!std::equal(large->seedX.begin() + 1, large->seedX.begin() + 11, rig->store.seedX.begin() + 1));
        QVERIFY(std::equal(large->seedX.begin() + 11, large->seedX.end(), rig->store.seedX.begin() + 11));
        QVERIFY(std::equal(large->seedY.begin() + 11, large->seedY.end(), rig->store.seedY.begin() + 11));
    }
};

QTEST_GUILESS_MAIN(TestEstimate)
#include "tst_estimate.moc"
