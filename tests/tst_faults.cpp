// The program under bad input and faults: chimes that cannot be played,
// clicks piling up behind busy runs, no display, and the end of the program
// while the exit box is open.

#include "sound/SoundCue.h"
#include "tst_release_support.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <unistd.h>

using namespace sesame;
using namespace sesame::testing;

constexpr int QueuedClicks = 200;
// In a WAV file, from its "fmt " chunk id: the channel count.
constexpr qsizetype ChannelsOffset = 10;

class tst_faults : public QObject
{
    Q_OBJECT

private slots:
    void unplayableChimes_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // of both chimes; null: no file at all
        QTest::addColumn<QString>("cause");
        const QDir assets(qEnvironmentVariable("SESAME_PI_ASSETS"));
        const QByteArray wav = readFile(assets.filePath(RunCueFile));
        QByteArray noChannels = wav;
        noChannels[noChannels.indexOf("fmt ") + ChannelsOffset] = 0;
        QTest::newRow("missing") << QByteArray() << "file not found";
        QTest::newRow("zero bytes") << QByteArray("") << "empty file";
        QTest::newRow("corrupt header") << noChannels << "malformed fmt chunk";
        QTest::newRow("PNG renamed .wav") << readFile(assets.filePath("sesame-pi-32.png")) << "not a RIFF/WAVE file";
        // ctest names a sound server that is not there (PULSE_SERVER).
        QTest::newRow("no sound server") << wav << "no audio output device";
    }

    // Every button still does its work, and each chime's fault is told once on
    // standard error, however often the chime is asked for.
    void unplayableChimes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        QStringList expected;
        for (const QString &chime : {RunCueFile, ExitCueFile}) {
            QFile file(dir.filePath(chime));
            if (!bytes.isNull())
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            expected << QStringLiteral("sesame-pi: warning: cannot play \"%1\": %2")
                            .arg(bytes.isNull() ? chime : file.fileName(), cause);
        }
        ProgramWindow program;
        program.form.mmControl1().setSearchDirs({dir.path()});
        // Standard error (descriptor 2) goes to a file until the end.
        QTemporaryFile errors;
        QVERIFY(errors.open());
        const int saved = ::dup(STDERR_FILENO);
        ::dup2(errors.handle(), STDERR_FILENO);
        const auto restore = qScopeGuard([saved] {
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
        });
        for (const int button : CountButtons)
            QCOMPARE(program.run(button), QString());
        program.click(InitButton);
        QVERIFY(program.captionsCleared());
        QCOMPARE(program.exitAnsweringOk(), 0);
        QCOMPARE(QString::fromLocal8Bit(readFile(errors.fileName())).split(u'\n', Qt::SkipEmptyParts), expected);
    }

    // Clicks that come while runs are busy wait their turn: each is handled,
    // in order, and the window ends with the last run's results. (Not Exit:
    // its box would take the rest of the queue.)
    void queuedClicksAreHandledInOrder()
    {
        ProgramWindow program;
        QVERIFY(QTest::qWaitForWindowExposed(&program.form));
        // Each other button twice as often as 50,000, which bounds the time;
        // the last is a count button, whose results stay.
        const std::array<int, 11> choices = {1, 1, 2, 2, 3, 3, 4, 4, 6, 6, 7};
        QList<int> posted, handled;
        for (int i = 0; i < QueuedClicks; ++i)
            posted << choices.at(static_cast<std::size_t>(i * 5) % choices.size());
        posted.last() = CountButtons.front();
        for (const int button : {1, 2, 3, 4, 6, 7})
            connect(program.form.command(button), &QPushButton::clicked, this,
                    [&handled, button] { handled << button; });
        for (const int button : posted) {
            QPushButton *target = program.form.command(button);
            QMetaObject::invokeMethod(
                target, [target] { QTest::mouseClick(target, Qt::LeftButton); }, Qt::QueuedConnection);
        }
        QTRY_COMPARE_WITH_TIMEOUT(handled.size(), QueuedClicks, ProcessMs);
        QCOMPARE(handled, posted);
        QCOMPARE(program.captionProblem(posted.last()), QString());
    }

    void noDisplay_data()
    {
        QTest::addColumn<QString>("setting"); // NAME=value, or empty
        QTest::addColumn<QString>("why");
        QTest::newRow("nothing set") << QString() << "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
        QTest::newRow("X display without server") << "DISPLAY=:987"
                                                  << "the display cannot be reached";
        QTest::newRow("unknown platform") << "QT_QPA_PLATFORM=no-such-platform"
                                          << "the display cannot be reached";
    }

    // One clear line and exit status 1, at once: no abort, no core, no page
    // of plugin diagnostics.
    void noDisplay()
    {
        QFETCH(QString, setting);
        QFETCH(QString, why);
        if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X987")))
            QSKIP("an X server runs on display :987 here");
        QTemporaryDir runtime;
        QProcessEnvironment env = isolatedEnvironment(runtime.path());
        if (!setting.isEmpty())
            env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        const Outcome outcome = run(qEnvironmentVariable("SESAME_PI_PROGRAM"), {}, env);
        QCOMPARE(outcome.exitCode, 1);
        QCOMPARE(outcome.errors, QStringList{"sesame-pi: cannot open a window: " + why});
    }

    void endedWhileExitBoxIsOpen_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    // The real program on a private X server: Exit clicked, and while its box
    // is open the program is told to end. It ends cleanly, with status 0.
    void endedWhileExitBoxIsOpen()
    {
        QFETCH(int, signal);
        XSession session;
        if (!session.startDisplay())
            QSKIP("Xvfb or xdotool is not installed");
        QTemporaryDir runtime;
        QVERIFY(session.startProgram(qEnvironmentVariable("SESAME_PI_PROGRAM"), isolatedEnvironment(runtime.path())));
        QVERIFY(session.click(u"Command5"));
        QVERIFY(session.onWindow(Form1Events::ExitTitle));
        QCOMPARE(::kill(pid_t(session.program.processId()), signal), 0);
        const Outcome outcome = waitForEnd(session.program);
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.errors.join(u'\n')));
    }
};

QTEST_MAIN(tst_faults)
#include "tst_faults.moc"
