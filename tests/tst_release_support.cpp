#include "tst_release_support.h"

#include "estimate/ScatterArithmetic.h"
#include "estimate/SeedScatterRun.h"
#include "runtime/MsgBox.h"
#include "runtime/NumberText.h"
#include "sound/SoundEffectControl.h"
#include "window/FormLayout.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace sesame::testing {

namespace {

constexpr int ProcessMs = 5000;
constexpr int WindowMs = 30000;
constexpr int BoxPollMs = 10;

void stop(QProcess &process)
{
    process.kill();
    process.waitForFinished(ProcessMs);
}

} // namespace

int runSizeOf(int countButton)
{
    const auto at = std::find(CountButtons.begin(), CountButtons.end(), countButton);
    return SeedScatterRun::RunSizes.at(static_cast<std::size_t>(at - CountButtons.begin()));
}

QString captionProblem(Form1 &form, int n)
{
    const SeedStore &store = form.seedStore();
    long long inside = 0;
    for (std::size_t i = 1; i <= static_cast<std::size_t>(n); ++i)
        inside += IsInside(store.seedX[i], store.seedY[i]);
    const QString count = QString::fromStdString(NumberText(inside));
    const QString estimate = QString::fromStdString(NumberText(PiEstimate(inside, n)));
    if (form.label(4)->text() == count && form.label(2)->text() == estimate)
        return {};
    return QStringLiteral("%1 seeds: the store gives %2 inside, pi = %3; the window shows %4 and %5")
        .arg(QString::number(n), count, estimate, form.label(4)->text(), form.label(2)->text());
}

QPoint controlCentre(QStringView name)
{
    const auto &controls = FormLayout::Controls;
    const auto control = std::find_if(controls.begin(), controls.end(), [name](auto &c) { return c.name == name; });
    return FormLayout::toPixels(control->twips).center();
}

long residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // Files in /proc have no size: read them to their end, not up to it.
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(qstrlen("VmRSS:")).simplified().split(' ').value(0).toLong();
    return -1;
}

bool haveTool(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

void startWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void whenExitBoxOpens(std::function<void(QMessageBox &box)> action)
{
    auto *poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action = std::move(action)] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(window);
            if (box && box->isVisible() && box->objectName() == QLatin1String(MsgBoxObjectName)) {
                poll->deleteLater();
                poll->stop();
                action(*box);
                return;
            }
        }
    });
    poll->start(BoxPollMs);
}

QProcessEnvironment isolatedEnvironment(const QString &runtimeDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XAUTHORITY"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    // A server named but absent: no connection, and nothing spawned instead.
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:%1/no-sound-server").arg(runtimeDir));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=%1/no-bus").arg(runtimeDir));
    return env;
}

ProgramWindow::ProgramWindow()
{
    form.mmControl1().setSearchDirs({qEnvironmentVariable("SESAME_PI_ASSETS")});
    form.show();
}

void ProgramWindow::click(int button)
{
    QTest::mouseClick(form.command(button), Qt::LeftButton);
}

int ProgramWindow::exitAnsweringOk()
{
    whenExitBoxOpens([](QMessageBox &box) { box.button(QMessageBox::Ok)->click(); });
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(ExitNeverEnded); });
    guard.start(WindowMs);
    QTimer::singleShot(0, &form, [this] { click(ExitButton); });
    return QCoreApplication::exec();
}

StderrCapture::StderrCapture()
{
    std::fflush(stderr);
    mSaved = ::dup(STDERR_FILENO);
    const int file = ::open(QFile::encodeName(mDir.filePath(QStringLiteral("stderr"))).constData(),
                            O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, STDERR_FILENO);
    ::close(file);
}

StderrCapture::~StderrCapture()
{
    std::fflush(stderr);
    ::dup2(mSaved, STDERR_FILENO);
    ::close(mSaved);
}

QStringList StderrCapture::lines()
{
    std::fflush(stderr);
    QFile file(mDir.filePath(QStringLiteral("stderr")));
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(stderr capture lost)")};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

XSession::~XSession()
{
    stop(program);
    stop(mServer);
}

bool XSession::startDisplay()
{
    if (!haveTool(QStringLiteral("Xvfb")) || !haveTool(QStringLiteral("xdotool")))
        return false;
    startWithParent(mServer);
    mServer.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
    // The number comes once the server takes connections.
    QDeadlineTimer deadline(WindowMs);
    while (!mServer.canReadLine() && mServer.waitForReadyRead(int(deadline.remainingTime())))
        ;
    mDisplay = QLatin1Char(':') + QString::fromLatin1(mServer.readLine().trimmed());
    return mDisplay.size() > 1;
}

bool XSession::startProgram(const QString &path, QProcessEnvironment env, const QString &workingDir)
{
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(workingDir);
    startWithParent(program);
    program.start(path, {});
    mWindow = waitForWindow(FormLayout::Caption);
    return !mWindow.isEmpty();
}

bool XSession::click(QStringView control)
{
    const QPoint at = controlCentre(control);
    return xdotool({"mousemove", "--window", mWindow, QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

bool XSession::waitForExitBox()
{
    mBox = waitForWindow(Form1Events::ExitTitle);
    return !mBox.isEmpty();
}

bool XSession::pressOnExitBox(const QString &key)
{
    return xdotool({"windowfocus", "--sync", mBox, "key", key});
}

bool XSession::xdotool(const QStringList &arguments, QString *output)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    tool.setProcessEnvironment(env);
    startWithParent(tool);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(WindowMs) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        qWarning().noquote() << "xdotool" << arguments.join(QLatin1Char(' ')) << "failed:" << tool.readAll();
        stop(tool);
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    return true;
}

QString XSession::waitForWindow(QStringView title)
{
    // A POSIX extended expression; Qt may add " — <program>" to a title.
    QString pattern = QStringLiteral("^");
    for (const QChar c : title)
        pattern += (QStringLiteral(".[]{}()\\*+?|^$").contains(c) ? QStringLiteral("\\") : QString()) + c;
    QString found;
    if (!xdotool({"search", "--sync", "--onlyvisible", "--name", pattern + QStringLiteral("( |$)")}, &found))
        return {};
    return found.section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace sesame::testing
