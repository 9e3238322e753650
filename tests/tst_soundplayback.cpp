#include "sound/SoundCue.h"
#include "sound/SoundEffectControl.h"

#include <QAudioDevice>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

using namespace sesame;

namespace {

using Samples = std::vector<qint16>;

constexpr int Rate = 44100;
constexpr qsizetype samplesIn(int ms)
{
    return qsizetype(ms) * Rate / 1000;
}
double msIn(qsizetype samples)
{
    return double(samples) * 1000.0 / Rate;
}

// Above about -40 dBFS: the null sink's monitor is digital zero when nothing
// plays, so this is well clear of any noise.
constexpr int AudibleLevel = 330;
// The run chime (scripts/make-chimes.py): E5 from the start, C5 from 380 ms.
constexpr double FirstNoteHz = 659.26;
constexpr double SecondNoteHz = 523.25;
constexpr qsizetype SecondNoteAt = samplesIn(380);
// How much of the chime is matched against what was heard: the first note and
// the attack of the second, which pins down where the chime started.
constexpr qsizetype ShapeLength = samplesIn(420);

// 16-bit little-endian samples.
Samples decode(const QByteArray &bytes)
{
    Samples samples(std::size_t(bytes.size() / 2));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = qFromLittleEndian<qint16>(bytes.constData() + 2 * i);
    return samples;
}

// A child process that ends with the test even if the test crashes.
void startWithParent(QProcess &process)
{
#ifdef Q_OS_LINUX
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#else
    Q_UNUSED(process);
#endif
}

void endProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

// A private PulseAudio server with one null sink, whose monitor lets the test
// hear what was played. Everything it keeps lives in the given directory.
//
// Started as
//   pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1
//              --disallow-exit --use-pid-file=no --log-target=stderr -F <script>
// with HOME, XDG_RUNTIME_DIR, XDG_CONFIG_HOME, PULSE_RUNTIME_PATH and
// PULSE_STATE_PATH inside the directory. As root it only warns that it is "not
// intended to be run as root" and runs anyway, as long as --system is not
// given. -n skips default.pa, which would look for real sound cards and a
// session bus; the script loads the null sink and a native socket that takes
// clients without a cookie.
class PulseDaemon
{
public:
    explicit PulseDaemon(const QString &dir)
        : mDir(dir)
    {
    }
    ~PulseDaemon() { endProcess(mProcess); }

    QString socketPath() const { return QDir(mDir).filePath(QStringLiteral("native")); }
    bool isRunning() const { return mProcess.state() != QProcess::NotRunning; }
    QString log() { return QString::fromLocal8Bit(mProcess.readAllStandardError()); }

    bool start()
    {
        const QDir dir(mDir);
        QFile script(dir.filePath(QStringLiteral("sesame.pa")));
        if (!script.open(QIODevice::WriteOnly | QIODevice::Text))
            return false;
        script.write("load-module module-null-sink sink_name=sesame_null\n"
                     "set-default-sink sesame_null\n"
                     // Last, so that the socket appearing means the sink is there.
                     "load-module module-native-protocol-unix auth-anonymous=1 socket="
                     + QFile::encodeName(socketPath()) + '\n');
        script.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("PULSE_SERVER"));
        env.insert(QStringLiteral("HOME"), mDir);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), mDir);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), dir.filePath(QStringLiteral("state")));
        // Keeps it off any desktop session bus the test might run under.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + dir.filePath(QStringLiteral("no-bus")));
        mProcess.setProcessEnvironment(env);
        startWithParent(mProcess);
        mProcess.start(QStringLiteral("pulseaudio"),
                       {"-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "--disallow-exit",
                        "--use-pid-file=no", "--log-target=stderr", "-F", script.fileName()});
        return mProcess.waitForStarted(5000);
    }

private:
    QString mDir;
    QProcess mProcess;
};

// parec on the null sink's monitor, mono 16-bit at the chime's rate, into a
// raw file. The sink renders as far ahead as the monitor's latency allows,
// and that matters twice: left to itself it renders two seconds at a time,
// and a stream that ends within such a block is never heard on the monitor;
// and when a stream starts, the sink rewinds to mix it in at once, but what
// the monitor already sent is not sent again, so up to one latency of the
// stream's start is missing from the recording (a sound card would play it).
// At 20 ms that cut up to 20 ms off the chime; at 2 ms, at most 2 ms.
class Recorder
{
public:
    ~Recorder() { endProcess(mProcess); }

    bool start(const QString &path)
    {
        mPath = path;
        mProcess.setStandardOutputFile(path);
        startWithParent(mProcess);
        mProcess.start(
            QStringLiteral("parec"),
            {"-d", "sesame_null.monitor", "--format=s16le", "--rate=44100", "--channels=1", "--latency-msec=2"});
        return mProcess.waitForStarted(5000);
    }
    qsizetype recordedSamples() const { return QFileInfo(mPath).size() / 2; }
    void stop() { endProcess(mProcess); }

    Samples samples() const
    {
        QFile file(mPath);
        return file.open(QIODevice::ReadOnly) ? decode(file.readAll()) : Samples();
    }

private:
    QString mPath;
    QProcess mProcess;
};

// The samples of a WAV file's data chunk, 16-bit mono assumed.
Samples wavSamples(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const qsizetype data = bytes.indexOf("data", 12);
    if (data < 0 || data + 8 > bytes.size())
        return {};
    const auto size = qsizetype(qFromLittleEndian<quint32>(bytes.constData() + data + 4));
    return decode(bytes.mid(data + 8, size));
}

double rms(const Samples &s, qsizetype from, qsizetype count)
{
    double sum = 0;
    const qsizetype end = std::min(from + count, qsizetype(s.size()));
    for (qsizetype i = from; i < end; ++i)
        sum += double(s[std::size_t(i)]) * s[std::size_t(i)];
    return end > from ? std::sqrt(sum / double(end - from)) : 0.0;
}

qsizetype firstAudible(const Samples &s, qsizetype from = 0)
{
    const auto it = std::find_if(s.begin() + from, s.end(), [](qint16 v) { return std::abs(v) >= AudibleLevel; });
    return it == s.end() ? -1 : qsizetype(it - s.begin());
}

// Loudness every millisecond (RMS over 10 ms). Compared as a shape it tells
// where a chime starts in what was heard; the samples themselves are no good
// for that, as the way to the monitor does not keep the phase of every
// partial.
constexpr qsizetype EnvelopeHop = 44;
constexpr qsizetype EnvelopeWindow = 441;

std::vector<double> envelope(const Samples &s)
{
    std::vector<double> env;
    for (qsizetype at = 0; at + EnvelopeWindow <= qsizetype(s.size()); at += EnvelopeHop)
        env.push_back(rms(s, at, EnvelopeWindow));
    return env;
}

// Where the chime's own envelope over its first ShapeLength fits the heard
// one best, searched from `from` to `to` (in samples), and how well: the
// correlation coefficient of the two shapes.
struct Match
{
    qsizetype at = -1;
    double r = -1.0;
};

Match bestMatch(const std::vector<double> &heard, const std::vector<double> &chime, qsizetype from, qsizetype to)
{
    const qsizetype n = std::min(ShapeLength / EnvelopeHop, qsizetype(chime.size()));
    double chimeMean = 0;
    for (qsizetype i = 0; i < n; ++i)
        chimeMean += chime[std::size_t(i)] / double(n);
    Match best;
    const qsizetype last = std::min(to / EnvelopeHop, qsizetype(heard.size()) - n);
    for (qsizetype k = std::max<qsizetype>(from / EnvelopeHop, 0); k <= last; ++k) {
        double heardMean = 0;
        for (qsizetype i = 0; i < n; ++i)
            heardMean += heard[std::size_t(k + i)] / double(n);
        double hc = 0, hh = 0, cc = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const double h = heard[std::size_t(k + i)] - heardMean;
            const double c = chime[std::size_t(i)] - chimeMean;
            hc += h * c;
            hh += h * h;
            cc += c * c;
        }
        const double r = hh > 0 && cc > 0 ? hc / std::sqrt(hh * cc) : -1.0;
        if (r > best.r)
            best = {k * EnvelopeHop, r};
    }
    return best;
}

// The power of one frequency over a stretch (Goertzel).
double tonePower(const Samples &s, qsizetype from, qsizetype count, double hz)
{
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * hz / Rate);
    double s1 = 0, s2 = 0;
    for (qsizetype i = from; i < from + count && i < qsizetype(s.size()); ++i) {
        const double s0 = s[std::size_t(i)] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

// How much louder the second note is than the first over a stretch.
double secondNoteShare(const Samples &s, qsizetype from, qsizetype count)
{
    return tonePower(s, from, count, SecondNoteHz) / std::max(tonePower(s, from, count, FirstNoteHz), 1.0);
}

} // namespace

class TestSoundPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void chimeIsHeard_data();
    void chimeIsHeard();

private:
    std::unique_ptr<QTemporaryDir> mDir;
    std::unique_ptr<PulseDaemon> mDaemon;
    QString mAssets;
    Samples mChime;
    int mRecordings = 0;
};

void TestSoundPlayback::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()) {
        QSKIP("needs pulseaudio and parec (Debian packages pulseaudio and pulseaudio-utils)");
    }
    mAssets = qEnvironmentVariable("SESAME_PI_ASSETS");
    if (mAssets.isEmpty())
        QSKIP("SESAME_PI_ASSETS is not set: run through ctest");
    mChime = wavSamples(QDir(mAssets).filePath(RunCueFile));
    QVERIFY2(qsizetype(mChime.size()) > ShapeLength, "cannot read the run chime");

    mDir = std::make_unique<QTemporaryDir>();
    QVERIFY(mDir->isValid());
    mDaemon = std::make_unique<PulseDaemon>(mDir->path());
    QVERIFY2(mDaemon->start(), "pulseaudio did not start");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(mDaemon->socketPath()) || !mDaemon->isRunning(), 10000);
    QVERIFY2(mDaemon->isRunning(), qPrintable(mDaemon->log()));

    // Before anything asks Qt Multimedia for a device: it connects once.
    // The cookie setting keeps the client from writing one into $HOME.
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(mDaemon->socketPath()));
    qputenv("PULSE_COOKIE", QFile::encodeName(mDir->filePath(QStringLiteral("client-cookie"))));
    QVERIFY2(!QMediaDevices::defaultAudioOutput().isNull(), "Qt sees no output on the private server");
}

void TestSoundPlayback::cleanupTestCase()
{
    mDaemon.reset();
    mDir.reset();
}

void TestSoundPlayback::chimeIsHeard_data()
{
    QTest::addColumn<int>("replaceAfterMs");
    QTest::newRow("one cue") << 0;
    // During the second note, so that the two cannot be mistaken.
    QTest::newRow("second cue while sounding") << 600;
}

void TestSoundPlayback::chimeIsHeard()
{
    QFETCH(int, replaceAfterMs);

    Recorder recorder;
    QVERIFY(recorder.start(mDir->filePath(QStringLiteral("heard-%1.raw").arg(++mRecordings))));
    // The monitor stream begins to flow a second or two after parec connects;
    // a chime played before that would be lost. A quiet second is kept as the
    // reference for silence.
    QTRY_VERIFY_WITH_TIMEOUT(recorder.recordedSamples() >= Rate, 10000);

    SoundEffectControl control({mAssets});
    QStringList warnings;
    control.setWarningSink([&warnings](const QString &line) { warnings << line; });
    SoundCue cue(control);
    QElapsedTimer clock;
    clock.start();
    cue(RunCueFile);
    qint64 secondCueAt = 0;
    if (replaceAfterMs > 0) {
        QTest::qWait(replaceAfterMs);
        secondCueAt = clock.elapsed();
        cue(RunCueFile);
    }
    QTest::qWait(1500);
    recorder.stop();
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));

    const Samples heard = recorder.samples();

    const qsizetype onset = firstAudible(heard);
    QVERIFY2(onset >= 0, "the chime was not heard");
    QVERIFY2(onset >= Rate, "sound before the chime was played");

    const double quiet = rms(heard, 0, Rate);
    const double loud = rms(heard, onset, samplesIn(800));
    const double own = rms(mChime, 0, samplesIn(800));
    qInfo("RMS: quiet %.1f, heard %.1f, in the file %.1f", quiet, loud, own);
    QVERIFY2(loud > 20 * quiet && loud > own / 2, "the chime is too quiet");

    // Heard from its start: where the chime's shape places its start, the
    // chime's own first audible sample is the first one heard. A chime
    // started late into the file would be placed before its first sound.
    const std::vector<double> heardShape = envelope(heard);
    const std::vector<double> chimeShape = envelope(mChime);
    const qsizetype chimeOnset = firstAudible(mChime);
    const Match first = bestMatch(heardShape, chimeShape, onset - samplesIn(500), onset + samplesIn(50));
    const double lateMs = msIn(onset - chimeOnset - first.at);
    QVERIFY2(first.at >= 0, "the recording is too short");
    qInfo("first chime: shape match %.4f, heard %.1f ms after its start", first.r, lateMs);
    QVERIFY2(first.r > 0.98, "what is heard does not sound like the chime");
    QVERIFY2(std::abs(lateMs) <= 10.0, "the chime is not heard from its start");
    if (replaceAfterMs == 0)
        return;

    // The second cue replaces the first: from where the chime starts again,
    // its first note sounds alone, without the second note of the first
    // chime, which was sounding just before. A chime that played on instead
    // of restarting would not be found again; two at once would keep the
    // second note in.
    const Match second = bestMatch(heardShape, chimeShape, first.at + SecondNoteAt + samplesIn(50),
                                   first.at + samplesIn(int(secondCueAt) + 300));
    QVERIFY2(second.at >= 0, "the recording is too short");
    const double before = secondNoteShare(heard, second.at - samplesIn(150), samplesIn(130));
    const double after = secondNoteShare(heard, second.at + samplesIn(20), samplesIn(280));
    qInfo("second chime: %.1f ms after the first (cue after %lld ms), shape match %.4f, "
          "second note to first before it %.3f, after it %.5f",
          msIn(second.at - first.at), secondCueAt, second.r, before, after);
    QVERIFY2(second.r > 0.98, "the chime is not heard again from its start");
    QVERIFY2(std::abs(msIn(second.at - first.at) - double(secondCueAt)) <= 50.0,
             "the second chime is not heard from its start when it was asked for");
    QVERIFY2(before > 1.0, "the first chime was not in its second note when replaced");
    QVERIFY2(after < 0.05, "the first chime goes on under the second");
}

QTEST_GUILESS_MAIN(TestSoundPlayback)

#include "tst_soundplayback.moc"
