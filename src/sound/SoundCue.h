#pragma once

#include "MediaControl.h"

namespace sesame {

// The two chimes, by file name, looked up when played.
inline const QString RunCueFile = QStringLiteral(SESAME_PI_RUN_CHIME);
inline const QString ExitCueFile = QStringLiteral(SESAME_PI_EXIT_CHIME);

// Plays a chime through the window's media control: the named file is heard
// once from its start, replacing any chime still sounding, and the caller goes
// on at once.
class SoundCue
{
public:
    explicit SoundCue(MediaControl &control)
        : mControl(control)
    {
    }

    void operator()(const QString &fileName)
    {
        mControl.setCommand(QStringLiteral("Stop"));
        mControl.setCommand(QStringLiteral("Close"));
        mControl.setFileName(fileName);
        mControl.setCommand(QStringLiteral("Open"));
        mControl.setCommand(QStringLiteral("Sound"));
    }

private:
    MediaControl &mControl;
};

} // namespace sesame
