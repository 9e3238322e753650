#include "Servers.h"

#include <QEventLoop>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <chrono>
#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int StartMs = 10000;

void start(QProcess &process, const QString &program, const QStringList &arguments,
           const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    process.setProcessEnvironment(env);
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }); // ends with us, however we end
    process.start(program, arguments);
}

} // namespace

bool SoundServer::start()
{
    const QString socket = mDir.filePath(QStringLiteral("native"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        env.insert(QString::fromLatin1(name), mDir.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    ::start(mDaemon, QStringLiteral("pulseaudio"),
            {"-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
             "-L", "module-null-sink sink_name=sesame_null", "-L",
             "module-native-protocol-unix auth-anonymous=1 socket=" + socket},
            env);
    if (!QTest::qWaitFor([&] { return QFile::exists(socket); }, StartMs))
        return false;
    ::start(mMonitor, QStringLiteral("parec"),
            {"--server=" + address(), "-d", "sesame_null.monitor", "--format=s16le", "--rate=44100", "--channels=1",
             "--latency-msec=2"});
    // The monitor's stream begins to flow a moment after it connects.
    return QTest::qWaitFor([&] { return mMonitor.bytesAvailable() > 0; }, StartMs);
}

void SoundServer::stop()
{
    for (QProcess *process : {&mMonitor, &mDaemon}) {
        process->kill();
        process->waitForFinished(StartMs);
    }
    QFile::remove(mDir.filePath(QStringLiteral("native")));
}

bool SoundServer::hears(int ms, qint64 *heardAtNs)
{
    do // what came before is not what is listened for
        mMonitor.readAll();
    while (mMonitor.waitForReadyRead(0));
    QEventLoop loop;
    bool heard = false;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(&mMonitor, &QProcess::readyReadStandardOutput, &loop, [&] {
        const qint64 now = std::chrono::steady_clock::now().time_since_epoch().count();
        const QByteArray chunk = mMonitor.readAll();
        for (qsizetype i = 0; i + 1 < chunk.size() && !heard; i += 2) {
            heard = std::abs(qFromLittleEndian<qint16>(chunk.constData() + i)) >= 330;
            if (heard && heardAtNs) // the samples after this one, at 44.1 kHz, came after it
                *heardAtNs = now - (chunk.size() - i) / 2 * 1000000000LL / 44100;
        }
        if (heard)
            loop.quit();
    });
    loop.exec();
    return heard;
}
