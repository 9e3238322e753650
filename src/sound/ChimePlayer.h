#pragma once

#include "ChimeFile.h"

#include <QAudioDevice>
#include <QBuffer>
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>

#include <memory>

class QAudioSink;
class QIODevice;

namespace sesame {

// The chime player: a process of its own that the program starts and feeds
// with one command a line on its standard input ("stop", "close",
// "open NAME", "sound"), answering on standard output.
//
// It lives apart from the window so that nothing the sound server does can
// hold up the window: a server that stalls stalls this process only, one
// that is gone or restarted is met afresh by the next player, and a file
// that upsets the audio library takes this process down, not the program.
//
// Answers, one a line: "played" once a "sound" has been dealt with (started,
// or given up), and "cannot NAME CAUSE" when a chime cannot be played, NAME
// percent-encoded. "sound" carries the monotonic clock's milliseconds when
// it was asked for: a chime asked for more than LateMs ago (the player was
// held up by a stalled server) is not played at all.
//
// Qt connects to the sound server once and does not look for one again
// after it has failed, so a player without a server ends: after "cannot
// ... no audio output device" when it never had one, or after "lost" when
// the one it had went away (stopped, restarted). The program then starts a
// new player, and after "lost" hands it the same chime again.
class ChimePlayer : public QObject
{
    Q_OBJECT

public:
    // Bare names are looked up in searchDirs, in order; the first entry by
    // that name wins, whatever it turns out to be.
    static constexpr qint64 LateMs = 1000;

    ChimePlayer(QStringList searchDirs, QIODevice &answers);
    ~ChimePlayer() override;

    void command(const QByteArray &line);

    // The path a bare name resolves to, or the name itself when none has it.
    QString find(const QString &name) const;

signals:
    void finished();

private:
    struct Cached
    {
        QByteArray identity; // device, inode, size and modification time
        QString problem;
        int sampleRate = 0;
        int channels = 0;
        QByteArray pcm;
    };

    void stop();
    void close();
    void open(const QString &name);
    void sound(qint64 askedAtMs);
    const Cached &load(const QString &path);
    void lostOutput();
    void answer(const QByteArray &line);
    void cannotPlay(const QString &name, const QString &cause);

    QStringList mSearchDirs;
    QIODevice &mAnswers;
    QHash<QString, Cached> mCache;
    QString mOpenName;
    QString mOpenPath;
    const Cached *mOpen = nullptr;
    std::unique_ptr<QAudioSink> mSink;
    QBuffer mSamples;
    bool mHadOutput = false;
};

} // namespace sesame
