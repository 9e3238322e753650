#include "Startup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace sesame {

namespace {

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

// Why no window could be opened, as one line's worth.
QByteArray whyNoWindow(const QString &qtSays)
{
    const QString waylandPlugin
        = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqwayland-generic.so");
    if (isSet("WAYLAND_DISPLAY") && !isSet("DISPLAY") && !QFileInfo::exists(waylandPlugin))
        return "the Qt Wayland platform plugin is not installed (Debian package qt6-wayland)";
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM"))
        return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    if (qtSays.contains(QLatin1String("could not connect to display"))
        || qtSays.contains(QLatin1String("no Qt platform plugin")))
        return "the display cannot be reached";
    return qtSays.section(QLatin1Char('\n'), 0, 0).toLocal8Bit();
}

QtMessageHandler previousHandler = nullptr;

void startupMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "sesame-pi: cannot open a window: %s\n", whyNoWindow(message).constData());
        std::fflush(stderr);
        std::_Exit(NoDisplayExitStatus);
    }
    // The platform plugin's own account of why it failed says the same thing
    // at length; the line above is enough.
    if (context.category && QByteArray(context.category).startsWith("qt.qpa"))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

std::array<int, 2> signalPipe{-1, -1};

void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

bool answerInformationalArguments(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("sesame-pi %s\n", SESAME_PI_VERSION);
            return false;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: sesame-pi [--help] [--version]\n"
                        "Scatter sesame seeds to find an approximate value of pi: a window in which\n"
                        "random seeds fall on a square board with a circle in it, and four times the\n"
                        "share of seeds inside the circle estimates pi.\n"
                        "\n"
                        "  --help     show this help and exit\n"
                        "  --version  show the version and exit\n"
                        "\n"
                        "Qt's own options (such as -platform NAME) are honoured; nothing else is\n"
                        "read. See sesame-pi(1).\n");
            return false;
        }
    }
    return true;
}

void avoidStartingASessionBus()
{
    if (isSet("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QFileInfo(QFile::decodeName(runtimeDir + "/bus")).exists())
        return; // libdbus finds the user's bus there by itself
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

void guardPlatformStartup()
{
    previousHandler = qInstallMessageHandler(startupMessageHandler);
}

void endPlatformStartupGuard()
{
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
}

void quitOnTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe.data()) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[1], &byte, 1);
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

} // namespace sesame
