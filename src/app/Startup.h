#pragma once

#include <optional>

class QWidget;

namespace sesame {

// Exit status when the program cannot open its window.
inline constexpr int NoDisplayExitStatus = 1;

// "--help" and "--version" are answered on standard output without opening a
// window: returns the exit status then, non-zero when the answer could not be
// written. Every other argument is left to Qt (which takes its own, such as
// -platform) and otherwise ignored.
std::optional<int> answerInformationalArguments(int argc, char **argv);

// Without a session bus, libdbus would start one (dbus-launch) for the
// accessibility bridge, and it would outlive the program: the program makes
// do without it instead.
void avoidStartingASessionBus();

// While the application object is made, what Qt says is held back. Where it
// cannot open a window, the program says why in one line, decided from what
// it can check itself (the platform asked for, the plugins installed, the
// display named), and exits with NoDisplayExitStatus; otherwise what Qt said
// is passed on.
void guardPlatformStartup(int argc, char **argv);
void endPlatformStartupGuard();

// A display that goes away with the window on it (xkill, the X server
// ending) ends the program with 0, as a window destroyed does, without a word.
void endWithTheDisplay();

// A window destroyed by another program (a session manager, xdotool
// windowclose) ends the program as closing it does. Qt tells a window only
// that it is no longer shown; the X server says that it is gone.
void quitWhenDestroyed(const QWidget &window);

// SIGTERM, SIGINT and SIGHUP end the program as Exit does, through the event
// loop, even while a message box is open.
void quitOnTerminationSignals();

} // namespace sesame
