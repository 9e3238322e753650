#include "board/Board.h"
#include "estimate/ScatterArithmetic.h"
#include "estimate/SeedScatterRun.h"
#include "runtime/NumberText.h"
#include "runtime/RandomSource.h"
#include "runtime/Timer.h"
#include "sound/SoundCue.h"

#include <QPainter>
#include <QTest>

#include <cmath>
#include <memory>

using namespace sesame;

namespace {

constexpr QRgb Ink = 0xff000000, White = 0xffffffff, Blue = 0xff0000ff, Red = 0xffff0000;

// Replays given fractions, as their 24 bits.
struct Script
{
    QList<std::uint32_t> bits;
    std::uint32_t RndBits() { return bits.takeFirst(); }
};

// Draws nothing, notes the seeds.
struct Pen
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
        pictureAtSound = board.picture();
    }
};

// The bounding box, in device pixels, of the pixels of one colour.
QRect boxOf(const QImage &image, QRgb colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            box |= image.pixel(x, y) == colour ? QRect(x, y, 1, 1) : QRect();
    return box;
}

} // namespace

// The run, its numbers and its board.
class TestEstimate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); } // texts use '.' anyway
    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("none inside") << 0.0 << "0";
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
        QTEST(NumberText(value), "text");
    }

    // floor(r x 400 + 40) in double precision, for every fraction there is.
    void coordinates()
    {
        for (std::uint32_t bits = 0; bits < (1u << 24); ++bits) {
            const double r = static_cast<float>(bits * 0x1.0p-24);
            if (SeedCoordinate(bits) != static_cast<int>(std::floor(r * 400 + 40)))
                QFAIL(qPrintable(QStringLiteral("wrong at %1 / 2^24").arg(bits)));
        }
    }

    // Seed i at index i, x from the first fraction of its pair, each drawn
    // in its colour, counted when inside; on the circle is inside.
    void scatter()
    {
        const QList<QList<int>> seeds = {{40, 240, 9}, {41, 41, 12}, {439, 40, 12}, {240, 40, 9}, {400, 360, 9}};
        Script script; // the smallest fraction that gives each coordinate
        for (const QList<int> &seed : seeds)
            script.bits << std::uint32_t(std::ceil((seed[0] - 40) / 400.0 * (1 << 24)))
                        << std::uint32_t(std::ceil((seed[1] - 40) / 400.0 * (1 << 24)));
        SeedStore store;
        Pen pen;
        QCOMPARE(ScatterSeeds(store, 5, script, pen), 3);
        QCOMPARE(pen.seeds, seeds);
        QCOMPARE(QList<int>({store.seedX[0], store.seedY[0], store.seedX[6], store.seedY[6]}), QList<int>(4, 0));
        for (std::size_t i = 1; i <= 5; ++i) // seed i at index i
            QCOMPARE(QList<int>({store.seedX[i], store.seedY[i]}), seeds[qsizetype(i) - 1].mid(0, 2));
    }

    // The chime first, over the old picture; then a clean board, the seeds
    // over the board. Every run re-seeds from the clock; a smaller run leaves
    // the rest of the store as the larger one left it.
    void run()
    {
        auto rig = std::make_unique<Rig>();
        // Black pixels in the column of the square's left side (43.6 px), between its corners.
        const auto blackOnLeftSide = [](const QImage &image) {
            int black = 0;
            for (int y = 40; y < 380; ++y)
                black += image.pixel(43, y) == Ink || image.pixel(44, y) == Ink;
            return black;
        };
        rig->board.DrawBoard();
        const int boardOnly = blackOnLeftSide(rig->board.picture());
        rig->board.DrawSeed(10, 10, 12); // a ring where no seed can fall
        const QImage before = rig->board.picture();
        const RunResult result = rig->run(50000);
        QCOMPARE(rig->commands, QStringList({"Stop", "Close", "FileName=pinpon.wav", "Open", "Sound"}));
        QCOMPARE(rig->pictureAtSound, before);
        const QImage &after = rig->board.picture();
        QCOMPARE(after.copy(0, 0, 20, 20), before.copy(20, 0, 20, 20)); // the ring at (10, 10) cleared: all white
        QVERIFY(blackOnLeftSide(after) > 0 && blackOnLeftSide(after) < boardOnly); // seeds on x = 40 cover the side
        QCOMPARE(result.estimate, 4.0 * double(result.inside) / 50000); // the count is checked on the window
        // From xoshiro256** filled by SplitMix64 from the clock's bits (1234.5), worked out apart.
        QCOMPARE(QList<int>({rig->store.seedX[1], rig->store.seedY[1]}), QList<int>({383, 236}));
        // The lattice has 125,627 of its 160,000 points inside: 39,258 of 50,000, give or take 5 sigma.
        QCOMPARE_LT(std::abs(result.inside - 39258), 460);
        const auto large = std::make_unique<SeedStore>(rig->store);
        rig->run(100);
        QVERIFY(large->seedX == rig->store.seedX); // the same clock, the same seeds
        rig->clock += 1.0f / 128;
        rig->run(10);
        QVERIFY(!std::equal(large->seedX.begin() + 1, large->seedX.begin() + 11, rig->store.seedX.begin() + 1));
        QVERIFY(std::equal(large->seedX.begin() + 11, large->seedX.end(), rig->store.seedX.begin() + 11));
        QVERIFY(std::equal(large->seedY.begin() + 11, large->seedY.end(), rig->store.seedY.begin() + 11));
    }

    // A run takes 1 to 50,000 seeds, stored at 1 to 50,000; the palette
    // has sixteen entries.
    void limits()
    {
        auto rig = std::make_unique<Rig>();
        QCOMPARE_LE(rig->run(1).inside + rig->run(50000).inside, 50001);
        for (const int n : {0, 50001})
            QVERIFY_THROWS_EXCEPTION(std::invalid_argument, rig->run(n));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, QBColor(-1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, QBColor(16));
        QCOMPARE_LT(std::abs(Timer() - float(QTime::currentTime().msecsSinceStartOfDay()) / 1000), 0.1f); // seconds
    }

    void ratios_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("1.25x") << 1.25;
        QTest::newRow("2x") << 2.0;
    }

    // The square's corners at (43.6, 34.9) and (479.4, 384.1) px; the
    // circle an outline about (261.5, 209.5) with semi-axes 217.9 x 174.3,
    // looked at 45 degrees round, on it, inside it and outside it.
    void figure_data() { ratios_data(); }
    void figure()
    {
        QFETCH(qreal, ratio);
        Board board(ratio);
        board.DrawBoard();
        const QImage &image = board.picture();
        const QRectF square = QRectF(boxOf(image, Ink)).adjusted(0, 0, -1, -1);
        const QRectF expected(QPointF(43.6, 34.9) * ratio, QPointF(479.4, 384.1) * ratio);
        QVERIFY((square.topLeft() - expected.topLeft()).manhattanLength() <= 2 * ratio
                && (square.bottomRight() - expected.bottomRight()).manhattanLength() <= 2 * ratio);
        const auto at = [&](double scale, double dx) { // 45 degrees round the circle
            return image.pixel(QPointF(261.5 + scale * 154.08 + dx, 209.5 + scale * 123.25).toPoint() * ratio);
        };
        QVERIFY(at(1, -1 / ratio) == Ink || at(1, 0) == Ink || at(1, 1 / ratio) == Ink);
        QCOMPARE(QList<QRgb>({at(0, 0), at(0.95, 0), at(1.05, 0)}), QList<QRgb>({White, White, White})); // an outline
    }

    // Each seed is, to the pixel, the ring QPainter draws with the board's
    // pen: an outline of 1.09 x 0.87 px semi-axes at (x x 523 / 480,
    // y x 419 / 480) px, placed to the nearest eighth of a device pixel.
    // Sixty-four seeds cover every eighth across and down. Later rings cover
    // earlier ones.
    void seedRing_data() { ratios_data(); }
    void seedRing()
    {
        QFETCH(qreal, ratio);
        Board board(ratio);
        const auto eighths
            = [&](double units, double pixels) { return std::round(units * pixels / 480 * ratio * 8) / 8 / ratio; };
        for (int i = 0; i < 64; ++i) {
            const int x = 40 + i * 5 % 400, y = 40 + i * 7 % 400;
            board.ClearBoard();
            board.DrawSeed(x, y, 9);
            QImage painted(board.picture().size(), QImage::Format_RGB32);
            painted.fill(White);
            painted.setDevicePixelRatio(ratio);
            QPainter painter(&painted);
            painter.setPen(QColor(Blue));
            painter.drawEllipse(QPointF(eighths(x, 523), eighths(y, 419)), 523.0 / 480, 523.0 / 480 * 0.8);
            painter.end();
            QVERIFY2(board.picture() == painted, qPrintable(QStringLiteral("seed %1,%2").arg(x).arg(y)));
        }
        board.DrawSeed(240, 240, 12);
        board.DrawSeed(240, 240, 9);
        QCOMPARE(boxOf(board.picture(), Red), QRect());
    }

    // What the board says each drawing changed holds every pixel it
    // changed and, for a few seeds, little more than the rings of 7 x 7
    // pixels at most: a clean board drawn again changes only where seeds
    // were, not the figure.
    void changedArea_data() { ratios_data(); }
    void changedArea()
    {
        QFETCH(qreal, ratio);
        Board board(ratio);
        QRegion said;
        board.setChangeHandler([&](const QRegion &area) { said += area; });
        const auto seeds = [&](int n, int step) {
            board.ClearBoard();
            board.DrawBoard();
            Board::SeedPen pen = board.seedPen();
            for (int i = 0; i < n; ++i)
                pen.DrawSeed(40 + i * step % 400, 40 + i * 37 % 400, 9 + i % 2 * 3);
        };
        for (const auto &[draw, most] : QList<std::pair<std::function<void()>, int>>{
                 {[&] { board.DrawBoard(); }, 523 * 419},
                 {[&] { seeds(10, 41); }, 10 * 49},
                 {[&] { seeds(10, 43); }, 20 * 49},
                 {[&] { board.DrawBoard(); }, 10 * 49},
                 {[&] { seeds(0, 1); }, 10 * 49},
                 {[&] { seeds(100, 41); }, 523 * 419},
                 {[&] { board.ClearBoard(), board.DrawSeed(240, 240, 9); }, 523 * 419}}) {
            const QImage before = board.picture();
            said = {};
            draw();
            qsizetype area = 0;
            for (const QRect &rect : said)
                area += qsizetype{rect.width()} * rect.height();
            for (int i = 0; i < before.width() * before.height(); ++i) {
                const QPoint at(i % before.width(), i / before.width());
                QVERIFY(before.pixel(at) == board.picture().pixel(at)
                        || said.contains(QPoint(int(at.x() / ratio), int(at.y() / ratio))));
            }
            QCOMPARE_LE(area, most);
        }
        Board fresh(ratio); // and a clean board drawn again is the figure, whatever came before
        fresh.DrawBoard();
        seeds(0, 1);
        QCOMPARE(board.picture(), fresh.picture());
    }
};

QTEST_GUILESS_MAIN(TestEstimate)
#include "tst_estimate.moc"
