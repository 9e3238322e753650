#pragma once

#include "MediaControl.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QSoundEffect;

namespace sesame {

// The media control the window plays its chimes through, on Qt Multimedia's
// QSoundEffect.
//
// Every "Open" makes a fresh effect and every "Close" deletes it: play() on an
// effect that is still sounding may not start it again, and a chime must be
// heard from its start each time. Nothing here waits: "Sound" starts the
// effect, or has it start as soon as the file has loaded.
//
// A chime that cannot be played never stops the program: the cause goes to
// standard error as one warning line, once per file and cause, and the
// command does nothing.
class SoundEffectControl : public QObject, public MediaControl
{
    Q_OBJECT

public:
    using WarningSink = std::function<void(const QString &line)>;
    using OutputProbe = std::function<bool()>;

    // Looks chimes up in defaultSearchDirs().
    explicit SoundEffectControl(QObject *parent = nullptr);
    explicit SoundEffectControl(QStringList searchDirs, QObject *parent = nullptr);
    ~SoundEffectControl() override;

    void setFileName(const QString &fileName) override;
    void setCommand(const QString &command) override;

    // Where a bare file name is looked for, first match wins: the current
    // directory ("." is taken at the time of the lookup), the executable's
    // directory, the data directory installed beside it, and the data
    // directory the program was built for.
    static QStringList defaultSearchDirs();
    void setSearchDirs(const QStringList &dirs) { mSearchDirs = dirs; }

    // The absolute path a bare name resolves to, or an empty string.
    QString findFile(const QString &fileName) const;

    // Warning lines go to standard error unless a sink is set.
    void setWarningSink(WarningSink sink) { mWarningSink = std::move(sink); }

    // Whether an audio output exists; asks Qt Multimedia unless replaced.
    void setOutputProbe(OutputProbe probe) { mOutputProbe = std::move(probe); }

    // The effect the last "Open" made, until "Close"; null when none.
    QSoundEffect *effect() const { return mEffect.get(); }

private:
    void stop();
    void close();
    void open();
    void sound();
    void onStatusChanged();
    bool outputPresent() const;
    void warnOnce(const QString &line);
    void cannotPlay(const QString &file, const QString &cause);

    QStringList mSearchDirs;
    WarningSink mWarningSink;
    OutputProbe mOutputProbe;
    QString mFileName;
    QString mOpenPath;
    std::unique_ptr<QSoundEffect> mEffect;
    bool mPlayWhenReady = false;
    QSet<QString> mWarned;
};

} // namespace sesame
