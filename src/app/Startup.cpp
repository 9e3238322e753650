#include "Startup.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace sesame {

namespace {

bool isSet(const char *name)
{
    return !qEnvironmentVariableIsEmpty(name);
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
            return QStringLiteral("the Qt platform plugin \"%1\" is not installed%2")
                .arg(name, name.startsWith(u"wayland") ? QStringLiteral(" (Debian package qt6-wayland)") : QString());
    const bool wayland = asked.first().startsWith(u"wayland");
    if (!wayland && asked.first() != u"xcb")
        return QStringLiteral("the Qt platform plugin \"%1\" could not start").arg(asked.first());
    const char *variable = wayland ? "WAYLAND_DISPLAY" : "DISPLAY";
    if (!isSet(variable))
        return QStringLiteral("no display (%1 is not set)").arg(QLatin1String(variable));
    return QStringLiteral("the display %1=\"%2\" cannot be reached")
        .arg(QLatin1String(variable), qEnvironmentVariable(variable));
}

QList<std::tuple<QtMsgType, QByteArray, QString>> heldMessages; // type, category, text
QtMessageHandler previousHandler = nullptr;

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        heldMessages.append({type, context.category, message});
        return;
    }
    std::fprintf(stderr, "sesame-pi: cannot open a window: %s\n", qPrintable(whyNoWindow()));
    std::fflush(stderr);
    std::_Exit(NoDisplayExitStatus);
}

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
}

void endPlatformStartupGuard()
{
    qInstallMessageHandler(previousHandler);
    for (const auto &[type, category, text] : std::exchange(heldMessages, {}))
        previousHandler(type, QMessageLogContext(nullptr, 0, nullptr, category.constData()), text);
}

void quitWhenDestroyed(const QWidget &window)
{
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
