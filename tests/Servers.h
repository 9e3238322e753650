#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// The sound server the tests and the benchmark run the chimes against: a
// PulseAudio server of its own with one null sink, whose monitor is
// recorded; ended with the object that started it. (For X, both run the
// program under Debian's xvfb-run.)
class SoundServer
{
public:
    ~SoundServer() { stop(); }
    bool start();
    void stop();
    QString address() const { return QStringLiteral("unix:") + mDir.filePath(QStringLiteral("native")); }
    // Whether anything but silence comes within ms; heardAtNs is when its
    // first loud sample came, on the steady clock.
    bool hears(int ms, qint64 *heardAtNs = nullptr);

private:
    QTemporaryDir mDir;
    QProcess mDaemon, mMonitor;
};

inline bool haveProgram(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// What the program warns about its chimes (the "sesame-pi.sound" category),
// once keepSoundWarnings is the message handler.
inline QStringList soundWarnings;
inline void keepSoundWarnings(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "sesame-pi.sound") == 0)
        soundWarnings << message;
}
