#include "PlayerControl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>

Q_LOGGING_CATEGORY(lcSound, "sesame-pi.sound", QtWarningMsg)

namespace sesame {

namespace {

// Commands that pile up behind a player that reads nothing are dropped
// rather than held: a chime late by minutes is no chime.
constexpr qint64 MaxQueuedBytes = 4096;

} // namespace

PlayerControl::PlayerControl(QString playerPath, QStringList searchDirs, QObject *parent)
    : QObject(parent)
    , mPlayerPath(std::move(playerPath))
    , mSearchDirs(std::move(searchDirs))
{
    startPlayer();
}

PlayerControl::~PlayerControl()
{
    endPlayer();
}

QString PlayerControl::defaultPlayerPath()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    for (const QString &candidate : {appDir + QStringLiteral("/sesame-pi-chimes"),
                                     appDir + QStringLiteral("/../libexec/sesame-pi/sesame-pi-chimes"),
                                     QStringLiteral(SESAME_PI_LIBEXECDIR "/sesame-pi-chimes")}) {
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    }
    return QStringLiteral(SESAME_PI_LIBEXECDIR "/sesame-pi-chimes");
}

QStringList PlayerControl::defaultSearchDirs()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    return {appDir, QDir::cleanPath(appDir + QStringLiteral("/../share/sesame-pi")), QStringLiteral(SESAME_PI_DATADIR),
            QDir::currentPath()};
}

void PlayerControl::setSearchDirs(const QStringList &dirs)
{
    endPlayer();
    mSearchDirs = dirs;
    startPlayer();
}

void PlayerControl::setFileName(const QString &fileName)
{
    mFileName = fileName;
}

void PlayerControl::setCommand(const QString &command)
{
    if (command == QLatin1String("Stop")) {
        send("stop");
    } else if (command == QLatin1String("Close")) {
        send("close");
    } else if (command == QLatin1String("Open")) {
        // A player that has sat on a chime for StallMs is stuck on its sound
        // server: a new one meets the server afresh once it is back.
        if (mUnanswered > 0 && mOldestUnanswered.hasExpired(StallMs))
            endPlayer();
        if (!mPlayer)
            startPlayer();
        mLastCue = "open " + QUrl::toPercentEncoding(mFileName);
        send(mLastCue);
    } else if (command == QLatin1String("Sound")) {
        if (mUnanswered++ == 0)
            mOldestUnanswered.start();
        mLastCue += "\nsound " + QByteArray::number(QDeadlineTimer::current().deadline());
        send(mLastCue.mid(mLastCue.lastIndexOf('\n') + 1));
        // Out now, not when the event loop next looks: the chime should not
        // wait for the run that asked for it. Returns at once.
        if (mPlayer)
            mPlayer->waitForBytesWritten(0);
    } else {
        warnOnce(QStringLiteral("unknown media command \"%1\"").arg(command));
    }
}

void PlayerControl::send(const QByteArray &line)
{
    if (mPlayer && mPlayer->bytesToWrite() < MaxQueuedBytes)
        mPlayer->write(line + '\n');
}

void PlayerControl::startPlayer()
{
    mUnanswered = 0;
    mPlayer = new QProcess(this);
    mPlayer->setProgram(mPlayerPath);
    mPlayer->setArguments(mSearchDirs);
    // What the audio library says on its way is not the user's business;
    // the answers carry what is.
    mPlayer->setStandardErrorFile(QProcess::nullDevice());
    mPlayer->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    connect(mPlayer, &QProcess::readyReadStandardOutput, this, &PlayerControl::readAnswers);
    connect(mPlayer, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        warnOnce(QStringLiteral("cannot start the chime player \"%1\": %2")
                     .arg(QDir::toNativeSeparators(mPlayerPath), mPlayer->errorString()));
        mPlayer->deleteLater();
        mPlayer = nullptr;
    });
    connect(mPlayer, &QProcess::finished, this, [this, player = mPlayer](int, QProcess::ExitStatus status) {
        if (status == QProcess::CrashExit)
            warnOnce(QStringLiteral("the chime player stopped unexpectedly"));
        if (player == mPlayer) {
            readAnswers();
            mPlayer = nullptr;
            if (std::exchange(mHandOn, false) && mLastCue.contains('\n')) {
                startPlayer();
                send(mLastCue);
                mUnanswered = 1;
                mOldestUnanswered.start();
            }
        }
        player->deleteLater();
    });
    mPlayer->start();
}

void PlayerControl::endPlayer()
{
    if (!mPlayer)
        return;
    QProcess *player = std::exchange(mPlayer, nullptr);
    player->disconnect(this);
    player->kill();
    // Gone at once after SIGKILL; waited for so that no zombie is left.
    player->waitForFinished(1000);
    delete player;
}

void PlayerControl::readAnswers()
{
    while (mPlayer && mPlayer->canReadLine()) {
        const QByteArray line = mPlayer->readLine().trimmed();
        if (line == "lost") {
            mHandOn = true;
        } else if (line == "played") {
            mUnanswered = std::max(0, mUnanswered - 1);
            mOldestUnanswered.start();
        } else if (line.startsWith("cannot ")) {
            const QByteArray rest = line.mid(7);
            const qsizetype space = rest.indexOf(' ');
            const QByteArray file = rest.left(space);
            const QString cause = QString::fromUtf8(rest.mid(space + 1));
            warnOnce(QStringLiteral("cannot play \"%1\": %2")
                         .arg(QDir::toNativeSeparators(QUrl::fromPercentEncoding(file)), cause));
        }
    }
}

void PlayerControl::warnOnce(const QString &line)
{
    // The same chime is played at every run: one line per cause is enough.
    if (!mWarned.contains(line)) {
        mWarned.insert(line);
        qCWarning(lcSound).noquote() << line;
    }
}

} // namespace sesame
