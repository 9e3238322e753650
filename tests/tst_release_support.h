#pragma once

// What the release, fault and endurance tests share: the window as the
// program makes it, the results a run must show, and the real program driven
// on a private X server.

#include "app/Form1Events.h"
#include "window/Form1.h"

#include <QProcess>
#include <QTemporaryDir>

#include <array>
#include <functional>

class QMessageBox;

namespace sesame::testing {

// The buttons by number (Command1 ... Command7).
inline constexpr std::array<int, 5> CountButtons = {1, 2, 3, 4, 7};
inline constexpr int ExitButton = 5;
inline constexpr int InitButton = 6;
inline constexpr int ExitNeverEnded = -2;

// How many seeds a count button scatters.
int runSizeOf(int countButton);
// Empty when Label2 and Label4 show what the first n seeds in the window's
// store give; otherwise what is wrong.
QString captionProblem(Form1 &form, int n);
// The centre of a control, in window pixels, from the layout.
QPoint controlCentre(QStringView name);
// VmRSS of this process in kilobytes; -1 if unknown.
long residentKilobytes();
bool haveTool(const QString &name);
// The child is killed if the test dies.
void startWithParent(QProcess &process);
// Calls action with the exit box once it is open, from a timer that the
// box's own event loop runs.
void whenExitBoxOpens(std::function<void(QMessageBox &box)> action);
// No display, sound server or session bus of the machine: only what a test
// adds reaches the program.
QProcessEnvironment isolatedEnvironment(const QString &runtimeDir);

// The window and its handlers as the program makes them, chimes from the
// source tree, shown.
struct ProgramWindow
{
    Form1 form;
    Form1Events events{form};

    ProgramWindow();
    void click(int button);
    // Exit clicked and its box answered OK, within the application's event
    // loop; what the loop returned (ExitNeverEnded if Exit did not end it).
    int exitAnsweringOk();
};

// Standard error (descriptor 2) goes to a file while this object lives.
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    QStringList lines();

private:
    QTemporaryDir mDir;
    int mSaved = -1;
};

// The real program on a private Xvfb, which picks a free display itself
// (-displayfd) so that tests in parallel never race for one; xdotool clicks.
class XSession
{
public:
    ~XSession();
    // False when Xvfb or xdotool is missing or the server did not start.
    bool startDisplay();
    // Starts the program and waits for its window.
    bool startProgram(const QString &path, QProcessEnvironment env, const QString &workingDir = {});
    bool click(QStringView control);
    bool waitForExitBox();
    bool pressOnExitBox(const QString &key);

    QProcess program;

private:
    bool xdotool(const QStringList &arguments, QString *output = nullptr);
    QString waitForWindow(QStringView title);

    QProcess mServer;
    QString mDisplay;
    QString mWindow;
    QString mBox;
};

} // namespace sesame::testing
