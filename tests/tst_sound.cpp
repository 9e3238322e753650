#include "Servers.h"
#include "sound/PlayerControl.h"
#include "sound/SoundCue.h"

#include <QtTest>

#include <cmath>
#include <csignal>

using namespace sesame;
using namespace Qt::StringLiterals;

namespace {

// A WAV file of a tone, in sample's channel c at frame i (-1 to 1), in bits
// bits of the encoding tag (1 integer PCM, 3 float).
QByteArray wav(
    quint16 tag, int channels, quint32 rate, int bits, int frames,
    const std::function<double(int, int)> &sample = [](int, int i) { return 0.7 * std::sin(i * 0.14); })
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    const auto size = quint32(frames * channels * bits / 8);
    out.writeRawData("RIFF", 4), out << quint32(36 + size), out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << tag << quint16(channels) << rate << quint32(rate * channels * bits / 8)
        << quint16(channels * bits / 8) << quint16(bits);
    out.writeRawData("data", 4), out << size;
    if (!sample) // 8-bit, flat: a long chime, quickly
        return bytes.append(qsizetype(size), char(192));
    for (int i = 0; i < frames * channels; ++i) {
        const double v = sample(i % channels, i / channels);
        bits == 8 ? out << quint8(128 + 127 * v) : tag == 3 ? out << float(v) : out << qint16(32767 * v);
    }
    return bytes;
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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

    // The window's side of the chimes, with the installed player.
    struct Chimes : PlayerControl
    {
        SoundCue cue{*this};
        explicit Chimes(const QStringList &dirs = defaultSearchDirs())
            : PlayerControl(defaultPlayerPath(), dirs)
        {
        }
    };

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

    // Installed chimes first; a stray one where the program was started, last.
    void searchOrder()
    {
        const QStringList dirs = PlayerControl::defaultSearchDirs();
        QCOMPARE(dirs.first() + u'|' + dirs.last(),
                 QCoreApplication::applicationDirPath() + u'|' + QDir::currentPath());
    }

    // Under the run chime's name, whatever it is: heard, or refused with one
    // warning however often it is cued. The first directory that has the
    // name wins, even when what it has cannot be played.
    void chimeFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // or the shell command that makes it
        QTest::addColumn<QString>("cause"); // empty: heard
        QTest::newRow("16-bit") << wav(1, 1, 44100, 16, 22050) << "";
        QTest::newRow("8-bit, stereo, 8 kHz") << wav(1, 2, 8000, 8, 4000) << "";
        QTest::newRow("stereo, sound on the right only")
            << wav(1, 2, 44100, 16, 22050, [](int c, int i) { return c == 1 ? std::sin(i * 0.14) : 0; }) << "";
        QTest::newRow("float") << wav(3, 1, 48000, 32, 24000) << "";
        QTest::newRow("float beyond full scale, clipped") // wrapped round, it would be all but silent
            << wav(3, 1, 48000, 32, 24000, [](int, int i) { return i % 100 < 50 ? 2.0 : -2.0; }) << "";
        QTest::newRow("sound in the third of three channels only")
            << wav(1, 3, 44100, 16, 22050, [](int c, int i) { return c == 2 ? std::sin(i * 0.14) : 0; }) << "";
        QTest::newRow("4 kHz") << wav(1, 1, 4000, 16, 2000) << "";
        QTest::newRow("192 kHz") << wav(1, 1, 192000, 16, 96000) << "";
        QTest::newRow("60 s") << wav(1, 1, 4000, 8, 4000 * 60) << "";
        QTest::newRow("3999 Hz") << wav(1, 1, 3999, 16, 2000) << "unsupported sample rate 3999 Hz";
        QTest::newRow("192001 Hz") << wav(1, 1, 192001, 16, 2000) << "unsupported sample rate 192001 Hz";
        QTest::newRow("60 s and a frame") << wav(1, 1, 4000, 8, 4000 * 60 + 1, {}) << "longer than 60 s";
        QTest::newRow("16 MiB") << wav(1, 1, 8000, 8, 16 * 1024 * 1024 - 44, {}) << "longer than 60 s";
        QTest::newRow("16 MiB and a byte") << wav(1, 1, 8000, 8, 16 * 1024 * 1024 - 43, {}) << "larger than 16 MiB";
        QTest::newRow("more than 16 MiB of 16-bit sound")
            << wav(1, 2, 192000, 8, 192000 * 22, {}) << "more than 16 MiB of sound";
        QTest::newRow("no samples") << wav(1, 1, 44100, 16, 0) << "no sound in it";
        QTest::newRow("missing") << QByteArray() << "file not found";
        QTest::newRow("FIFO") << QByteArray("mkfifo pinpon.wav") << "not a regular file";
        QTest::newRow("device") << QByteArray("ln -s /dev/zero pinpon.wav") << "not a regular file";
        QTest::newRow("link loop") << QByteArray("ln -s pinpon.wav pinpon.wav") << "Too many levels of symbolic links";
        QTest::newRow("1 TiB, sparse") << QByteArray("truncate -s 1T pinpon.wav") << "larger than 16 MiB";
    }
    void chimeFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cause);
        if (cause.isEmpty() && !serverUp)
            QSKIP("needs pulseaudio and parec");
        QTemporaryDir first(QDir::tempPath() + u"/sesame pi-XXXXXX"_s), second; // a blank in a chime's path
        const QString path = first.filePath(RunCueFile);
        const QString make = u"cd '"_s + first.path() + u"'; "_s + QString::fromUtf8(bytes);
        QVERIFY(bytes.startsWith("RIFF") ? write(path, bytes) : QProcess::execute(u"sh"_s, {u"-c"_s, make}) == 0);
        QVERIFY(bytes.isEmpty() || write(second.filePath(RunCueFile), wav(1, 1, 44100, 16, 22050)));
        Chimes chimes({first.path(), second.path()});
        if (cause.isEmpty()) {
            QVERIFY(QTest::qWaitFor([&] { return !server.hears(500); }, 5000)); // silent
            chimes.cue(RunCueFile);
            QVERIFY(server.hears(3000));
            QCOMPARE(soundWarnings, QStringList());
            return;
        }
        for (int i = 0; i < 3; ++i)
            chimes.cue(RunCueFile);
        const QString expected = u"cannot play \"%1\": %2"_s.arg(bytes.isEmpty() ? RunCueFile : path, cause);
        QTRY_VERIFY2_WITH_TIMEOUT(soundWarnings.contains(expected), qPrintable(soundWarnings.join(u'\n')), 10000);
        QTest::qWait(300);
        QCOMPARE(soundWarnings, QStringList{expected});
    }

    // A player that misbehaves costs the window nothing it would notice:
    // cues are answered at once, memory and warnings stay bounded, it is
    // not started again and again, and nothing of it is left after Exit.
    void misbehavingPlayer_data()
    {
        QTest::addColumn<QString>("script"); // run by sh, once it has noted its pid in the file "started"
        QTest::addColumn<QString>("warning"); // the one the window gives, %1 the player's path; empty: none
        QTest::addColumn<int>("started"); // in 3 s: three times at most for one that keeps ending
        const QString keepsEnding = u"the chime player \"%1\" keeps ending; the chimes stay silent"_s;
        const QString say = u"head -c %1 /dev/zero | tr '\\0' a; echo; exec cat >/dev/null"_s;
        QTest::newRow("exits at once") << "exit 0" << keepsEnding << 3;
        // Reads nothing for 2 s, then says one line of 5,000 bytes: neither is kept.
        QTest::newRow("late reader, long line") << "sleep 2; head -c5000 /dev/zero; echo; cat >got" << QString() << 1;
        QTest::newRow("floods without newlines") << "exec cat /dev/zero" << keepsEnding << 3;
        QTest::newRow("floods distinct lines") << "i=0; while :; do i=$((i+1)); echo \"cannot play $i\"; done"
                                               << "further warnings about the chimes are not shown" << 3;
        QTest::newRow("talks steadily, 40 kB/s") // never 64 KiB in a second
            << "while :; do head -c 4000 /dev/zero; echo; sleep 0.1; done" << QString() << 1;
        QTest::newRow("a line of 1 KiB") << say.arg(1023) << QString(1023, u'a') << 1;
        QTest::newRow("a line of 1 KiB and a byte") << say.arg(1024) << QString() << 1;
        QTest::newRow("leaves a child") << "sleep 1000 & echo $! >> started; exec cat >/dev/null" << QString() << 2;
        QTest::newRow("cannot be run") << QString() << "cannot start the chime player \"%1\": " << 0;
        QTest::newRow("says a bidi override and separators") // U+202E, U+2028, U+2029
            << "printf 'cannot play \\342\\200\\256x\\342\\200\\250y\\342\\200\\251\\n'; exec cat >/dev/null"
            << "cannot play ?x?y?" << 1;
    }
    void misbehavingPlayer()
    {
        QFETCH(QString, script);
        QFETCH(QString, warning);
        QFETCH(int, started);
        QTemporaryDir dir;
        const QString player = dir.filePath(u"player"_s);
        QVERIFY(write(player, "#!/bin/sh\ncd " + dir.path().toUtf8() + "; echo $$ >> started\n" + script.toUtf8()));
        QVERIFY(script.isEmpty() || QFile::setPermissions(player, QFile::ReadOwner | QFile::ExeOwner));
        [[maybe_unused]] const long memoryBefore = residentKiB();
        auto control = std::make_unique<PlayerControl>(player, QStringList());
        SoundCue cue(*control);
        const QDeadlineTimer answered(4500); // whatever the player does
        for (int i = 0; i < 10000; ++i) // 350 KB of lines at once
            cue(RunCueFile);
        QVERIFY(!script.isEmpty() || QFile::setPermissions(player, QFile::ReadOwner | QFile::ExeOwner)); // too late
        for (int i = 0; i < 60; ++i) { // 3 s of clicks
            cue(RunCueFile);
            QTest::qWait(50);
        }
        QVERIFY(!answered.hasExpired());
#ifndef __SANITIZE_ADDRESS__ // whose quarantine holds on to what is freed
        QCOMPARE_LT(residentKiB() - memoryBefore, 20 * 1024);
#endif
        QCOMPARE_LE(soundWarnings.size(), 33);
        const qsizetype closing = soundWarnings.indexOf(u"further warnings about the chimes are not shown"_s);
        QVERIFY(closing == -1 || closing == 32); // after 32
        // What a pipe holds (64 KiB), the window's 4 KiB, and the clicks'.
        QCOMPARE_LE(QFileInfo(dir.filePath(u"got"_s)).size(), 72 * 1024);
        QVERIFY2(warning.isEmpty() ? soundWarnings.isEmpty()
                                   : soundWarnings.filter(QString(warning).replace(u"%1"_s, player)).size() == 1,
                 qPrintable(soundWarnings.join('\n')));
        control.reset(); // as Exit does
        QFile file(dir.filePath(u"started"_s));
        const QList<QByteArray> pids = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList{""_ba};
        QCOMPARE(pids.size() - 1, started);
        for (const QByteArray &pid : pids) // killed, and gone a moment later (a zombie has no executable)
            QTRY_VERIFY2_WITH_TIMEOUT(pid.isEmpty() || !QFile::exists("/proc/" + pid + "/exe"), pid.constData(), 2000);
    }

    // A server that appears after start-up, or is restarted, is used by the
    // next chime. A chime replaces the one that sounds. A server that
    // answers late holds no cue up, and a chime it answers more than a
    // second after it was asked for is not heard.
    void serverTroubles()
    {
        if (!serverUp || !haveProgram(u"socat"_s))
            QSKIP("needs pulseaudio, parec and socat");
        server.stop();
        Chimes chimes;
        chimes.cue(RunCueFile);
        QTRY_VERIFY_WITH_TIMEOUT(soundWarnings.join(u' ').contains(u"no sound server"_s), 10000);
        for (int i = 0; i < 2; ++i) {
            server.stop();
            QVERIFY(server.start());
            chimes.cue(RunCueFile);
            QVERIFY(server.hears(3000) && QTest::qWaitFor([&] { return !server.hears(500); }, 5000));
        }
        QProcess::execute(u"pkill"_s, {u"-P"_s, QString::number(QCoreApplication::applicationPid()), u"chime"_s});
        QTest::qWait(500); // a player killed from outside: the next chime starts another, and is heard
        QTemporaryDir dir; // a chime of 4 s, replaced after 0.5 s by one of 1.2 s
        QVERIFY(write(dir.filePath(u"long.wav"_s), wav(1, 1, 44100, 16, 4 * 44100)));
        chimes.cue(dir.filePath(u"long.wav"_s));
        QVERIFY(server.hears(3000) && !QTest::qWaitFor([&] { return !server.hears(300); }, 500));
        chimes.cue(RunCueFile);
        QVERIFY(QTest::qWaitFor([&] { return !server.hears(300); }, 2500));
        QProcess relay; // each connection reaches the server 1.5 s late
        relay.start(u"socat"_s,
                    {"UNIX-LISTEN:" + dir.filePath(u"late"_s) + ",fork",
                     "SYSTEM:sleep 1.5; exec socat STDIO UNIX\\:" + server.address().mid(5)});
        QTRY_VERIFY(QFile::exists(dir.filePath(u"late"_s)));
        qputenv("PULSE_SERVER", "unix:" + dir.filePath(u"late"_s).toUtf8());
        qputenv("PULSE_CLIENTCONFIG", dir.filePath(u"client.conf"_s).toUtf8()); // no shared memory through a relay
        QVERIFY(write(dir.filePath(u"client.conf"_s), "enable-shm = no\n"));
        Chimes late;
        soundWarnings.clear();
        const QDeadlineTimer answered(2000);
        for (int i = 0; i < 20; ++i) { // 1 s of clicks
            late.cue(RunCueFile);
            QTest::qWait(50);
        }
        QVERIFY(!answered.hasExpired());
        QVERIFY(!server.hears(3000)); // the last one, answered 1.5 s after it was asked for
        QVERIFY2(soundWarnings.isEmpty(), qPrintable(soundWarnings.join(u"\n"_s))); // but answered
    }
};

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
