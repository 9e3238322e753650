// sesame-pi-chimes: the chime player that sesame-pi starts and talks to
// through its standard input and output. Not meant to be run by hand.

#include "ChimePlayer.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Everything the audio library says goes nowhere: the program reports what
// matters from the answers, once per chime and cause.
void quiet(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

int main(int argc, char **argv)
{
    // Ends with the program, however the program ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        return 0;
    qInstallMessageHandler(quiet);

    QCoreApplication app(argc, argv);
    QStringList searchDirs = QCoreApplication::arguments().mid(1);

    QFile answers;
    if (!answers.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    sesame::ChimePlayer player(searchDirs, answers);
    QObject::connect(&player, &sesame::ChimePlayer::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            QCoreApplication::quit(); // the program has gone
            return;
        }
        if (n > 0)
            pending.append(buffer, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            player.command(pending.left(end));
    });
    return QCoreApplication::exec();
}
