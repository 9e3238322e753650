#pragma once

namespace sesame {

// Exit status when the program cannot open its window.
inline constexpr int NoDisplayExitStatus = 1;

// "--help" and "--version" are answered on standard output without opening a
// window; returns false when one was. Every other argument is left to Qt
// (which takes its own, such as -platform) and otherwise ignored.
bool answerInformationalArguments(int argc, char **argv);

// Without a session bus, libdbus would start one (dbus-launch) for the
// accessibility bridge, and it would outlive the program: the program makes
// do without it instead.
void avoidStartingASessionBus();

// Until the application object exists, Qt's complaints about a display it
// cannot reach become one clear line and a quiet exit, rather than a page of
// plugin diagnostics and an abort.
void guardPlatformStartup();
void endPlatformStartupGuard();

// SIGTERM, SIGINT and SIGHUP end the program as Exit does, through the event
// loop, even while a message box is open.
void quitOnTerminationSignals();

} // namespace sesame
