#pragma once

#include <QString>

namespace sesame {

// A multimedia device driven by text commands, one file at a time: set
// FileName, then send "Open" to open the device on it, "Sound" to play it once
// without waiting, "Stop" to stop playing and "Close" to release the device.
// "Stop" and "Close" with nothing open are accepted and do nothing.
class MediaControl
{
public:
    virtual ~MediaControl() = default;

    virtual void setFileName(const QString &fileName) = 0;
    virtual void setCommand(const QString &command) = 0;

protected:
    MediaControl() = default;
    MediaControl(const MediaControl &) = default;
    MediaControl &operator=(const MediaControl &) = default;
};

} // namespace sesame
