#include "SoundCue.h"

#include "MediaControl.h"

namespace sesame {

void SoundCue::operator()(const QString &fileName)
{
    mControl.setCommand(QStringLiteral("Stop"));
    mControl.setCommand(QStringLiteral("Close"));
    mControl.setFileName(fileName);
    mControl.setCommand(QStringLiteral("Open"));
    mControl.setCommand(QStringLiteral("Sound"));
}

} // namespace sesame
