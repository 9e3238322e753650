#include "Servers.h"

#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <chrono>
#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int StartMs = 10000;
constexpr int MonitorRate = 44100;
constexpr int Loud = 330; // |sample| from which a chime is heard

void diesWithUs(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

bool haveProgram(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

bool XServer::start(bool withWindowManager)
{
    diesWithUs(mServer);
    mServer.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    if (!mServer.waitForReadyRead(StartMs))
        return false;
    mDisplay = u':' + QString::fromLatin1(mServer.readAll()).trimmed();
    if (!withWindowManager)
        return true;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), mDisplay);
    mManager.setProcessEnvironment(env);
    diesWithUs(mManager);
    mManager.start(QStringLiteral("openbox"), {});
    QTest::qWait(500); // managing the screen before a window comes
    return mManager.state() == QProcess::Running;
}

bool SoundServer::start()
{
    QFile script(mDir.filePath(QStringLiteral("null.pa")));
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write("load-module module-null-sink sink_name=sesame_null\nset-default-sink sesame_null\n"
                 "load-module module-native-protocol-unix auth-anonymous=1 socket="
                 + mDir.filePath(QStringLiteral("native")).toUtf8() + '\n');
    script.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        env.insert(QString::fromLatin1(name), mDir.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    mDaemon.setProcessEnvironment(env);
    diesWithUs(mDaemon);
    mDaemon.start(QStringLiteral("pulseaudio"),
                  {"-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1", "--disallow-exit",
                   "--use-pid-file=no", "-F", script.fileName()});
    const QString socket = mDir.filePath(QStringLiteral("native"));
    if (!QTest::qWaitFor([&] { return QFile::exists(socket) || mDaemon.state() == QProcess::NotRunning; }, StartMs)
        || mDaemon.state() == QProcess::NotRunning)
        return false;
    diesWithUs(mMonitor);
    mMonitor.start(QStringLiteral("parec"),
                   {"--server=" + address(), "-d", "sesame_null.monitor", "--format=s16le", "--rate=44100",
                    "--channels=1", "--latency-msec=2"});
    // The monitor's stream begins to flow a moment after it connects.
    return QTest::qWaitFor([&] { return mMonitor.bytesAvailable() > 0; }, StartMs);
}

void SoundServer::stop()
{
    mMonitor.kill();
    mDaemon.terminate();
    mDaemon.waitForFinished(StartMs);
    mMonitor.waitForFinished(StartMs);
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
            heard = std::abs(qFromLittleEndian<qint16>(chunk.constData() + i)) >= Loud;
            if (heard && heardAtNs) // the samples after this one came after it
                *heardAtNs = now - (chunk.size() - i) / 2 * 1000000000LL / MonitorRate;
        }
        if (heard)
            loop.quit();
    });
    loop.exec();
    return heard;
}
