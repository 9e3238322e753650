#pragma once

#include <QProcess>
#include <QTemporaryDir>

// The servers the tests and the benchmark run the program against, each
// ended with the object that started it.

// An X server of its own (Xvfb), optionally with a window manager (openbox).
class XServer
{
public:
    bool start(bool withWindowManager = false);
    QString display() const { return mDisplay; } // ":N"

private:
    QProcess mServer;
    QProcess mManager;
    QString mDisplay;
};

// A private PulseAudio server with one null sink, whose monitor is recorded:
// hears() tells whether anything but silence arrived.
class SoundServer
{
public:
    ~SoundServer() { stop(); }
    bool start();
    void stop();
    qint64 pid() const { return mDaemon.processId(); }
    QString address() const { return QStringLiteral("unix:") + mDir.filePath(QStringLiteral("native")); }
    // Whether anything but silence comes within ms; heardAtNs is when its
    // first loud sample came, on the steady clock.
    bool hears(int ms, qint64 *heardAtNs = nullptr);

private:
    QTemporaryDir mDir;
    QProcess mDaemon;
    QProcess mMonitor;
};

// Whether the programs a fixture starts are installed.
bool haveProgram(const QString &name);
