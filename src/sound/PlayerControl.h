#pragma once

#include "MediaControl.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QStringList>

class QProcess;

namespace sesame {

// The media control the window's chimes play through. It hands each chime to
// the chime player, a process of its own (sesame-pi-chimes), as one line on a
// pipe, and never waits for it. The player answers only with warnings, shown
// once each in the "sesame-pi.sound" logging category.
//
// Whatever the player does costs the window a bounded amount: a few lines
// queued for it, a line at a time from it, a few warnings. A player that says
// too much is ended; one that ends soon after it started is started again at
// the next chime, up to three times in a row. A player is always ended
// together with everything it started.
class PlayerControl : public QObject, public MediaControl
{
    Q_OBJECT

public:
    // The player's path, and where it looks up bare chime names, in order.
    PlayerControl(QString playerPath, QStringList searchDirs, QObject *parent = nullptr);
    ~PlayerControl() override;

    void setFileName(const QString &fileName) override { mFileName = fileName; }
    void setCommand(const QString &command) override;

    // The player beside the program, or installed for it.
    static QString defaultPlayerPath();
    // The directory of the executable, the data directory installed beside
    // it, the one the program was built for, and last the working directory.
    static QStringList defaultSearchDirs();

private:
    void start();
    void ended();
    void end();
    void send(const QByteArray &line);
    void readAnswers();
    void warnOnce(const QString &line);

    QString mPlayerPath;
    QStringList mSearchDirs;
    QString mFileName;
    QString mOpenName;
    QProcess *mPlayer = nullptr;
    qint64 mGroup = 0; // the player's process group
    QElapsedTimer mStarted;
    int mQuickEnds = 0; // in a row
    bool mGivenUp = false; // no player is started any more
    QElapsedTimer mAnswerClock;
    qint64 mAnswerBytes = 0; // since mAnswerClock started
    bool mSkipping = false; // the rest of an overlong answer
    QSet<QString> mWarned;
};

} // namespace sesame
