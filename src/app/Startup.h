#pragma once

namespace sesame {

// Exit status when the program cannot open its window.
inline constexpr int NoDisplayExitStatus = 1;

// Whether a window can be opened at all: some display to open it on, or a
// platform named. Says why not on standard error when it cannot.
bool checkDisplay();

// Until the application object exists, Qt's complaints about a display it
// cannot reach become one clear line and a quiet exit, rather than a page of
// plugin diagnostics and an abort.
void guardPlatformStartup();
void endPlatformStartupGuard();

// SIGTERM, SIGINT and SIGHUP end the program as Exit does, through the event
// loop, even while a message box is open.
void quitOnTerminationSignals();

} // namespace sesame
