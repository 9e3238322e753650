// The benchmark program: what a click costs the user, from the click to the
// board on screen, next to what its seeds cost at the least; what the chime
// costs the window, and how late it is heard next to paplay of the same file.
// Medians of interleaved repetitions in one process, so that a busy machine
// slows a figure and its baseline together.
//
// It starts what it measures against: an X server (Xvfb, unless DISPLAY is
// set) and a sound server of its own (pulseaudio with a null sink), whose
// monitor it records to hear the chimes.

#include "app/Application.h"
#include "app/Form1Events.h"
#include "estimate/ScatterArithmetic.h"
#include "runtime/RandomSource.h"
#include "sound/PlayerControl.h"
#include "sound/SoundCue.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace sesame;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Repetitions = 31;
constexpr int SoundRepetitions = 7;
constexpr int Loud = 330; // |sample| from which the chime is heard
constexpr int MonitorRate = 44100;
constexpr long long Ms = 1000000; // steady-clock nanoseconds

// Children, kept where the watchdog's signal handler can reach them.
pid_t gChildren[16];
std::string gTmp;

long long now()
{
    return Clock::now().time_since_epoch().count();
}

// Async-signal-safe, for the watchdog too.
void endChildren()
{
    for (pid_t &pid : gChildren)
        if (pid > 0 && ::kill(pid, SIGKILL) == 0)
            ::waitpid(std::exchange(pid, 0), nullptr, 0);
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "sesame-pi-bench: %s\n", what);
    endChildren();
    QDir(QString::fromStdString(gTmp)).removeRecursively();
    std::_Exit(1);
}

// A step that never returns (a window that never paints, a hung player) ends
// the benchmark within the alarm's bound rather than hanging it.
void watchdog(int)
{
    const char message[] = "sesame-pi-bench: a step took too long\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, message, sizeof message - 1);
    endChildren();
    ::_exit(2);
}

// Starts a program with extra environment entries and standard output on
// outFd (or /dev/null); it dies with the benchmark.
pid_t spawn(const std::vector<std::string> &args, const std::vector<std::string> &extraEnv = {}, int outFd = -1)
{
    std::vector<std::string> env = extraEnv; // the first of a name wins
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    std::vector<char *> argv, envp;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t *slot = std::find(gChildren, gChildren + 16, 0);
    const pid_t pid = slot == gChildren + 16 ? -1 : ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(outFd >= 0 ? outFd : null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid < 0)
        fail("cannot start a child process");
    return *slot = pid;
}

// Runs the event loop until done() holds, looking every pollMs, for at most
// ms; a QEventLoop lets the measured path quit it at once.
QEventLoop *gWaiting = nullptr;
bool runUntil(const std::function<bool()> &done, int ms, int pollMs = 2)
{
    const long long end = now() + ms * Ms;
    while (!done()) {
        if (now() >= end)
            return false;
        QEventLoop loop;
        gWaiting = &loop;
        QTimer::singleShot(pollMs, &loop, &QEventLoop::quit);
        loop.exec();
        gWaiting = nullptr;
    }
    return true;
}

void settle(int ms)
{
    runUntil([] { return false; }, ms);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One request the X server has to answer: once the answer is in, the server
// has handled everything sent before it.
void roundTrip(xcb_connection_t *x)
{
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
}

// Stops the clock once the board's paint after a click is on the X server.
// The paint happens inside the window's update, which flushes the backing
// store before it returns to the event loop; a call queued from the paint
// runs after that flush. A round trip to the server there (a request that
// has to be answered) means the server has taken the pixels, so the figure is
// what the user waits for, not what was handed to the socket.
struct PaintProbe : QObject
{
    xcb_connection_t *x = nullptr;
    bool armed = false;
    long long flushed = 0; // handed to the X server
    long long done = 0; // taken by it

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (armed && event->type() == QEvent::Paint) {
            armed = false;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    flushed = now();
                    roundTrip(x);
                    done = now();
                    if (gWaiting)
                        gWaiting->quit();
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

// Mouse press and release on the button, posted: they reach it through the
// event loop, as the user's do.
void click(QPushButton *button)
{
    const QPointF at = QRectF(button->rect()).center();
    const QPointF global = button->mapToGlobal(at);
    QCoreApplication::postEvent(
        button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        button, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

// The click's time to the board on the X server; flushedMs gets its time to
// the board handed to the server.
double clickMs(QPushButton *button, PaintProbe &probe, std::vector<double> &flushedMs)
{
    probe.armed = true;
    probe.done = 0;
    QEventLoop loop; // made before the clock starts: the bench's, not the click's
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    bound.start(5000);
    gWaiting = &loop;
    const long long start = now();
    click(button);
    loop.exec();
    gWaiting = nullptr;
    if (probe.done == 0)
        fail("a click was not followed by a painted board within 5 s");
    flushedMs.push_back(double(probe.flushed - start) / Ms);
    return double(probe.done - start) / Ms;
}

double roundTripMs(xcb_connection_t *x)
{
    const long long start = now();
    roundTrip(x);
    return double(now() - start) / Ms;
}

// The least a run of 50,000 seeds can cost: the same random numbers and
// classification, and six pixel stores a seed into a buffer the size of the
// board's image, with nothing else.
volatile long long gKept = 0;
double floorMs(std::vector<quint32> &pixels, int width, int height, RandomSource &random, float seed)
{
    const long long start = now();
    random.Randomize(seed);
    RandomSource local = random; // in registers, as the run keeps it
    const qsizetype around[6] = {-width, -1, 1, width, width - 1, width + 1};
    long long inside = 0;
    for (int i = 0; i < 50000; ++i) {
        const std::int16_t x = SeedCoordinate(local.RndBits());
        const std::int16_t y = SeedCoordinate(local.RndBits());
        const bool in = IsInside(x, y);
        quint32 *at = pixels.data() + qsizetype(y * height / 480) * width + x * width / 480;
        for (const qsizetype offset : around)
            at[offset] = in ? 0xff8080ffu : 0xffff8080u;
        inside += in;
    }
    random = local;
    const long long end = now();
    gKept = inside + pixels[std::size_t(inside)];
    return double(end - start) / Ms;
}

// The sound server's monitor, read as it arrives on a thread of its own:
// each chunk is stamped when it comes, and a sound's onset is the stamp less
// the samples that follow its first loud one in the chunk.
struct Monitor
{
    std::atomic<long long> lastChunk{0}, lastLoud{0}, armedAt{0}, onset{0};

    void read(int fd) // parec writes whole samples
    {
        std::int16_t samples[4096];
        for (ssize_t n; (n = ::read(fd, samples, sizeof samples)) > 0 || (n < 0 && errno == EINTR);) {
            const long long at = now();
            const auto count = std::max<ssize_t>(n, 0) / 2;
            const auto loud = std::find_if(samples, samples + count, [](int v) { return std::abs(v) >= Loud; });
            if (loud != samples + count) {
                if (armedAt != 0 && at > armedAt && onset == 0)
                    onset = at - (samples + count - loud - 1) * 1000000000LL / MonitorRate;
                lastLoud = at;
            }
            lastChunk = at;
        }
    }

    // How long after start() the monitor first hears something, once the
    // previous sound has died away.
    double delayMs(const std::function<void()> &start)
    {
        if (!runUntil([this] { return now() - lastLoud > 1500 * Ms && now() - lastChunk < 200 * Ms; }, 10000))
            fail("the sound server's monitor did not fall silent within 10 s");
        onset = 0;
        const long long begin = now();
        armedAt = begin;
        start();
        if (!runUntil([this] { return onset != 0; }, 5000))
            fail("nothing was heard on the sound server within 5 s");
        armedAt = 0;
        return double(onset - begin) / Ms;
    }
};

void startServers()
{
    char tmpl[] = "/tmp/sesame-pi-bench-XXXXXX";
    if (!::mkdtemp(tmpl))
        fail("cannot make a temporary directory");
    gTmp = tmpl;
    if (!std::getenv("DISPLAY")) {
        int fds[2];
        if (::pipe(fds) != 0)
            fail("cannot make a pipe");
        spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        ::close(fds[1]);
        pollfd ready{fds[0], POLLIN, 0};
        char number[16] = {};
        if (::poll(&ready, 1, 10000) != 1 || ::read(fds[0], number, sizeof number - 1) <= 0)
            fail("Xvfb did not start within 10 s");
        ::close(fds[0]);
        ::setenv("DISPLAY", (":" + std::to_string(std::atoi(number))).c_str(), 1);
    }
    const std::string script = gTmp + "/sesame.pa";
    if (FILE *f = std::fopen(script.c_str(), "w")) {
        std::fprintf(f,
                     "load-module module-null-sink sink_name=sesame_null\nset-default-sink sesame_null\n"
                     "load-module module-native-protocol-unix auth-anonymous=1 socket=%s/native\n",
                     gTmp.c_str());
        std::fclose(f);
    }
    spawn({"pulseaudio", "-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "--disallow-exit",
           "--use-pid-file=no", "--log-target=stderr", "-F", script},
          {"HOME=" + gTmp, "XDG_RUNTIME_DIR=" + gTmp, "XDG_CONFIG_HOME=" + gTmp + "/config",
           "PULSE_RUNTIME_PATH=" + gTmp + "/runtime", "PULSE_STATE_PATH=" + gTmp + "/state"});
    const std::string socket = gTmp + "/native";
    for (const long long end = now() + 10000 * Ms; ::access(socket.c_str(), F_OK) != 0; ::usleep(20000))
        if (now() > end)
            fail("pulseaudio did not start within 10 s");
    ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    // Without a session bus to find, nothing starts one that would outlive us.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + gTmp + "/no-bus").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", gTmp.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGALRM, watchdog);
    ::alarm(60);
    startServers();
    Application app(argc, argv);
    auto *x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        fail("not on an X server");
    QString chime;
    for (const QString &dir : PlayerControl::defaultSearchDirs())
        if (chime.isEmpty() && QFileInfo::exists(dir + QLatin1Char('/') + RunCueFile))
            chime = dir + QLatin1Char('/') + RunCueFile;
    if (chime.isEmpty())
        fail("the chime pinpon.wav is not beside the benchmark; build the whole project");

    Form1 form;
    Form1Events events(form);
    form.show();
    if (!runUntil([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 5000))
        fail("the window was not shown within 5 s");
    settle(500); // the first paint, and the chime player up and connected
    PaintProbe probe;
    probe.x = x11->connection();
    form.picture1()->installEventFilter(&probe);
    const QImage &board = form.picture1()->board().surface().image();
    std::vector<quint32> pixels(std::size_t(board.width()) * std::size_t(board.height()));
    RandomSource random;
    SoundCue cue(form.mmControl1());

    std::vector<double> click10, click50000, flushed10, flushed50000, least, cueMs, idleTrip;
    for (int i = 0; i < Repetitions; ++i) {
        ::alarm(30);
        idleTrip.push_back(roundTripMs(probe.x));
        click10.push_back(clickMs(form.command(1), probe, flushed10));
        settle(120); // each chime starts before the next step
        click50000.push_back(clickMs(form.command(7), probe, flushed50000));
        settle(120);
        const long long start = now();
        cue(RunCueFile);
        cueMs.push_back(double(now() - start) / Ms);
        settle(120);
        least.push_back(floorMs(pixels, board.width(), board.height(), random, 1000.0f + float(i)));
    }

    // The monitor stream is only recorded now, so that its wake-ups every
    // few milliseconds do not disturb the clicks above.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        fail("cannot make a pipe");
    const std::string source = "--device=sesame_null.monitor";
    spawn({"parec", source, "--format=s16le", "--rate=44100", "--channels=1", "--latency-msec=2"}, {}, fds[1]);
    ::close(fds[1]);
    Monitor monitor;
    std::thread reader([&] { monitor.read(fds[0]); });
    ::alarm(30);
    if (!runUntil([&] { return monitor.lastChunk != 0; }, 10000))
        fail("the sound server's monitor gave nothing within 10 s");

    std::vector<double> chimeMs, paplayMs;
    const std::string wav = chime.toStdString();
    for (int i = -1; i < SoundRepetitions; ++i) { // the first round warms up
        ::alarm(30);
        const double chimeDelay = monitor.delayMs([&] { click(form.command(7)); });
        pid_t paplay = 0;
        const double paplayDelay = monitor.delayMs([&] { paplay = spawn({"paplay", wav}); });
        ::kill(paplay, SIGKILL); // heard: the rest of it would only hold up the next round
        ::waitpid(paplay, nullptr, 0);
        *std::find(gChildren, gChildren + 16, paplay) = 0;
        if (i >= 0) {
            chimeMs.push_back(chimeDelay);
            paplayMs.push_back(paplayDelay);
        }
    }
    endChildren(); // parec's end ends the reader
    reader.join();
    QDir(QString::fromStdString(gTmp)).removeRecursively();
    ::alarm(0);

    const double c10 = median(click10), c50000 = median(click50000), floor = median(least);
    const double cueUi = median(cueMs), chimeDelay = median(chimeMs), paplayDelay = median(paplayMs);
    std::printf("repetitions: %d of clicks, cue and floor interleaved; %d of chime and paplay interleaved\n"
                "  click \"10\" to board flushed to X          %8.3f ms\n"
                "  click \"50,000\" to board flushed to X      %8.3f ms\n"
                "  click \"10\" to board on the X server       %8.3f ms\n"
                "  click \"50,000\" to board on the X server   %8.3f ms\n"
                "  floor: 50,000 seeds, numbers and pixels   %8.3f ms\n"
                "  X server round trip, idle                 %8.3f ms\n"
                "  run chime cue on the UI thread            %8.3f ms\n"
                "  click \"50,000\" to the chime heard         %8.3f ms\n"
                "  paplay started to the chime heard         %8.3f ms\n",
                Repetitions, SoundRepetitions, median(flushed10), median(flushed50000), c10, c50000, floor,
                median(idleTrip), cueUi, chimeDelay, paplayDelay);
    std::printf("click10_ms %.3f\nclick50000_ms %.3f\nclick50000_over_floor %.3f\ncue_ui_ms %.3f\n"
                "chime_delay_over_paplay %.3f\n",
                c10, c50000, c50000 / floor, cueUi, chimeDelay / paplayDelay);
    return 0;
}
