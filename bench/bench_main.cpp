// The benchmark program: medians of interleaved repetitions, and their ratios
// against baselines measured in the same process, so that a busy machine
// slows the numbers together rather than skewing one of them.

#include "board/Board.h"
#include "estimate/ScatterArithmetic.h"
#include "estimate/SeedScatterRun.h"
#include "runtime/NumberText.h"
#include "runtime/RandomSource.h"
#include "sound/MediaControl.h"
#include "sound/SoundCue.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace sesame;

namespace {

constexpr int Repetitions = 41;
constexpr int N = 50000;

struct SilentControl : MediaControl
{
    int commands = 0;
    void setFileName(const QString &) override { }
    void setCommand(const QString &) override { ++commands; }
};

struct Captions : ResultCaptions
{
    QString estimate;
    QString count;
    void setEstimateCaption(const QString &text) override { estimate = text; }
    void setCountCaption(const QString &text) override { count = text; }
};

// Draws each seed as a whole QPainter ellipse through the board's scale, the
// way a straightforward port would.
struct PainterPen
{
    QPainter &painter;
    void DrawSeed(int x, int y, int paletteIndex)
    {
        QPen pen(QColor::fromRgb(QBColor(paletteIndex)));
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawEllipse(QPointF(x, y), Board::SeedRadius,
                            Board::SeedRadius * Board::Aspect * (BoardSurface::PixelWidth / BoardSurface::ScaleWidth)
                                / (BoardSurface::PixelHeight / BoardSurface::ScaleHeight));
    }
};

struct NullPen
{
    void DrawSeed(int, int, int) { }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeMs(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

volatile long long sink = 0;

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    auto store = std::make_unique<SeedStore>();
    Board board;
    SilentControl control;
    SoundCue cue(control);
    RandomSource random;
    Captions captions;
    float clock = 1000.0f;
    SeedScatterRun run(*store, board, cue, random, captions, [&clock] { return clock += 0.37f; });

    const auto wholeRun = [&] { run(N); };
    const auto floorRun = [&] {
        random.Randomize(clock += 0.37f);
        long long inside = 0;
        for (int i = 0; i < N; ++i) {
            const auto x = SeedCoordinate(random.Rnd());
            const auto y = SeedCoordinate(random.Rnd());
            inside += IsInside(x, y);
        }
        sink = inside;
    };
    const auto naiveRun = [&] {
        cue(RunCueFile);
        board.ClearBoard();
        board.DrawBoard();
        random.Randomize(clock += 0.37f);
        long long inside = 0;
        {
            QImage &image = const_cast<QImage &>(board.surface().image());
            QPainter painter(&image);
            painter.scale(BoardSurface::PixelWidth / BoardSurface::ScaleWidth,
                          BoardSurface::PixelHeight / BoardSurface::ScaleHeight);
            PainterPen pen{painter};
            inside = ScatterSeeds(*store, N, random, pen);
        }
        captions.setEstimateCaption(QString::fromStdString(NumberText(PiEstimate(inside, N))));
        captions.setCountCaption(QString::fromStdString(NumberText(inside)));
    };

    // Warm up caches and the painter's code paths once each.
    wholeRun();
    floorRun();
    naiveRun();

    std::vector<double> runMs, floorMs, naiveMs;
    for (int i = 0; i < Repetitions; ++i) {
        runMs.push_back(timeMs(wholeRun));
        floorMs.push_back(timeMs(floorRun));
        naiveMs.push_back(timeMs(naiveRun));
    }

    const double run50000 = median(runMs);
    const double floor = median(floorMs);
    const double naive = median(naiveMs);
    std::printf("repetitions %d, interleaved, medians in ms\n", Repetitions);
    std::printf("  whole 50000-seed run          %8.3f\n", run50000);
    std::printf("  floor: generate and classify  %8.3f\n", floor);
    std::printf("  naive: QPainter per seed      %8.3f\n", naive);
    std::printf("run50000_median_ms %.3f\n", run50000);
    std::printf("naive_over_run %.1f\n", naive / run50000);
    std::printf("run_over_floor %.2f\n", run50000 / floor);
    return 0;
}
