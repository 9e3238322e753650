#include "Startup.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace sesame {

namespace {

void sayNoDisplay(const char *why)
{
    std::fprintf(stderr, "sesame-pi: cannot open a window: %s\n", why);
    std::fflush(stderr);
}

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

QtMessageHandler previousHandler = nullptr;

void startupMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        sayNoDisplay(message.contains(QLatin1String("could not connect to display"))
                             || message.contains(QLatin1String("no Qt platform plugin"))
                         ? "the display cannot be reached"
                         : qPrintable(message.section(QLatin1Char('\n'), 0, 0)));
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
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

bool checkDisplay()
{
    if (isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY"))
        return true;
    sayNoDisplay("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
    return false;
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
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe.data()) != 0)
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
