// The benchmark program: what a click costs the user, from the click to the
// board on screen, next to what its seeds cost at the least; what the chime
// costs the window, and how late it is heard next to paplay of the same file.
// Medians of interleaved repetitions in one process, so that a busy machine
// slows a figure and its baseline together. It runs the real window on an X
// server (under xvfb-run unless DISPLAY is set) and hears the real chime
// player on a sound server of its own. Every wait has a bound.

#include "Report.h"
#include "Servers.h"
#include "app/Application.h"
#include "app/Form1Events.h"
#include "estimate/ScatterArithmetic.h"
#include "runtime/RandomSource.h"
#include "sound/PlayerControl.h"
#include "sound/SoundCue.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>

using namespace sesame;

namespace {

constexpr int Repetitions = 31;
constexpr int SoundRepetitions = 7;

qint64 nowNs()
{
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

double msSince(qint64 startNs)
{
    return double(nowNs() - startNs) / 1e6;
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "sesame-pi-bench: %s\n", what);
    std::exit(1);
}

// One request the X server has to answer: once the answer is in, the server
// has taken everything sent before it.
void roundTrip(xcb_connection_t *x)
{
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
}

// A click on the button, its press and release posted as the user's come,
// timed to the board's next paint flushed to the X server and taken by it:
// the paint is flushed before the event loop takes the next event, which is
// when a call queued from the paint runs.
void click(QPushButton *button, xcb_connection_t *x, Report &report, const std::string &name)
{
    QWidget *board = button->window()->findChild<PictureBox *>();
    const QPointF at = QRectF(button->rect()).center();
    QEventLoop loop; // made before the clock starts: the benchmark's, not the click's
    QTimer::singleShot(5000, &loop, [] { fail("a click was not followed by a painted board within 5 s"); });
    // The board's paint, and the area the window painted for the click
    // (what its backing store hands the X server), in its own pixels.
    struct Probe : QObject
    {
        QWidget *board = nullptr;
        QRegion area;
        std::function<void()> painted;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            auto *widget = qobject_cast<QWidget *>(watched);
            if (event->type() != QEvent::Paint || !widget || widget->window() != board->window() || !painted)
                return false;
            area += static_cast<QPaintEvent *>(event)->region().translated(widget->mapTo(widget->window(), QPoint()));
            if (widget == board)
                QMetaObject::invokeMethod(this, std::exchange(painted, nullptr), Qt::QueuedConnection);
            return false;
        }
    } probe;
    probe.board = board;
    const qint64 start = nowNs();
    probe.painted = [&] {
        report.add("flushed" + name, msSince(start));
        roundTrip(x);
        report.add("click" + name, msSince(start));
        loop.quit();
    };
    QCoreApplication::instance()->installEventFilter(&probe);
    for (const auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(button,
                                    new QMouseEvent(type, at, button->mapToGlobal(at), Qt::LeftButton,
                                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                    Qt::NoModifier));
    loop.exec();
    qint64 pixels = 0;
    for (const QRect &rect : probe.area)
        pixels += qint64{rect.width()} * rect.height();
    report.add("painted" + name, double(pixels));
}

// The least a run of 50,000 seeds can cost: the same random numbers and
// classification, and six pixel stores a seed into a buffer the size of the
// board's image, with nothing else.
volatile long long gKept = 0;
double floorMs(std::vector<quint32> &pixels, int width, int height, float seed)
{
    const qint64 start = nowNs();
    RandomSource random;
    random.Randomize(seed);
    const qsizetype around[6] = {-width, -1, 1, width, width - 1, width + 1};
    long long inside = 0;
    for (int i = 0; i < 50000; ++i) {
        const std::int16_t x = SeedCoordinate(random.RndBits());
        const std::int16_t y = SeedCoordinate(random.RndBits());
        const bool in = IsInside(x, y);
        quint32 *at = pixels.data() + qsizetype(y * height / 480) * width + x * width / 480;
        for (const qsizetype offset : around)
            at[offset] = in ? 0xff8080ffu : 0xffff8080u;
        inside += in;
    }
    const double ms = msSince(start);
    gKept = inside + pixels[std::size_t(inside)];
    return ms;
}

// How long after start() the sound server first hears something, once it
// has been silent for 1.5 s.
double heardAfter(SoundServer &sound, const std::function<void()> &start)
{
    const QDeadlineTimer bound(10000);
    while (sound.hears(1500))
        if (bound.hasExpired())
            fail("the sound server did not fall silent within 10 s");
    const qint64 begin = nowNs();
    qint64 heard = 0;
    start();
    if (!sound.hears(5000, &heard))
        fail("nothing was heard on the sound server within 5 s");
    return double(heard - begin) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) { // an X server of its own
        ::execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1280x800x24 -nolisten tcp", argv[0], nullptr);
        fail("needs an X server: DISPLAY, or xvfb-run (Debian package xvfb)");
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    Application app(argc, argv);
    SoundServer sound; // started with the event loop that reads its monitor
    if (!sound.start())
        fail("cannot start pulseaudio");
    qputenv("PULSE_SERVER", sound.address().toLocal8Bit());
    auto *x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !QFileInfo::exists(PlayerControl::defaultSearchDirs().constFirst() + u'/' + RunCueFile))
        fail("needs an X server, and the chime pinpon.wav beside it: build the whole project");
    const std::string chime = (PlayerControl::defaultSearchDirs().constFirst() + u'/' + RunCueFile).toStdString();

    Form1 form;
    Form1Events events(form);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 5000))
        fail("the window was not shown within 5 s");
    QTest::qWait(500); // the first paint, and the chime player up
    const QImage &board = form.picture1()->board().picture();
    std::vector<quint32> pixels(std::size_t(board.width()) * std::size_t(board.height()));
    SoundCue cue(form.mmControl1());
    Report report;
    for (int i = 0; i < Repetitions; ++i) {
        qint64 start = nowNs();
        roundTrip(x11->connection());
        report.add("roundTrip", msSince(start));
        click(form.command(1), x11->connection(), report, "10"); // erasing the 50,000 of the last round
        QTest::qWait(120); // each chime starts before the next step
        click(form.command(1), x11->connection(), report, "10again"); // erasing only 10
        QTest::qWait(120);
        click(form.command(7), x11->connection(), report, "50000");
        QTest::qWait(120);
        start = nowNs();
        cue(RunCueFile);
        report.add("cue", msSince(start));
        QTest::qWait(120);
        report.add("floor", floorMs(pixels, board.width(), board.height(), 1000.0f + float(i)));
    }
    for (int i = -1; i < SoundRepetitions; ++i) { // the first round warms up
        const double ours = heardAfter(sound, [&] { QTest::mouseClick(form.command(7), Qt::LeftButton); });
        QProcess paplay;
        const double theirs = heardAfter(sound, [&] { paplay.start("paplay", {QString::fromStdString(chime)}); });
        paplay.kill(); // heard: the rest of it would only hold up the next round
        paplay.waitForFinished(5000);
        if (i >= 0) {
            report.add("chime", ours);
            report.add("paplay", theirs);
        }
    }
    report.print(Repetitions, SoundRepetitions);
    return 0;
}
