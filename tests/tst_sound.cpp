#include "Servers.h"
#include "app/Application.h"
#include "app/Form1Events.h"
#include "app/Startup.h"
#include "sound/PlayerControl.h"
#include "sound/SoundCue.h"
#include "window/Form1.h"

#include <QtTest>
#include <QtWidgets>

#include <cmath>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace sesame;
using namespace Qt::StringLiterals;

namespace {

QStringList soundWarnings;

void keepSoundWarnings(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "sesame-pi.sound") == 0)
        soundWarnings << message;
}

// A WAV file of frames frames: channel c of every frame holds sample(c, i),
// written in bits bits of the encoding tag (1 integer PCM, 3 float).
QByteArray wav(quint16 tag, int channels, quint32 rate, int bits, int frames,
               const std::function<double(int, int)> &sample)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double v = sample(c, i); // -1 to 1
            bits == 8 ? out << quint8(128 + 127 * v) : tag == 3 ? out << float(v) : out << qint16(32767 * v);
        }
    QByteArray head;
    QDataStream h(&head, QIODevice::WriteOnly);
    h.setByteOrder(QDataStream::LittleEndian);
    h.writeRawData("RIFF", 4), h << quint32(36 + data.size()), h.writeRawData("WAVEfmt ", 8);
    h << quint32(16) << tag << quint16(channels) << rate << quint32(rate * channels * bits / 8)
      << quint16(channels * bits / 8) << quint16(bits);
    h.writeRawData("data", 4), h << quint32(data.size());
    return head + data;
}

double tone(int, int i)
{
    return 0.7 * std::sin(i * 0.14);
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Alive, not a zombie left to a parent that does not reap.
bool running(const QByteArray &pid)
{
    QFile stat("/proc/" + pid + "/stat");
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().split(')').value(1).trimmed().startsWith('Z');
}

long residentKiB()
{
    QFile statm(u"/proc/self/statm"_s);
    return statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(1).toLong() * 4 : 0;
}

} // namespace

class TestSound : public QObject
{
    Q_OBJECT

    SoundServer server;
    bool serverUp = false;

private slots:
    // After QtTest's own handler, which would take the warnings otherwise.
    void initTestCase()
    {
        qInstallMessageHandler(keepSoundWarnings);
        serverUp = haveProgram(u"pulseaudio"_s) && haveProgram(u"parec"_s) && server.start();
        if (serverUp)
            qputenv("PULSE_SERVER", server.address().toUtf8());
    }
    void init() { soundWarnings.clear(); }

    void cueOrder()
    {
        struct Recording : MediaControl
        {
            QStringList calls;
            void setFileName(const QString &name) override { calls << "FileName=" + name; }
            void setCommand(const QString &command) override { calls << command; }
        } control;
        SoundCue cue(control);
        cue(ExitCueFile);
        QCOMPARE(control.calls, QStringList({"Stop", "Close", "FileName=endpinpon.wav", "Open", "Sound"}));
        // Installed chimes first; a stray one where the program was started, last.
        const QStringList dirs = PlayerControl::defaultSearchDirs();
        QCOMPARE(dirs.first(), QCoreApplication::applicationDirPath());
        QCOMPARE(dirs.last(), QDir::currentPath());
    }

    // Under the run chime's name, whatever it is: heard, or refused with one
    // warning however often it is cued. The first directory that has the
    // name wins, even when what it has cannot be played.
    void chimeFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // a path to link to when it starts with '/'
        QTest::addColumn<QString>("cause"); // empty: heard
        QTest::newRow("16-bit") << wav(1, 1, 44100, 16, 22050, tone) << "";
        QTest::newRow("8-bit, stereo, 8 kHz") << wav(1, 2, 8000, 8, 4000, tone) << "";
        QTest::newRow("float") << wav(3, 1, 48000, 32, 24000, tone) << "";
        QTest::newRow("sound in the third of three channels only")
            << wav(1, 3, 44100, 16, 22050, [](int c, int i) { return c == 2 ? tone(c, i) : 0.0; }) << "";
        QTest::newRow("40 Hz") << wav(1, 1, 40, 16, 40, tone) << "unsupported sample rate 40 Hz";
        QTest::newRow("61 s") << wav(1, 1, 8000, 8, 8000 * 61, tone) << "longer than 60 s";
        QTest::newRow("silence only") << wav(1, 1, 44100, 16, 0, tone) << "no sound in it";
        QTest::newRow("missing") << QByteArray() << "file not found";
        QTest::newRow("FIFO") << QByteArray("fifo") << "not a regular file";
        QTest::newRow("directory") << QByteArray("directory") << "not a regular file";
        QTest::newRow("device") << QByteArray("/dev/zero") << "not a regular file";
        QTest::newRow("link loop") << QByteArray("loop") << "Too many levels of symbolic links";
        QTest::newRow("1 TiB, sparse") << QByteArray("huge") << "larger than 16 MiB";
    }
    void chimeFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cause);
        if (cause.isEmpty() && !serverUp)
            QSKIP("needs pulseaudio and parec");
        QTemporaryDir first, second;
        const QString path = first.filePath(RunCueFile);
        QFile huge(path);
        QVERIFY(bytes.isEmpty() || (bytes == "fifo" && ::mkfifo(QFile::encodeName(path), 0600) == 0)
                || (bytes == "directory" && QDir(first.path()).mkdir(RunCueFile))
                || (bytes == "loop" && QFile::link(path, path))
                || (bytes == "huge" && huge.open(QIODevice::WriteOnly) && huge.resize(qint64(1) << 40))
                || (bytes.startsWith('/') && QFile::link(QString::fromUtf8(bytes), path))
                || (bytes.startsWith("RIFF") && write(path, bytes)));
        QVERIFY(bytes.isEmpty() || write(second.filePath(RunCueFile), wav(1, 1, 44100, 16, 22050, tone)));
        PlayerControl control(PlayerControl::defaultPlayerPath(), {first.path(), second.path()});
        SoundCue cue(control);
        if (cause.isEmpty()) {
            QVERIFY(QTest::qWaitFor([&] { return !server.hears(500); }, 5000)); // silence first
            cue(RunCueFile);
            QVERIFY(server.hears(3000));
            QCOMPARE(soundWarnings, QStringList());
            return;
        }
        const QString expected = u"cannot play \"%1\": %2"_s.arg(bytes.isEmpty() ? RunCueFile : path, cause);
        for (int i = 0; i < 3; ++i)
            cue(RunCueFile);
        QTRY_VERIFY2_WITH_TIMEOUT(soundWarnings.contains(expected), qPrintable(soundWarnings.join(u'\n')), 10000);
        QTest::qWait(300);
        QCOMPARE(soundWarnings, QStringList{expected});
    }

    // A player that misbehaves costs the window nothing it would notice:
    // clicks are answered, memory and warnings stay bounded, the player is
    // not started again and again, and nothing of it is left after Exit.
    void misbehavingPlayer_data()
    {
        QTest::addColumn<QString>("script"); // run by sh, after it has noted its pid in the file "started"
        QTest::addColumn<QString>("warning"); // the one the window gives, with %1 for the player's path
        QTest::addColumn<int>("started"); // at most, in 3 s; a growing delay allows 5
        const QString keepsEnding = u"the chime player \"%1\" keeps ending; it is started again less and less often"_s;
        QTest::newRow("exits at once") << "exit 0" << keepsEnding << 5;
        QTest::newRow("reads and answers nothing") << "exec sleep 1000"
                                                   << "" << 1;
        QTest::newRow("floods without newlines") << "exec cat /dev/zero" << keepsEnding << 5;
        QTest::newRow("floods distinct lines") << "i=0; while :; do i=$((i+1)); echo \"cannot play \\\"$i\\\"\"; done"
                                               << "further warnings about the chimes are not shown" << 5;
        QTest::newRow("leaves a child behind") << "sleep 1000 & echo $! >> started; exec cat >/dev/null"
                                               << "" << 2;
        QTest::newRow("cannot be run") << ""
                                       << "cannot start the chime player \"%1\": " << 0;
    }
    void misbehavingPlayer()
    {
        QFETCH(QString, script);
        QFETCH(QString, warning);
        QFETCH(int, started);
        QTemporaryDir dir;
        const QString player = dir.filePath(u"player"_s), pidFile = dir.filePath(u"started"_s);
        QVERIFY(
            write(player, "#!/bin/sh\ncd " + dir.path().toUtf8() + "; echo $$ >> started\n" + script.toUtf8() + '\n'));
        QVERIFY(script.isEmpty() || QFile::setPermissions(player, QFile::ReadOwner | QFile::ExeOwner));
        const long memoryBefore = residentKiB();
        auto control = std::make_unique<PlayerControl>(player, QStringList());
        SoundCue cue(*control);
        QElapsedTimer clock;
        qint64 longestWait = 0;
        for (int i = 0; i < 60; ++i) { // 3 s of clicks
            cue(RunCueFile);
            clock.start();
            QTest::qWait(50);
            longestWait = std::max(longestWait, clock.elapsed());
        }
        QCOMPARE_LT(longestWait, 500);
        QCOMPARE_LT(residentKiB() - memoryBefore, 20 * 1024);
        QCOMPARE_LE(soundWarnings.size(), 33);
        if (!warning.isEmpty())
            QVERIFY2(soundWarnings.filter(warning.arg(player)).size() == 1, qPrintable(soundWarnings.join(u'\n')));
        control.reset(); // as Exit does
        QFile pids(pidFile);
        const QList<QByteArray> lines
            = pids.open(QIODevice::ReadOnly) ? pids.readAll().split('\n') : QList<QByteArray>{""};
        QCOMPARE_LE(lines.size() - 1, started);
        for (const QByteArray &pid : lines) // a process killed is gone a moment later
            QTRY_VERIFY2_WITH_TIMEOUT(pid.isEmpty() || !running(pid), pid.constData(), 2000);
    }

    // A server that appears after start-up, or is restarted, is used by the
    // next chime.
    void lateAndRestartedServer()
    {
        if (!serverUp)
            QSKIP("needs pulseaudio and parec");
        server.stop();
        PlayerControl control(PlayerControl::defaultPlayerPath(), PlayerControl::defaultSearchDirs());
        SoundCue cue(control);
        cue(RunCueFile);
        QTRY_VERIFY_WITH_TIMEOUT(soundWarnings.join(u' ').contains(u"no sound server"_s), 10000);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(server.start());
            cue(RunCueFile);
            QVERIFY(server.hears(3000));
            server.stop();
        }
        QVERIFY(server.start());
    }

    // A stalled server holds nothing up: clicks are answered at once, a chime
    // asked for during the stall is not heard after it, and SIGTERM ends the
    // program with 0.
    void stalledServer()
    {
        if (!serverUp)
            QSKIP("needs pulseaudio and parec");
        QProcess program;
        program.start(QCoreApplication::applicationFilePath(), {u"--stalled-server-child"_s});
        QVERIFY(program.waitForReadyRead(10000) && program.readLine() == "ready\n");
        QVERIFY(server.hears(3000));
        QVERIFY(QTest::qWaitFor([&] { return !server.hears(500); }, 5000));
        ::kill(pid_t(server.pid()), SIGSTOP);
        QByteArray said;
        QTRY_COMPARE_WITH_TIMEOUT((said += program.readAll()).count("answered"), 4, 5000);
        QTest::qWait(1500); // the chimes asked for are stale now
        ::kill(pid_t(server.pid()), SIGCONT);
        QVERIFY(!server.hears(2000));
        program.terminate();
        QVERIFY(program.waitForFinished(3000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

// The program's window on its own, clicking by itself: once with the server
// well, then four times after it has been stopped.
int stalledServerChild(Application &app)
{
    quitOnTerminationSignals();
    Form1 form;
    Form1Events events(form);
    form.show();
    QTest::mouseClick(form.command(1), Qt::LeftButton);
    std::printf("ready\n");
    std::fflush(stdout);
    QTimer::singleShot(2500, &form, [&] {
        for (const int command : {1, 2, 6, 3}) {
            QTest::mouseClick(form.command(command), Qt::LeftButton);
            QCoreApplication::processEvents();
            std::printf("answered %s\n", qPrintable(form.label(4)->text()));
            std::fflush(stdout);
        }
    });
    return app.exec();
}

int main(int argc, char **argv)
{
    Application app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--stalled-server-child") == 0)
        return stalledServerChild(app);
    TestSound test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sound.moc"
