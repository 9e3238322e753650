#include "sound/SoundCue.h"
#include "sound/SoundEffectControl.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <complex>
#include <csignal>
#include <numbers>
#include <numeric>

#include <sys/prctl.h>

constexpr int Rate = 44100;
constexpr double PerMs = Rate / 1000.0;
// The run chime (scripts/make-chimes.py) has its second note from 380 ms. Its
// first note and the attack of the second are what is matched against what
// was heard: together they pin down where the chime started.
constexpr int ShapeMs = 420;

// 16-bit little-endian samples, from a raw recording or a WAV file's data.
static QList<double> decode(const QString &path, qsizetype from = 0)
{
    QFile file(path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll().mid(from) : QByteArray();
    QList<double> samples;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        samples.append(qFromLittleEndian<qint16>(bytes.constData() + i));
    return samples;
}

static double rms(const QList<double> &s, double fromMs, double forMs)
{
    const auto from = s.begin() + std::min(qsizetype(fromMs * PerMs), s.size());
    const auto to = s.begin() + std::min(qsizetype((fromMs + forMs) * PerMs), s.size());
    return to > from ? std::sqrt(std::inner_product(from, to, from, 0.0) / double(to - from)) : 0.0;
}

// In milliseconds, -1 when nothing is. Above about -40 dBFS: the null sink's
// monitor is digital zero when nothing plays, so this is clear of any noise.
static double firstAudibleMs(const QList<double> &s)
{
    const auto it = std::find_if(s.begin(), s.end(), [](double v) { return std::abs(v) >= 330; });
    return it == s.end() ? -1.0 : double(it - s.begin()) / PerMs;
}

// Loudness every millisecond (RMS over 10 ms). Compared as a shape it tells
// where a chime starts in what was heard; the samples themselves are no good
// for that, as the way to the monitor does not keep the phase of every
// partial.
static QList<double> envelope(const QList<double> &s)
{
    QList<double> env;
    for (int ms = 0; qsizetype((ms + 10) * PerMs) <= s.size(); ++ms)
        env.append(rms(s, ms, 10));
    return env;
}

// The correlation coefficient of the ShapeMs values from a and from b, -1
// when either is flat.
static double correlation(const double *a, const double *b)
{
    const auto meanProduct
        = [](const double *x, const double *y) { return std::inner_product(x, x + ShapeMs, y, 0.0) / ShapeMs; };
    const double ma = std::accumulate(a, a + ShapeMs, 0.0) / ShapeMs;
    const double mb = std::accumulate(b, b + ShapeMs, 0.0) / ShapeMs;
    const double variances = (meanProduct(a, a) - ma * ma) * (meanProduct(b, b) - mb * mb);
    return variances > 0 ? (meanProduct(a, b) - ma * mb) / std::sqrt(variances) : -1.0;
}

// How well, and at which millisecond from `from` to `to`, the chime's
// envelope over its first ShapeMs fits the heard one best.
static std::pair<double, int> bestMatch(const QList<double> &heard, const QList<double> &chime, int from, int to)
{
    std::pair<double, int> best{-1.0, -1};
    for (int at = std::max(from, 0); at <= std::min(to, int(heard.size()) - ShapeMs); ++at)
        best = std::max(best, {correlation(heard.data() + at, chime.data()), at});
    return best;
}

// How much louder the chime's second note (C5) is than its first (E5) over a
// stretch, each note's power as that of its frequency in the Fourier sum.
static double secondNoteShare(const QList<double> &s, int fromMs, int forMs)
{
    const auto power = [&](double hz) {
        std::complex<double> sum;
        for (qsizetype i = qsizetype(fromMs * PerMs); i < qsizetype((fromMs + forMs) * PerMs); ++i)
            sum += s[i] * std::polar(1.0, -2 * std::numbers::pi * hz * double(i) / Rate);
        return std::norm(sum);
    };
    return power(523.25) / std::max(power(659.26), 1.0);
}

class TestSoundPlayback : public QObject
{
    Q_OBJECT

private slots:
    // The run chime is cued, and cued again during its second note, so that
    // the two cannot be mistaken.
    void chimeIsHeardAndReplaced()
    {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty() || QStandardPaths::findExecutable("parec").isEmpty())
            QSKIP("needs pulseaudio and parec (Debian packages pulseaudio and pulseaudio-utils)");
        // The chime's samples follow its 44-byte header: scripts/make-chimes.py
        // writes nothing else before them.
        const QString assets = qEnvironmentVariable("SESAME_PI_ASSETS");
        const QList<double> chime = decode(assets + '/' + sesame::RunCueFile, 44);
        QVERIFY2(chime.size() > Rate, "cannot read the run chime: run through ctest");

        // A private PulseAudio server with one null sink, whose monitor lets
        // the test hear what was played; everything it keeps lives in `dir`.
        // -n skips default.pa, which would look for real sound cards and a
        // session bus; the script loads the sink and a socket that takes
        // clients without a cookie. As root it warns that it is "not intended
        // to be run as root" and runs anyway, as long as --system is not given.
        QTemporaryDir dir;
        const QString socket = dir.filePath("native");
        QFile script(dir.filePath("sesame.pa"));
        QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Text));
        script.write("load-module module-null-sink sink_name=sesame_null\n"
                     "set-default-sink sesame_null\n"
                     // Last, so that the socket appearing means the sink is there.
                     "load-module module-native-protocol-unix auth-anonymous=1 socket="
                     + QFile::encodeName(socket) + '\n');
        script.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("PULSE_SERVER");
        env.insert("HOME", dir.path());
        env.insert("XDG_RUNTIME_DIR", dir.path());
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("PULSE_RUNTIME_PATH", dir.filePath("runtime"));
        env.insert("PULSE_STATE_PATH", dir.filePath("state"));
        // Keeps it off any desktop session bus the test might run under.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus"));
        // The children end with the test even if the test crashes.
        const auto endWithTest = [] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); };
        QProcess daemon;
        daemon.setProcessEnvironment(env);
        daemon.setChildProcessModifier(endWithTest);
        daemon.start("pulseaudio",
                     {"-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "--disallow-exit",
                      "--use-pid-file=no", "--log-target=stderr", "-F", script.fileName()});
        const auto stopDaemon = qScopeGuard([&daemon] {
            daemon.terminate();
            daemon.waitForFinished(3000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || daemon.state() == QProcess::NotRunning, 10000);
        QVERIFY2(daemon.state() != QProcess::NotRunning, daemon.readAllStandardError().constData());
        // Before anything asks Qt Multimedia for a device: it connects once.
        // The cookie setting keeps the client from writing one into $HOME.
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(socket));
        qputenv("PULSE_COOKIE", QFile::encodeName(dir.filePath("client-cookie")));

        // parec on the null sink's monitor, mono 16-bit at the chime's rate.
        // The sink renders as far ahead as the monitor's latency allows, and
        // that matters twice: left to itself it renders two seconds at a
        // time, and a stream that ends within such a block is never heard on
        // the monitor; and when a stream starts, the sink rewinds to mix it in
        // at once, but what the monitor already sent is not sent again, so up
        // to one latency of the stream's start is missing from the recording
        // (a sound card would play it). At 20 ms that cut up to 20 ms off the
        // chime; at 2 ms, at most 2 ms.
        QFile recording(dir.filePath("heard.raw"));
        QProcess parec;
        parec.setStandardOutputFile(recording.fileName());
        parec.setChildProcessModifier(endWithTest);
        parec.start(
            "parec",
            {"-d", "sesame_null.monitor", "--format=s16le", "--rate=44100", "--channels=1", "--latency-msec=2"});
        // The monitor stream begins to flow a second or two after parec
        // connects; a chime played before that would be lost. A quiet second
        // is kept as the reference for silence.
        QTRY_VERIFY_WITH_TIMEOUT(recording.size() >= 2 * Rate, 10000);

        sesame::SoundEffectControl control({assets});
        sesame::SoundCue cue(control);
        QElapsedTimer clock;
        clock.start();
        cue(sesame::RunCueFile);
        QTest::qWait(600);
        const int secondCueAt = int(clock.elapsed());
        cue(sesame::RunCueFile);
        QTest::qWait(1500);
        parec.terminate();
        parec.waitForFinished(3000);
        const QList<double> heard = decode(recording.fileName());

        const double onset = firstAudibleMs(heard);
        QVERIFY2(onset >= 1000, "the chime was not heard, or something was heard before it");
        const double loud = rms(heard, onset, 800);
        QVERIFY2(loud > 20 * rms(heard, 0, 1000) && loud > rms(chime, 0, 800) / 2, "the chime is too quiet");

        // Heard from its start: where the chime's shape places its start, the
        // chime's own first audible sample is the first one heard. A chime
        // started late into the file would be placed before its first sound.
        const QList<double> heardShape = envelope(heard);
        const QList<double> chimeShape = envelope(chime);
        const auto [firstFit, firstAt] = bestMatch(heardShape, chimeShape, int(onset) - 500, int(onset) + 50);
        QCOMPARE_GT(firstFit, 0.98);
        QCOMPARE_LE(std::abs(onset - firstAudibleMs(chime) - firstAt), 10.0);

        // The second cue replaces the first: from where the chime starts
        // again, its first note sounds alone, without the second note of the
        // first chime, which was sounding just before. A chime that played on
        // instead of restarting would not be found again; two at once would
        // keep the second note in. Looked for past the first chime's second
        // note (from 380 ms).
        const auto [secondFit, secondAt]
            = bestMatch(heardShape, chimeShape, firstAt + 380 + 50, firstAt + secondCueAt + 300);
        QCOMPARE_GT(secondFit, 0.98);
        QCOMPARE_LE(std::abs(secondAt - firstAt - secondCueAt), 50);
        QCOMPARE_GT(secondNoteShare(heard, secondAt - 150, 130), 1.0);
        QCOMPARE_LT(secondNoteShare(heard, secondAt + 20, 280), 0.05);
    }
};

QTEST_GUILESS_MAIN(TestSoundPlayback)

#include "tst_soundplayback.moc"
