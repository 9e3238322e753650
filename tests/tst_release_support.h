#pragma once

// What the release, fault and endurance tests share: the window as the
// program makes it, processes run to their end, and the real program on a
// private X server.

#include "app/Form1Events.h"
#include "estimate/ScatterArithmetic.h"
#include "runtime/NumberText.h"
#include "sound/SoundEffectControl.h"
#include "window/Form1.h"
#include "window/FormLayout.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

namespace sesame::testing {

// The buttons by number (Command1 ... Command7).
inline constexpr std::array<int, 5> CountButtons = {1, 2, 3, 4, 7};
inline constexpr int ExitButton = 5;
inline constexpr int InitButton = 6;
inline constexpr int ProcessMs = 120000;

// The window and its handlers as the program makes them, chimes from the
// source tree, shown.
struct ProgramWindow
{
    Form1 form;
    Form1Events events{form};

    ProgramWindow()
    {
        form.mmControl1().setSearchDirs({qEnvironmentVariable("SESAME_PI_ASSETS")});
        form.show();
    }

    void click(int button)
    {
        QTest::mouseClick(form.command(button), Qt::LeftButton);
        QCoreApplication::processEvents(); // paints, as the event loop would
    }

    // Empty when Label2 and Label4 show what the seeds in the store give for
    // the count button's run; otherwise what is wrong.
    QString captionProblem(int countButton)
    {
        const auto index = std::find(CountButtons.begin(), CountButtons.end(), countButton) - CountButtons.begin();
        const int size = SeedScatterRun::RunSizes.at(static_cast<std::size_t>(index));
        long long inside = 0;
        for (std::size_t i = 1; i <= static_cast<std::size_t>(size); ++i)
            inside += IsInside(form.seedStore().seedX.at(i), form.seedStore().seedY.at(i));
        const QString count = QString::fromStdString(NumberText(inside));
        const QString estimate = QString::fromStdString(NumberText(PiEstimate(inside, size)));
        if (form.label(4)->text() == count && form.label(2)->text() == estimate)
            return {};
        return QStringLiteral("%1 seeds: the store gives %2 inside, pi = %3; the window shows %4 and %5")
            .arg(QString::number(size), count, estimate, form.label(4)->text(), form.label(2)->text());
    }

    QString run(int countButton)
    {
        click(countButton);
        return captionProblem(countButton);
    }

    bool captionsCleared() { return form.label(2)->text().isEmpty() && form.label(4)->text().isEmpty(); }

    // Exit clicked and its box answered OK: what the application's event loop
    // returned (-1 if Exit did not end it).
    int exitAnsweringOk()
    {
        // The box is modal: a timer that its own event loop runs answers it.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Ok)->click();
        });
        answer.start(10);
        QTimer::singleShot(0, &form, [this] { click(ExitButton); });
        QTimer::singleShot(ProcessMs, &answer, [] { QCoreApplication::exit(-1); });
        return QCoreApplication::exec();
    }
};

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The child is killed if the test dies.
inline void start(QProcess &process, const QString &program, const QStringList &arguments,
                  const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(program, arguments);
}

// A process run to its end: its exit code (-1 if it crashed or did not end),
// its standard output, and its standard error by line.
struct Outcome
{
    int exitCode = -1;
    QString output;
    QStringList errors;
};

inline Outcome waitForEnd(QProcess &process)
{
    Outcome outcome;
    if (process.waitForFinished(ProcessMs) && process.exitStatus() == QProcess::NormalExit)
        outcome.exitCode = process.exitCode();
    outcome.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    outcome.errors = QString::fromLocal8Bit(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    return outcome;
}

inline Outcome run(const QString &program, const QStringList &arguments,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    start(process, program, arguments, env);
    return waitForEnd(process);
}

// No display, sound server or session bus of the machine: only what a test
// adds reaches the program.
inline QProcessEnvironment isolatedEnvironment(const QString &runtimeDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY"})
        env.remove(name);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    // A server named but absent: no connection, and nothing spawned instead.
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:%1/no-sound-server").arg(runtimeDir));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=%1/no-bus").arg(runtimeDir));
    return env;
}

// The real program on a private Xvfb, which picks a free display itself
// (-displayfd) so that tests in parallel never race for one; xdotool clicks.
class XSession
{
public:
    // The program goes with its display.
    ~XSession()
    {
        mServer.kill();
        mServer.waitForFinished();
    }

    // False when Xvfb or xdotool is missing or the server did not start.
    bool startDisplay()
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
            return false;
        start(mServer, QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
        // The number comes once the server takes connections.
        while (!mServer.canReadLine() && mServer.waitForReadyRead(ProcessMs))
            ;
        mDisplay = u':' + QString::fromLatin1(mServer.readLine().trimmed());
        return mDisplay.size() > 1;
    }

    // Starts the program and waits for its window.
    bool startProgram(const QString &path, QProcessEnvironment env)
    {
        env.insert(QStringLiteral("DISPLAY"), mDisplay);
        start(program, path, {}, env);
        return onWindow(FormLayout::Caption);
    }

    bool click(QStringView control)
    {
        const auto &all = FormLayout::Controls;
        const auto found = std::find_if(all.begin(), all.end(), [&](auto &c) { return c.name == control; });
        const QPoint at = FormLayout::toPixels(found->twips).center();
        return onWindow(
            FormLayout::Caption,
            {"mousemove", "--window", "%1", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    bool xdotool(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), mDisplay);
        return run(QStringLiteral("xdotool"), arguments, env).exitCode == 0;
    }

    // Waits for a visible window whose title starts with the title (Qt may
    // add " — <program>"; the titles hold no regex metacharacters), then
    // runs the rest of the xdotool command on it (%1).
    bool onWindow(QStringView title, const QStringList &command = {})
    {
        return xdotool(QStringList{"search", "--sync", "--onlyvisible", "--name", u'^' + title.toString() + "( |$)"}
                       + command);
    }

    QProcess program;

private:
    QProcess mServer;
    QString mDisplay;
};

} // namespace sesame::testing
