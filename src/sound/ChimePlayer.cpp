#include "ChimePlayer.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMediaDevices>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sesame {

namespace {

// Reads a whole regular file of at most limit bytes. Opened without
// blocking, so that a FIFO under the name cannot hold the player up, and
// checked for what it is before a byte is read.
QByteArray readChime(const QString &path, QByteArray &identity, QString &problem)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        problem = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    QByteArray bytes;
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        problem = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        problem = QStringLiteral("not a regular file");
    } else if (static_cast<std::size_t>(info.st_size) > ChimeFile::MaxBytes) {
        problem = QStringLiteral("larger than 16 MiB");
    } else {
        identity = QByteArray::number(quint64(info.st_dev)) + ' ' + QByteArray::number(quint64(info.st_ino)) + ' '
            + QByteArray::number(qint64(info.st_size)) + ' ' + QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.'
            + QByteArray::number(qint64(info.st_mtim.tv_nsec));
        bytes.resize(info.st_size);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        bytes.truncate(done); // a file that shrank while read is decoded as it was found
    }
    ::close(fd);
    return bytes;
}

} // namespace

ChimePlayer::ChimePlayer(QStringList searchDirs, QIODevice &answers)
    : mSearchDirs(std::move(searchDirs))
    , mAnswers(answers)
{
}

ChimePlayer::~ChimePlayer() = default;

void ChimePlayer::command(const QByteArray &line)
{
    if (line == "stop")
        stop();
    else if (line == "close")
        close();
    else if (line.startsWith("open "))
        open(QUrl::fromPercentEncoding(line.mid(5)));
    else if (line.startsWith("sound "))
        sound(line.mid(6).toLongLong());
}

QString ChimePlayer::find(const QString &name) const
{
    for (const QString &dir : mSearchDirs) {
        QString path = QDir(dir).filePath(name);
        struct stat info = {};
        // lstat: a dangling link or a loop under the name is found, and reported.
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
            return path;
    }
    return name;
}

void ChimePlayer::stop()
{
    if (mSink)
        mSink->stop();
}

void ChimePlayer::close()
{
    stop();
    mSink.reset();
    mOpen = nullptr;
}

void ChimePlayer::open(const QString &name)
{
    close();
    mOpenPath = find(name);
    if (mOpenPath == name && !QDir::isAbsolutePath(name)) {
        cannotPlay(name, QStringLiteral("file not found"));
        return;
    }
    const Cached &chime = load(mOpenPath);
    if (!chime.problem.isEmpty()) {
        cannotPlay(mOpenPath, chime.problem);
        return;
    }
    mOpen = &chime;
}

const ChimePlayer::Cached &ChimePlayer::load(const QString &path)
{
    QByteArray identity;
    QString problem;
    const QByteArray bytes = readChime(path, identity, problem);
    Cached &cached = mCache[path];
    if (!problem.isEmpty()) {
        cached = Cached{{}, problem, 0, 0, {}};
    } else if (cached.identity != identity) {
        // Decoded once, and again only when the file has changed.
        const ChimeFile file = ChimeFile::decode(
            std::span(reinterpret_cast<const unsigned char *>(bytes.constData()), std::size_t(bytes.size())));
        const auto &samples = file.chime.samples;
        cached = Cached{
            identity, QString::fromStdString(file.problem), file.chime.sampleRate, file.chime.channels,
            QByteArray(reinterpret_cast<const char *>(samples.data()), qsizetype(samples.size() * sizeof(samples[0])))};
    }
    return cached;
}

void ChimePlayer::sound(qint64 askedAtMs)
{
    const qint64 now = QDeadlineTimer::current().deadline();
    if (mOpen && now - askedAtMs <= LateMs) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        QAudioFormat format;
        format.setSampleFormat(QAudioFormat::Int16);
        format.setSampleRate(mOpen->sampleRate);
        format.setChannelCount(mOpen->channels);
        if (device.isNull()) {
            lostOutput();
            return;
        }
        if (!device.isFormatSupported(format)) {
            cannotPlay(mOpenPath, QStringLiteral("a format the audio output does not take"));
        } else {
            mSamples.close();
            mSamples.setData(mOpen->pcm);
            mSamples.open(QIODevice::ReadOnly);
            mSink = std::make_unique<QAudioSink>(device, format);
            mSink->start(&mSamples);
            if (mSink->error() != QAudio::NoError) {
                lostOutput();
                return;
            }
            // Held up by a server that stalled: too late to be heard now.
            if (QDeadlineTimer::current().deadline() - askedAtMs > LateMs)
                mSink->stop();
            mHadOutput = true;
        }
    }
    answer("played");
}

// Qt looks for a sound server once: a player that has none, or has lost it,
// says so and ends, and the next chime starts a player that looks again.
void ChimePlayer::lostOutput()
{
    if (mHadOutput)
        answer("lost");
    else
        cannotPlay(mOpenPath, QStringLiteral("no audio output device"));
    answer("played");
    close();
    emit finished();
}

void ChimePlayer::cannotPlay(const QString &name, const QString &cause)
{
    answer("cannot " + QUrl::toPercentEncoding(name) + ' ' + cause.toUtf8());
}

void ChimePlayer::answer(const QByteArray &line)
{
    mAnswers.write(line + '\n');
}

} // namespace sesame
