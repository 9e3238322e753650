#pragma once

#include "MediaControl.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QStringList>

class QProcess;

namespace sesame {

// The media control the window's chimes play through: it hands each command
// to the chime player, a process of its own (sesame-pi-chimes), and never
// waits for it. A command costs the caller a few bytes written to a pipe.
//
// The player is started with the control and started again when it has
// ended (no sound server, a crash), so that a sound server that comes later
// is used by the next chime; when the server it played on went away, the
// new player is handed the chime at once. A player that has answered
// nothing for StallMs is stuck on a stalled server: it is given up and
// replaced at the next chime.
//
// A chime that cannot be played is reported once per file and cause, as a
// warning in the "sesame-pi.sound" logging category.
class PlayerControl : public QObject, public MediaControl
{
    Q_OBJECT

public:
    static constexpr int StallMs = 2000;

    // The player's path, and where it looks up bare chime names.
    PlayerControl(QString playerPath, QStringList searchDirs, QObject *parent = nullptr);
    ~PlayerControl() override;

    // Looks chimes up elsewhere from now on: a new player is started.
    void setSearchDirs(const QStringList &dirs);

    void setFileName(const QString &fileName) override;
    void setCommand(const QString &command) override;

    // The installed player beside the program, or in its libexec directory.
    static QString defaultPlayerPath();
    // The directory of the executable, the data directory installed beside
    // it, the one the program was built for, and last the working directory.
    static QStringList defaultSearchDirs();

private:
    void send(const QByteArray &line);
    void startPlayer();
    void endPlayer();
    void readAnswers();
    void warnOnce(const QString &line);

    QString mPlayerPath;
    QStringList mSearchDirs;
    QString mFileName;
    QByteArray mLastCue; // the commands of the latest chime, to hand on
    bool mHandOn = false;
    QProcess *mPlayer = nullptr;
    int mUnanswered = 0; // "sound" commands the player has not answered yet
    QElapsedTimer mOldestUnanswered;
    QSet<QString> mWarned;
};

} // namespace sesame
