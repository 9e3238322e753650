// The benchmark program: medians of interleaved repetitions, and their ratios
// against baselines measured in the same process, so that a busy machine
// slows the numbers together rather than skewing one of them.

#include "app/Application.h"
#include "app/Form1Events.h"
#include "board/Board.h"
#include "estimate/ScatterArithmetic.h"
#include "estimate/SeedScatterRun.h"
#include "runtime/NumberText.h"
#include "runtime/RandomSource.h"
#include "sound/MediaControl.h"
#include "sound/SoundCue.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QPushButton>

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

constexpr int StartRepetitions = 31;
constexpr const char *ChildArgument = "--first-paint";

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Reports when the board has first been painted on screen, then quits.
class FirstPaintProbe : public QObject
{
public:
    explicit FirstPaintProbe(Form1 &form)
        : mForm(form)
    {
        form.picture1()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !mDone && hasBoard()) {
            mDone = true;
            // After this paint has gone through, not before it.
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::printf("painted %ld\n", residentKb());
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool hasBoard() const
    {
        const QImage &image = mForm.picture1()->board().surface().image();
        return image.pixel(image.width() / 2, qRound(34.9 * image.devicePixelRatio())) != 0xffffffff
            || image.pixel(image.width() / 2, qRound(35.9 * image.devicePixelRatio())) != 0xffffffff
            || image.pixel(image.width() / 2, qRound(33.9 * image.devicePixelRatio())) != 0xffffffff;
    }

    Form1 &mForm;
    bool mDone = false;
};

// The program as it starts, up to its first painted board.
int firstPaintChild(int argc, char **argv)
{
    Application app(argc, argv);
    Form1 form;
    Form1Events events(form);
    FirstPaintProbe probe(form);
    form.show();
    return Application::exec();
}

struct StartFigures
{
    double medianMs = 0;
    long residentKb = 0;
};

StartFigures measureStart(const QString &self)
{
    std::vector<double> startMs;
    std::vector<double> rss;
    for (int i = 0; i < StartRepetitions; ++i) {
        QProcess child;
        QElapsedTimer clock;
        clock.start();
        child.start(self, {QString::fromLatin1(ChildArgument)});
        child.waitForReadyRead(10000);
        const double ms = clock.nsecsElapsed() / 1e6;
        const QByteArray line = child.readLine().trimmed();
        child.waitForFinished(10000);
        if (!line.startsWith("painted ")) {
            std::fprintf(stderr, "first-paint child said: %s\n", line.constData());
            continue;
        }
        startMs.push_back(ms);
        rss.push_back(line.mid(8).toDouble());
    }
    if (startMs.empty())
        return {};
    return {median(startMs), static_cast<long>(median(rss))};
}

double measureClickToPaint(Form1 &form)
{
    QPushButton *fiftyThousand = form.command(7);
    std::vector<double> ms;
    for (int i = 0; i < Repetitions; ++i) {
        QElapsedTimer clock;
        clock.start();
        fiftyThousand->click();
        form.repaint();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    return median(ms);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && qstrcmp(argv[1], ChildArgument) == 0)
        return firstPaintChild(argc, argv);
    Application app(argc, argv);

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
            const auto x = SeedCoordinateFromBits(random.RndBits());
            const auto y = SeedCoordinateFromBits(random.RndBits());
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

    const StartFigures start = measureStart(QCoreApplication::applicationFilePath());
    Form1 form;
    Form1Events events(form);
    form.show();
    QCoreApplication::processEvents();
    const double clickMs = measureClickToPaint(form);

    const double run50000 = median(runMs);
    const double floor = median(floorMs);
    const double naive = median(naiveMs);
    std::printf("repetitions %d, interleaved, medians in ms\n", Repetitions);
    std::printf("  whole 50000-seed run          %8.3f\n", run50000);
    std::printf("  floor: generate and classify  %8.3f\n", floor);
    std::printf("  naive: QPainter per seed      %8.3f\n", naive);
    std::printf("  start to first painted board  %8.1f   (%d starts, offscreen)\n", start.medianMs, StartRepetitions);
    std::printf("  click 50,000 to painted       %8.2f\n", clickMs);
    std::printf("  resident memory after start   %8.1f MB\n", start.residentKb / 1024.0);
    std::printf("start_to_first_paint_median_ms %.1f\n", start.medianMs);
    std::printf("click50000_to_paint_median_ms %.2f\n", clickMs);
    std::printf("resident_after_start_mb %.1f\n", start.residentKb / 1024.0);
    std::printf("run50000_median_ms %.3f\n", run50000);
    std::printf("naive_over_run %.1f\n", naive / run50000);
    std::printf("run_over_floor %.2f\n", run50000 / floor);
    return 0;
}
