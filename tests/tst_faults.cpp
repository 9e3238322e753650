// The program under bad input and faults: chimes that cannot be played,
// clicks piling up behind busy runs, no display, and the end of the program
// while the exit box is open.

#include "sound/SoundCue.h"
#include "sound/SoundEffectControl.h"
#include "tst_release_support.h"

#include <QAudioDevice>
#include <QLabel>
#include <QMediaDevices>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <csignal>
#include <random>

using namespace sesame;
using namespace sesame::testing;

namespace {

constexpr int QueuedClicks = 200;
constexpr int QueuedClicksMs = 300000;
constexpr int ProgramEndMs = 20000;
constexpr int NoSignal = 0;
// In a WAV file, from its "fmt " chunk id: the format tag, the channel count.
constexpr qsizetype FormatTagOffset = 8;
constexpr qsizetype ChannelsOffset = 10;
constexpr char FloatFormatTag = 3;

QByteArray readAsset(const QString &name)
{
    QFile file(QDir(qEnvironmentVariable("SESAME_PI_ASSETS")).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The chime with the fault, made from the real one; null: no file at all.
QByteArray faultyChime(const QString &fault, const QString &chime)
{
    QByteArray wav = readAsset(chime);
    const qsizetype fmt = wav.indexOf("fmt ");
    if (fault == "missing")
        return {};
    if (fault == "empty")
        return QByteArray("");
    if (fault == "no channels")
        wav[fmt + ChannelsOffset] = 0;
    if (fault == "float samples")
        wav[fmt + FormatTagOffset] = FloatFormatTag;
    if (fault == "half written")
        wav.truncate(wav.size() / 2);
    if (fault == "picture")
        wav = readAsset(QStringLiteral("sesame-pi-32.png"));
    return wav;
}

} // namespace

class tst_faults : public QObject
{
    Q_OBJECT

private slots:
    void unplayableChimes_data();
    void unplayableChimes();
    void queuedClicksAreHandledInOrder();
    void noDisplay_data();
    void noDisplay();
    void endedWhileExitBoxIsOpen_data();
    void endedWhileExitBoxIsOpen();
};

void tst_faults::unplayableChimes_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("cause");

    QTest::newRow("missing") << "missing"
                             << "file not found";
    QTest::newRow("zero bytes") << "empty"
                                << "empty file";
    QTest::newRow("corrupt header") << "no channels"
                                    << "malformed fmt chunk";
    QTest::newRow("half written") << "half written"
                                  << "truncated data";
    QTest::newRow("float samples") << "float samples"
                                   << "unsupported encoding";
    QTest::newRow("PNG renamed .wav") << "picture"
                                      << "not a RIFF/WAVE file";
    QTest::newRow("no sound server") << "none"
                                     << "no audio output device";
}

// Every button still does its work, and each chime's fault is told once on
// standard error, however often the chime is asked for.
void tst_faults::unplayableChimes()
{
    QFETCH(QString, fault);
    QFETCH(QString, cause);

    if (fault == "none" && !QMediaDevices::defaultAudioOutput().isNull())
        QSKIP("a sound server is reachable here");
    QTemporaryDir dir;
    QStringList expected;
    for (const QString &chime : {RunCueFile, ExitCueFile}) {
        const QByteArray bytes = faultyChime(fault, chime);
        QFile file(dir.filePath(chime));
        if (!bytes.isNull())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        expected << QStringLiteral("sesame-pi: warning: cannot play \"%1\": %2")
                        .arg(bytes.isNull() ? chime : file.fileName(), cause);
    }

    ProgramWindow program;
    program.form.mmControl1().setSearchDirs({dir.path()});
    StderrCapture capture;
    for (int round = 0; round < 2; ++round) {
        for (const int button : CountButtons) {
            program.click(button);
            const QString problem = captionProblem(program.form, runSizeOf(button));
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
        program.click(InitButton);
        QVERIFY(program.form.label(2)->text().isEmpty() && program.form.label(4)->text().isEmpty());
    }
    QCOMPARE(program.exitAnsweringOk(), 0);
    QVERIFY(!program.form.isVisible());
    QCOMPARE(capture.lines(), expected);
}

// Clicks that come while runs are busy wait their turn: each is handled, in
// order, and the window ends with the last run's results. (Not Exit: its
// box would take the rest of the queue.)
void tst_faults::queuedClicksAreHandledInOrder()
{
    ProgramWindow program;
    QVERIFY(QTest::qWaitForWindowExposed(&program.form));
    // Each other button twice as likely as 50,000, which bounds the time.
    const std::array<int, 11> choices = {1, 1, 2, 2, 3, 3, 4, 4, 6, 6, 7};
    std::mt19937 pick(QueuedClicks);
    QList<int> posted, handled;
    for (int i = 0; i < QueuedClicks; ++i)
        posted << choices.at(pick() % choices.size());
    posted.last() = CountButtons.front();

    for (const int button : {1, 2, 3, 4, 6, 7})
        connect(program.form.command(button), &QPushButton::clicked, this, [&handled, button] { handled << button; });
    for (const int button : posted) {
        QPushButton *target = program.form.command(button);
        const QPointF at = QRectF(target->rect()).center();
        for (const auto &[type, buttons] :
             {std::pair(QEvent::MouseButtonPress, Qt::LeftButton), std::pair(QEvent::MouseButtonRelease, Qt::NoButton)})
            QCoreApplication::postEvent(
                target, new QMouseEvent(type, at, target->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier));
    }
    QTRY_COMPARE_WITH_TIMEOUT(handled.size(), QueuedClicks, QueuedClicksMs);
    QCOMPARE(handled, posted);
    const QString problem = captionProblem(program.form, runSizeOf(posted.last()));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_faults::noDisplay_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("line");

    const QString unreachable = QStringLiteral("sesame-pi: cannot open a window: the display cannot be reached");
    QTest::newRow("none named") << QStringList()
                                << "sesame-pi: cannot open a window: no display (neither DISPLAY nor "
                                   "WAYLAND_DISPLAY is set)";
    QTest::newRow("X display without server") << QStringList{"DISPLAY=:987"} << unreachable;
    QTest::newRow("xcb named, no server") << QStringList{"QT_QPA_PLATFORM=xcb", "DISPLAY=:987"} << unreachable;
    QTest::newRow("Wayland display without server") << QStringList{"WAYLAND_DISPLAY=wayland-987"} << unreachable;
    QTest::newRow("unknown platform") << QStringList{"QT_QPA_PLATFORM=no-such-platform"} << unreachable;
}

// One clear line and exit status 1, at once: no abort, no core, no page of
// plugin diagnostics.
void tst_faults::noDisplay()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, line);

    if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X987")))
        QSKIP("an X server runs on display :987 here");
    QTemporaryDir runtime;
    QProcessEnvironment env = isolatedEnvironment(runtime.path());
    for (const QString &setting : environment)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    QProcess program;
    program.setProcessEnvironment(env);
    startWithParent(program);
    program.start(qEnvironmentVariable("SESAME_PI_PROGRAM"), {});
    QVERIFY(program.waitForFinished(ProgramEndMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()), line + QLatin1Char('\n'));
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

void tst_faults::endedWhileExitBoxIsOpen_data()
{
    QTest::addColumn<int>("signal"); // NoSignal: Escape on the box
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("Escape closes the box") << NoSignal;
}

// The real program on a private X server: Exit clicked, and while its box is
// open the program is told to end. It ends cleanly, with status 0.
void tst_faults::endedWhileExitBoxIsOpen()
{
    QFETCH(int, signal);

    XSession session;
    if (!session.startDisplay())
        QSKIP("Xvfb or xdotool is not installed");
    QTemporaryDir runtime;
    QVERIFY(session.startProgram(qEnvironmentVariable("SESAME_PI_PROGRAM"), isolatedEnvironment(runtime.path())));
    QVERIFY(session.click(u"Command5"));
    QVERIFY(session.waitForExitBox());
    if (signal == NoSignal)
        QVERIFY(session.pressOnExitBox(QStringLiteral("Escape")));
    else
        QCOMPARE(::kill(pid_t(session.program.processId()), signal), 0);
    QVERIFY(session.program.waitForFinished(ProgramEndMs));
    QCOMPARE(session.program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(session.program.exitCode() == 0, session.program.readAllStandardError().constData());
}

QTEST_MAIN(tst_faults)
#include "tst_faults.moc"
