#include "SoundEffectControl.h"

#include "WavCheck.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <cstdio>
#include <exception>
#include <filesystem>

namespace sesame {

namespace {

// The first time Qt looks for an audio output without a sound server it says
// so itself ("PulseAudioService: pa_context_connect() failed"); the program's
// own warning line names the chime and the cause instead.
QtMessageHandler gForwardMessagesTo = nullptr;

void dropSoundServerNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("PulseAudioService:")))
        gForwardMessagesTo(type, context, message);
}

bool audioOutputPresent()
{
    gForwardMessagesTo = qInstallMessageHandler(dropSoundServerNoise);
    const bool present = !QMediaDevices::defaultAudioOutput().isNull();
    qInstallMessageHandler(gForwardMessagesTo);
    return present;
}

} // namespace

SoundEffectControl::SoundEffectControl(QObject *parent)
    : SoundEffectControl(defaultSearchDirs(), parent)
{
}

SoundEffectControl::SoundEffectControl(QStringList searchDirs, QObject *parent)
    : QObject(parent)
    , mSearchDirs(std::move(searchDirs))
{
}

SoundEffectControl::~SoundEffectControl() = default;

QStringList SoundEffectControl::defaultSearchDirs()
{
    QStringList dirs{QStringLiteral(".")};
    // Without an application object there is no executable directory to ask
    // for (and Qt would complain on asking).
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        dirs << appDir << QDir::cleanPath(appDir + QStringLiteral("/../share/sesame-pi"));
    }
    dirs << QStringLiteral(SESAME_PI_DATADIR);
    return dirs;
}

QString SoundEffectControl::findFile(const QString &fileName) const
{
    if (fileName.isEmpty())
        return {};
    for (const QString &dir : mSearchDirs) {
        if (dir.isEmpty())
            continue;
        const QFileInfo info(QDir(dir), fileName);
        if (info.isFile())
            return info.absoluteFilePath();
    }
    return {};
}

void SoundEffectControl::setFileName(const QString &fileName)
{
    mFileName = fileName;
}

void SoundEffectControl::setCommand(const QString &command)
{
    // A chime is never worth the program: whatever goes wrong below stays here.
    try {
        if (command == QLatin1String("Stop"))
            stop();
        else if (command == QLatin1String("Close"))
            close();
        else if (command == QLatin1String("Open"))
            open();
        else if (command == QLatin1String("Sound"))
            sound();
        else
            warnOnce(QStringLiteral("sesame-pi: warning: unknown media command \"%1\"").arg(command));
    } catch (const std::exception &error) {
        try {
            cannotPlay(mFileName, QString::fromLocal8Bit(error.what()));
        } catch (...) {
        }
    } catch (...) {
    }
}

void SoundEffectControl::stop()
{
    mPlayWhenReady = false;
    if (mEffect)
        mEffect->stop();
}

void SoundEffectControl::close()
{
    mPlayWhenReady = false;
    if (mEffect) {
        mEffect->disconnect(this);
        mEffect->stop();
        mEffect.reset();
    }
    mOpenPath.clear();
}

void SoundEffectControl::open()
{
    // "Open" on an open control starts over with the new file.
    close();

    const QString path = findFile(mFileName);
    if (path.isEmpty()) {
        cannotPlay(mFileName, QStringLiteral("file not found"));
        return;
    }
    const std::string problem = WavFileProblem(std::filesystem::path(QFile::encodeName(path).toStdString()));
    if (!problem.empty()) {
        cannotPlay(path, QString::fromStdString(problem));
        return;
    }
    if (!outputPresent()) {
        cannotPlay(path, QStringLiteral("no audio output device"));
        return;
    }

    mOpenPath = path;
    mEffect = std::make_unique<QSoundEffect>();
    connect(mEffect.get(), &QSoundEffect::statusChanged, this, &SoundEffectControl::onStatusChanged);
    // Connected first: a file already in Qt's sample cache is ready (or has
    // failed) within setSource().
    mEffect->setSource(QUrl::fromLocalFile(path));
}

void SoundEffectControl::sound()
{
    if (!mEffect)
        return;
    switch (mEffect->status()) {
    case QSoundEffect::Ready:
        mEffect->play();
        break;
    case QSoundEffect::Error:
        break;
    default:
        // play() while the file is loading can leave the effect stuck, so it
        // is issued when the effect reports that it is ready.
        mPlayWhenReady = true;
        break;
    }
}

void SoundEffectControl::onStatusChanged()
{
    if (!mEffect)
        return;
    switch (mEffect->status()) {
    case QSoundEffect::Ready:
        if (mPlayWhenReady) {
            mPlayWhenReady = false;
            mEffect->play();
        }
        break;
    case QSoundEffect::Error:
        mPlayWhenReady = false;
        // Qt ends up here too when the output went away while the file loaded.
        cannotPlay(mOpenPath,
                   outputPresent() ? QStringLiteral("could not be decoded") : QStringLiteral("no audio output device"));
        break;
    default:
        break;
    }
}

bool SoundEffectControl::outputPresent() const
{
    return mOutputProbe ? mOutputProbe() : audioOutputPresent();
}

void SoundEffectControl::cannotPlay(const QString &file, const QString &cause)
{
    warnOnce(QStringLiteral("sesame-pi: warning: cannot play \"%1\": %2").arg(QDir::toNativeSeparators(file), cause));
}

void SoundEffectControl::warnOnce(const QString &line)
{
    // The same chime is played at every run: one line per cause is enough.
    if (mWarned.contains(line))
        return;
    mWarned.insert(line);
    if (mWarningSink) {
        mWarningSink(line);
    } else {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

} // namespace sesame
