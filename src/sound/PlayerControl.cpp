#include "PlayerControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSound, "sesame-pi.sound", QtWarningMsg)

namespace sesame {

namespace {

constexpr qint64 MaxQueuedBytes = 4096; // for the player: a player that reads nothing is sent nothing more
constexpr qint64 MaxLine = 1024; // from the player, its newline included; a longer line is dropped whole
constexpr qint64 MaxAnswerBytes = qint64{64} * 1024; // from the player in a second: more is not warnings
constexpr int MaxWarnings = 32;
constexpr qint64 QuickEndMs = 5000; // a player that ends sooner has ended at once
constexpr int MostQuickEnds = 3; // in a row; then it is not started again

} // namespace

PlayerControl::PlayerControl(QString playerPath, QStringList searchDirs, QObject *parent)
    : QObject(parent)
    , mPlayerPath(std::move(playerPath))
    , mSearchDirs(std::move(searchDirs))
{
    start();
}

PlayerControl::~PlayerControl()
{
    end();
    // The players just killed, reaped before they are deleted with us.
    for (QProcess *ended : findChildren<QProcess *>())
        ended->waitForFinished(1000);
}

QString PlayerControl::defaultPlayerPath()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    for (const QString &candidate : {appDir + QStringLiteral("/sesame-pi-chimes"),
                                     appDir + QStringLiteral("/../libexec/sesame-pi/sesame-pi-chimes")}) {
        if (QFileInfo::exists(candidate))
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

void PlayerControl::setCommand(const QString &command)
{
    if (command == u"Stop") {
        send("stop\n");
    } else if (command == u"Close") {
        mOpenName.clear();
    } else if (command == u"Open") {
        mOpenName = mFileName;
        if (!mPlayer && !mGivenUp)
            start();
    } else if (command == u"Sound" && !mOpenName.isEmpty()) {
        const auto askedAt = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        // A line break would end the line: a name cannot have one.
        send("play " + QByteArray::number(askedAt.count()) + ' ' + QString(mOpenName).replace(u'\n', u' ').toUtf8()
             + '\n');
    }
}

void PlayerControl::send(const QByteArray &line)
{
    if (mPlayer && mPlayer->bytesToWrite() < MaxQueuedBytes)
        mPlayer->write(line);
}

void PlayerControl::start()
{
    mPlayer = new QProcess(this);
    mPlayer->setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that it is ended with whatever it starts, and
    // it ends with the program, however the program ends. So does what it
    // started: a keeper in its group waits until the program's end of the
    // player's input is closed, which happens even to a program killed
    // outright, and then ends the whole group.
    mPlayer->setChildProcessModifier([] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::_Fork() != 0)
            return;
        ::close_range(STDOUT_FILENO, ~0U, 0);
        pollfd input = {STDIN_FILENO, 0, 0};
        while (::poll(&input, 1, -1) < 0 && errno == EINTR)
            continue;
        ::kill(0, SIGKILL);
        ::_exit(0);
    });
    connect(mPlayer, &QProcess::readyReadStandardOutput, this, &PlayerControl::readAnswers);
    connect(mPlayer, &QProcess::finished, this, &PlayerControl::ended);
    connect(mPlayer, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        // Not tried again: the chimes stay silent, with this one warning.
        warnOnce(QStringLiteral("cannot start the chime player \"%1\": %2").arg(mPlayerPath, mPlayer->errorString()));
        mGivenUp = true;
        end();
    });
    mAnswerBytes = 0;
    mSkipping = false;
    mStarted.start();
    mAnswerClock.start();
    mPlayer->start(mPlayerPath, mSearchDirs);
    mGroup = mPlayer ? mPlayer->processId() : 0; // gone already when it failed to start
}

void PlayerControl::ended()
{
    if (mStarted.elapsed() >= QuickEndMs) {
        mQuickEnds = 0;
    } else if (++mQuickEnds == MostQuickEnds) {
        warnOnce(QStringLiteral("the chime player \"%1\" keeps ending; the chimes stay silent").arg(mPlayerPath));
        mGivenUp = true;
    }
    end();
}

void PlayerControl::end()
{
    if (!mPlayer)
        return;
    QProcess *player = std::exchange(mPlayer, nullptr);
    player->disconnect(this);
    if (mGroup > 0)
        ::kill(-static_cast<pid_t>(std::exchange(mGroup, 0)), SIGKILL);
    // Reaped when it is gone, at once after SIGKILL, without waiting here.
    if (player->state() == QProcess::NotRunning)
        player->deleteLater();
    else
        connect(player, &QProcess::finished, player, &QObject::deleteLater);
}

void PlayerControl::readAnswers()
{
    // A line is taken once all of it has come, or once more has come than a
    // line may hold.
    while (mPlayer && (mPlayer->canReadLine() || mPlayer->bytesAvailable() > MaxLine)) {
        const QByteArray line = mPlayer->readLine(MaxLine + 1); // room for the terminating null
        const bool whole = line.endsWith('\n');
        if (whole && !mSkipping)
            warnOnce(QString::fromUtf8(line.chopped(1)));
        mSkipping = !whole;
        if (mAnswerClock.elapsed() > 1000) {
            mAnswerClock.start();
            mAnswerBytes = 0;
        }
        if ((mAnswerBytes += line.size()) > MaxAnswerBytes) {
            warnOnce(QStringLiteral("the chime player \"%1\" says too much; it was ended").arg(mPlayerPath));
            ended();
        }
    }
}

void PlayerControl::warnOnce(const QString &line)
{
    // Nothing that moves the terminal's cursor or turns its text round.
    QString text = line;
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            c = u'?';
    if (mWarned.size() >= MaxWarnings || mWarned.contains(text))
        return;
    mWarned.insert(text);
    qCWarning(lcSound).noquote() << text;
    if (mWarned.size() == MaxWarnings)
        qCWarning(lcSound, "further warnings about the chimes are not shown");
}

} // namespace sesame
