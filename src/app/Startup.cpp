#include "Startup.h"

#include <QAbstractNativeEventFilter>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QSocketNotifier>
#include <QWidget>

#include <xcb/xcb.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <tuple>
#include <unistd.h>

namespace sesame {

namespace {

bool isSet(const char *name)
{
    return !qEnvironmentVariableIsEmpty(name);
}

bool onX11()
{
    return QGuiApplication::platformName() == u"xcb";
}

// The platforms asked for, in the order Qt tries them: the -platform
// argument, else QT_QPA_PLATFORM; empty when Qt is left to choose.
QStringList askedPlatforms(int argc, char **argv)
{
    QString asked = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            asked = QString::fromLocal8Bit(argv[i + 1]);
    QStringList names;
    for (const QString &entry : asked.split(u';', Qt::SkipEmptyParts))
        names << entry.section(u':', 0, 0);
    return names;
}

// What the platform plugins that Qt can find say they provide.
QStringList installedPlatforms()
{
    QStringList keys;
    for (const QString &dir : QCoreApplication::libraryPaths())
        for (const QFileInfo &file : QDir(dir + QStringLiteral("/platforms")).entryInfoList(QDir::Files))
            for (const QJsonValue key : QPluginLoader(file.filePath()).metaData()[u"MetaData"][u"Keys"].toArray())
                keys << key.toString();
    return keys;
}

// Whether anything answers where DISPLAY puts the X server: if so, and Qt
// could still not open a window there, the server refused the connection.
bool displayAnswers(const QByteArray &name)
{
    char *host = nullptr;
    int display = 0;
    if (xcb_parse_display(name.constData(), &host, &display, nullptr) == 0)
        return false;
    const std::string where(host);
    std::free(host);
    const auto answers = [](int family, const sockaddr *address, socklen_t length) {
        const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool connected = fd >= 0 && ::connect(fd, address, length) == 0;
        if (fd >= 0)
            ::close(fd);
        return connected;
    };
    if (where.empty() || where == "unix") { // the local socket, abstract or in the file system
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(display);
        for (const std::size_t abstract : {1, 0}) {
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            path.copy(address.sun_path + abstract, sizeof address.sun_path - abstract - 1);
            const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + abstract + path.size());
            if (answers(AF_UNIX, reinterpret_cast<const sockaddr *>(&address), length))
                return true;
        }
        return false;
    }
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(where.c_str(), std::to_string(6000 + display).c_str(), &hints, &found) != 0)
        return false;
    bool answered = false;
    for (const addrinfo *address = found; address && !answered; address = address->ai_next)
        answered = answers(address->ai_family, address->ai_addr, address->ai_addrlen);
    ::freeaddrinfo(found);
    return answered;
}

QStringList askedForTheWindow;

QString whyNoWindow()
{
    QStringList asked = askedForTheWindow;
    if (asked.isEmpty()) { // Qt's choice: the session's own
        if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY"))
            return QStringLiteral("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
        asked << (isSet("DISPLAY") ? QStringLiteral("xcb") : QStringLiteral("wayland"));
    }
    for (const QString &name : asked)
        if (!installedPlatforms().contains(name))
            return QStringLiteral("the Qt platform plugin \"%1\" is not installed").arg(name);
    const bool wayland = asked.first().startsWith(u"wayland");
    if (!wayland && asked.first() != u"xcb")
        return QStringLiteral("the Qt platform plugin \"%1\" could not start").arg(asked.first());
    const char *variable = wayland ? "WAYLAND_DISPLAY" : "DISPLAY";
    if (!isSet(variable))
        return QStringLiteral("no display (%1 is not set)").arg(QLatin1String(variable));
    const bool refused = !wayland && displayAnswers(qgetenv(variable));
    return QStringLiteral("the display %1=\"%2\" %3")
        .arg(QLatin1String(variable), qEnvironmentVariable(variable),
             refused ? QStringLiteral("refused the connection") : QStringLiteral("cannot be reached"));
}

QList<std::tuple<QtMsgType, QByteArray, QString>> heldMessages; // type, category, text
QtMessageHandler previousHandler = nullptr;
// While Qt starts, standard error goes to heldOutput; the real one is kept
// as realError.
int heldOutput = -1;
int realError = STDERR_FILENO;

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        heldMessages.append({type, context.category, message});
        return;
    }
    const QByteArray line = "sesame-pi: cannot open a window: " + whyNoWindow().toLocal8Bit() + '\n';
    [[maybe_unused]] const auto written = ::write(realError, line.constData(), std::size_t(line.size()));
    std::_Exit(NoDisplayExitStatus);
}

xcb_connection_t *display = nullptr; // the X server's, while the window is on one
QtMessageHandler beforeDisplayWatch = nullptr;

// The output of --help and --version; false when it could not be written.
bool say(const char *text)
{
    if (std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0)
        return true;
    std::fprintf(stderr, "sesame-pi: cannot write to standard output: %s\n", std::strerror(errno));
    return false;
}

struct DestroyWatch : QAbstractNativeEventFilter
{
    WId window = 0;

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        const auto *event = static_cast<const xcb_destroy_notify_event_t *>(message);
        if (type == "xcb_generic_event_t" && (event->response_type & ~0x80) == XCB_DESTROY_NOTIFY
            && event->window == window)
            QCoreApplication::exit(0);
        return false;
    }
};

std::array<int, 2> signalPipe{-1, -1};

void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

std::optional<int> answerInformationalArguments(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0)
            return say("sesame-pi " SESAME_PI_VERSION "\n") ? 0 : 1;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return say("Usage: sesame-pi [--help] [--version]\n"
                       "Scatter sesame seeds on a board with a circle in it, and estimate pi from how\n"
                       "many fall inside. Qt's own options (such as -platform NAME) are honoured;\n"
                       "nothing else is read. See sesame-pi(1).\n")
                ? 0
                : 1;
    }
    return std::nullopt;
}

void avoidStartingASessionBus()
{
    if (isSet("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QStringLiteral("/bus")))
        return; // libdbus finds the user's bus there by itself
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

void guardPlatformStartup(int argc, char **argv)
{
    askedForTheWindow = askedPlatforms(argc, argv);
    previousHandler = qInstallMessageHandler(holdMessage);
    // What the libraries under Qt write straight to standard error while it
    // starts (libxcb, libwayland) is held as well.
    heldOutput = ::memfd_create("sesame-pi-startup", MFD_CLOEXEC);
    const int saved = heldOutput < 0 ? -1 : ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved >= 0 && ::dup2(heldOutput, STDERR_FILENO) >= 0)
        realError = saved;
}

void endPlatformStartupGuard()
{
    if (realError != STDERR_FILENO) {
        ::dup2(std::exchange(realError, STDERR_FILENO), STDERR_FILENO);
        QFile held;
        if (held.open(heldOutput, QIODevice::ReadOnly) && held.seek(0)) {
            const QByteArray said = held.readAll();
            [[maybe_unused]] const auto written = ::write(STDERR_FILENO, said.constData(), std::size_t(said.size()));
        }
    }
    if (heldOutput >= 0)
        ::close(std::exchange(heldOutput, -1));
    qInstallMessageHandler(previousHandler);
    for (const auto &[type, category, text] : std::exchange(heldMessages, {}))
        previousHandler(type, QMessageLogContext(nullptr, 0, nullptr, category.constData()), text);
}

void endWithTheDisplay()
{
    if (!onX11())
        return;
    display = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    // Whatever ends the program then, and however Qt takes the loss; a
    // program that ends by itself has let go of the display before.
    QObject::connect(qGuiApp, &QCoreApplication::aboutToQuit, [] { display = nullptr; });
    std::atexit([] {
        if (display && xcb_connection_has_error(display))
            std::_Exit(0);
    });
    beforeDisplayWatch
        = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
              if (!display || !xcb_connection_has_error(display))
                  beforeDisplayWatch(type, context, text);
          });
}

void quitWhenDestroyed(const QWidget &window)
{
    // Only an X server tells of a window destroyed by another program.
    if (!onX11())
        return;
    static DestroyWatch watch;
    watch.window = window.winId();
    QCoreApplication::instance()->installNativeEventFilter(&watch);
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
