#include "app/Application.h"
#include "app/Form1Events.h"
#include "app/Startup.h"
#include "sound/ChimeFile.h"
#include "sound/PlayerControl.h"
#include "window/Form1.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>

using namespace sesame;
using namespace Qt::StringLiterals;

namespace {

QStringList soundWarnings;

void keepSoundWarnings(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "sesame-pi.sound") == 0)
        soundWarnings << message;
}

// A WAV file: the format chunk's fields, then the data chunk.
QByteArray wav(quint16 tag, quint16 channels, quint32 rate, quint16 bits, const QByteArray &data,
               quint32 dataSize = 0xffffffff, quint16 blockAlign = 0)
{
    QByteArray fmt(16, '\0');
    qToLittleEndian<quint16>(tag, fmt.data());
    qToLittleEndian<quint16>(channels, fmt.data() + 2);
    qToLittleEndian<quint32>(rate, fmt.data() + 4);
    qToLittleEndian<quint32>(rate * channels * bits / 8, fmt.data() + 8);
    qToLittleEndian<quint16>(blockAlign ? blockAlign : channels * ((bits + 7) / 8), fmt.data() + 12);
    qToLittleEndian<quint16>(bits, fmt.data() + 14);
    const auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
    const QByteArray body
        = "WAVEfmt " + le32(16) + fmt + "data" + le32(dataSize == 0xffffffff ? data.size() : dataSize) + data;
    return "RIFF" + le32(body.size()) + body;
}

QByteArray write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path.toUtf8() : QByteArray();
}

// A private PulseAudio server with one null sink; what it plays is heard on
// the sink's monitor. Everything it keeps lives in a temporary directory.
struct SoundServer
{
    QTemporaryDir dir;
    QProcess daemon, monitor;
    QByteArray heard;
    QString socket() const { return dir.filePath(u"native"_s); }

    bool start()
    {
        QFile script(dir.filePath(u"null.pa"_s));
        script.open(QIODevice::WriteOnly);
        script.write("load-module module-null-sink sink_name=sesame_null\nset-default-sink sesame_null\n"
                     "load-module module-native-protocol-unix auth-anonymous=1 socket="
                     + socket().toUtf8() + '\n');
        script.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
            env.insert(QString::fromLatin1(name), dir.path());
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"disabled:"_s);
        daemon.setProcessEnvironment(env);
        daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        daemon.start(u"pulseaudio"_s,
                     {"-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "--disallow-exit",
                      "--use-pid-file=no", "--log-target=stderr", "-F", script.fileName()});
        if (!QTest::qWaitFor([&] { return QFile::exists(socket()) || daemon.state() == QProcess::NotRunning; }, 10000))
            return false;
        monitor.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        monitor.start(u"parec"_s,
                      {"--server=unix:" + socket(), "-d", "sesame_null.monitor", "--format=s16le", "--channels=1",
                       "--latency-msec=5"});
        // The monitor's stream begins to flow a second or so after it connects.
        return QTest::qWaitFor([&] { return monitor.bytesAvailable() > 0; }, 10000);
    }
    void stop()
    {
        monitor.kill();
        daemon.terminate();
        daemon.waitForFinished(5000);
        monitor.waitForFinished(5000);
        QFile::remove(socket());
    }
    // Whether anything but silence arrives within ms.
    bool hears(int ms)
    {
        monitor.readAll();
        return QTest::qWaitFor(
            [&] {
                const QByteArray chunk = monitor.readAll();
                for (qsizetype i = 0; i + 1 < chunk.size(); i += 2)
                    if (std::abs(qFromLittleEndian<qint16>(chunk.constData() + i)) >= 330)
                        return true;
                return false;
            },
            ms);
    }
};

bool haveSoundTools()
{
    return !QStandardPaths::findExecutable(u"pulseaudio"_s).isEmpty()
        && !QStandardPaths::findExecutable(u"parec"_s).isEmpty();
}

} // namespace

class TestSound : public QObject
{
    Q_OBJECT

private slots:
    // After QtTest's own handler, which would take the warnings otherwise.
    void initTestCase() { qInstallMessageHandler(keepSoundWarnings); }
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

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QList<int>>("samples"); // all of them, as 16 bits
        QTest::addColumn<int>("channels");
        QTest::newRow("16-bit") << wav(1, 1, 44100, 16, "\x34\x12\xff\xff") << "" << QList<int>{0x1234, -1} << 1;
        QTest::newRow("8-bit, unsigned") << wav(1, 1, 8000, 8, "\x80\xff") << "" << QList<int>{0, 32512} << 1;
        QTest::newRow("24-bit") << wav(1, 2, 48000, 24, QByteArray("\x00\x34\x12\x00\x00\x80", 6)) << ""
                                << QList<int>{0x1234, -32768} << 2;
        QTest::newRow("float") << wav(3, 1, 44100, 32, QByteArray("\x00\x00\x00\x3f\x00\x00\x80\xbf", 8)) << ""
                               << QList<int>{16384, -32767} << 1;
        QTest::newRow("mu-law") << wav(7, 1, 8000, 8, QByteArray("\xff\x00", 2)) << "" << QList<int>{0, -32124} << 1;
        QTest::newRow("A-law") << wav(6, 1, 8000, 8, "\xd5\x55\xaa") << "" << QList<int>{8, -8, 32256} << 1;
        QTest::newRow("odd chunk, padded")
            << wav(1, 1, 44100, 16, "\x34\x12").insert(12, QByteArray("odd \x01\0\0\0x\0", 10)) << ""
            << QList<int>{0x1234} << 1;
        QByteArray extensible = wav(1, 1, 44100, 16, "\x34\x12").replace(16, 6, QByteArray("\x28\0\0\0\xfe\xff", 6));
        extensible.insert(36, QByteArray("\x16\0\x10\0\4\0\0\0\1\0", 10) + QByteArray(14, '\0'));
        QTest::newRow("extensible") << extensible << "" << QList<int>{0x1234} << 1;
        QTest::newRow("data before fmt") << QByteArray("RIFF\0\0\0\0WAVEdata\2\0\0\0\0\0", 22)
                                         << "no fmt chunk before the data" << QList<int>{} << 0;
        QTest::newRow("8 channels, the first two kept")
            << wav(1, 8, 44100, 8, "\x81\x82\x80\x80\x80\x80\x80\x80") << "" << QList<int>{256, 512} << 2;
        QTest::newRow("data claimed past the end")
            << wav(1, 1, 44100, 16, QByteArray("\x01\x00\x02", 3), 1000) << "" << QList<int>{1} << 1;
        QTest::newRow("ADPCM") << wav(2, 1, 44100, 4, "\x00") << "unsupported encoding (format 2, 4 bits)"
                               << QList<int>{} << 0;
        QTest::newRow("40 Hz") << wav(1, 1, 40, 16, "\x00\x00") << "unsupported sample rate 40 Hz" << QList<int>{} << 0;
        QTest::newRow("4 GHz") << wav(1, 1, 4000000000u, 16, "\x00\x00") << "unsupported sample rate 4000000000 Hz"
                               << QList<int>{} << 0;
        QTest::newRow("block align") << wav(1, 2, 44100, 16, "\x00\x00", 0xffffffff, 3) << "inconsistent block align"
                                     << QList<int>{} << 0;
        QTest::newRow("61 s") << wav(1, 1, 8000, 8, QByteArray(qsizetype{8000} * 61, '\x80')) << "longer than 60 s"
                              << QList<int>{} << 0;
        QTest::newRow("no samples") << wav(1, 1, 44100, 16, "") << "no audio data" << QList<int>{} << 0;
        QTest::newRow("not a WAV") << QByteArray("\x89PNG\r\n\x1a\n0000") << "not a RIFF/WAVE file" << QList<int>{}
                                   << 0;
        QTest::newRow("empty") << QByteArray() << "empty file" << QList<int>{} << 0;
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        QFETCH(QList<int>, samples);
        QFETCH(int, channels);
        const ChimeFile file = ChimeFile::decode(
            std::span(reinterpret_cast<const unsigned char *>(bytes.constData()), std::size_t(bytes.size())));
        QCOMPARE(QString::fromStdString(file.problem), problem);
        QCOMPARE(file.chime.channels, channels);
        QCOMPARE(QList<int>(file.chime.samples.begin(), file.chime.samples.end()), samples);
    }

    void hostileFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("cause");
        QTest::newRow("missing") << "missing"
                                 << "file not found";
        QTest::newRow("FIFO") << "fifo"
                              << "not a regular file";
        QTest::newRow("directory") << "directory"
                                   << "not a regular file";
        QTest::newRow("device") << "device"
                                << "not a regular file";
        QTest::newRow("symlink loop") << "loop"
                                      << "Too many levels of symbolic links";
        QTest::newRow("1 TiB, sparse") << "huge"
                                       << "larger than 16 MiB";
        QTest::newRow("40 Hz, byte rate of 88200") << "slow"
                                                   << "unsupported sample rate 40 Hz";
        QTest::newRow("a million empty chunks, then a chime") << "flood"
                                                              << "no audio output device";
    }

    // Whatever stands under the chime's name, the run completes, the program
    // lives, and the warning names the file and the cause.
    void hostileFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        const QString path = dir.filePath(RunCueFile);
        QByteArray flood;
        for (int i = 0; i < 1000000; ++i)
            flood += QByteArrayLiteral("junk\0\0\0\0");
        const QMap<QString, std::function<bool()>> make = {
            {"missing", [] { return true; }},
            {"fifo", [&] { return ::mkfifo(QFile::encodeName(path), 0600) == 0; }},
            {"directory", [&] { return QDir(dir.path()).mkdir(RunCueFile); }},
            {"device", [&] { return QFile::link(u"/dev/zero"_s, path); }},
            {"loop", [&] { return QFile::link(path, path); }},
            {"huge",
             [&] {
                 QFile f(path);
                 return f.open(QIODevice::WriteOnly) && f.resize(qint64(1) << 40);
             }},
            {"slow",
             [&] {
                 return !write(path,
                               wav(1, 2, 40, 16, QByteArray(16000, '\1'))
                                   .replace(28, 4, QByteArray("\x88\x58\x01\x00", 4)))
                             .isEmpty();
             }},
            {"flood",
             [&] { return !write(path, wav(1, 1, 44100, 16, QByteArray(8820, '\1')).insert(12, flood)).isEmpty(); }},
        };
        QVERIFY(make[kind]());
        Form1 form;
        Form1Events events(form);
        form.mmControl1().setSearchDirs({dir.path()});
        form.show();
        QTest::mouseClick(form.command(1), Qt::LeftButton);
        QVERIFY(!form.label(4)->text().isEmpty());
        QTest::mouseClick(form.command(2), Qt::LeftButton);
        QCOMPARE(form.label(4)->text().toInt(),
                 std::count_if(events.seedStore().seedX.begin() + 1, events.seedStore().seedX.begin() + 101,
                               [&, i = 0](qint16) mutable {
                                   ++i;
                                   const int x = events.seedStore().seedX[size_t(i)] - 240,
                                             y = events.seedStore().seedY[size_t(i)] - 240;
                                   return x * x + y * y <= 40000;
                               }));
        const QString expected
            = QStringLiteral("cannot play \"%1\": %2").arg(kind == "missing" ? RunCueFile : path, cause);
        QTRY_VERIFY2_WITH_TIMEOUT(soundWarnings.contains(expected), qPrintable(soundWarnings.join(u'\n')), 10000);
        QCOMPARE(soundWarnings.count(expected), 1); // once, however often cued
    }

    // A server that appears after start-up, or is restarted, is used by the
    // next chime.
    void lateAndRestartedServer()
    {
        if (!haveSoundTools())
            QSKIP("needs pulseaudio and parec");
        SoundServer server;
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(server.socket()));
        PlayerControl control(PlayerControl::defaultPlayerPath(), PlayerControl::defaultSearchDirs());
        SoundCue cue(control);
        cue(RunCueFile);
        QTRY_VERIFY_WITH_TIMEOUT(soundWarnings.join(' ').contains("no audio output device"), 10000);
        QVERIFY(server.start());
        cue(RunCueFile);
        QVERIFY(server.hears(3000));
        server.stop();
        QVERIFY(server.start());
        cue(RunCueFile);
        QVERIFY(server.hears(3000));
        server.stop();
    }

    // A stalled server holds nothing up: clicks are answered at once, and
    // SIGTERM ends the program with 0.
    void stalledServer()
    {
        if (!haveSoundTools())
            QSKIP("needs pulseaudio and parec");
        SoundServer server;
        QVERIFY(server.start());
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"PULSE_SERVER"_s, "unix:" + server.socket());
        program.setProcessEnvironment(env);
        program.start(QCoreApplication::applicationFilePath(), {u"--stalled-server-child"_s});
        QVERIFY(program.waitForReadyRead(10000) && program.readLine() == "ready\n");
        QVERIFY(server.hears(3000));
        ::kill(pid_t(server.daemon.processId()), SIGSTOP);
        QByteArray said;
        QTRY_COMPARE_WITH_TIMEOUT((said += program.readAll()).count("answered"), 4, 5000);
        ::kill(pid_t(program.processId()), SIGTERM);
        const bool ended = program.waitForFinished(3000);
        ::kill(pid_t(server.daemon.processId()), SIGCONT);
        QVERIFY(ended);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        server.stop();
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
