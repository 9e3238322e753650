#include "sound/MediaControl.h"
#include "sound/SoundCue.h"
#include "sound/SoundEffectControl.h"
#include "sound/WavCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sesame;

namespace {

// Writes down every call, in order, instead of playing anything.
class RecordingControl : public MediaControl
{
public:
    void setFileName(const QString &fileName) override { mCalls << QStringLiteral("FileName=") + fileName; }
    void setCommand(const QString &command) override { mCalls << command; }

    QStringList mCalls;
};

void put16(QByteArray &bytes, int value)
{
    bytes.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
}

void put32(QByteArray &bytes, quint32 value)
{
    put16(bytes, int(value & 0xffff));
    put16(bytes, int(value >> 16));
}

QByteArray chunk(const char *id, const QByteArray &body, quint32 declaredSize)
{
    QByteArray bytes(id, 4);
    put32(bytes, declaredSize);
    bytes += body;
    if (body.size() % 2)
        bytes.append('\0');
    return bytes;
}

QByteArray chunk(const char *id, const QByteArray &body)
{
    return chunk(id, body, quint32(body.size()));
}

QByteArray fmtBody(int tag, int channels, int bits, int blockAlign = -1)
{
    QByteArray body;
    put16(body, tag);
    put16(body, channels);
    put32(body, 44100);
    put32(body, quint32(44100 * channels * bits / 8));
    put16(body, blockAlign >= 0 ? blockAlign : channels * bits / 8);
    put16(body, bits);
    return body;
}

// WAVE_FORMAT_EXTENSIBLE, carrying the given sub-format code.
QByteArray extensibleBody(int subFormat)
{
    QByteArray body = fmtBody(0xfffe, 1, 16);
    put16(body, 22);
    put16(body, 16);
    put32(body, 0x4);
    put16(body, subFormat);
    body += QByteArray::fromHex("000000001000800000aa00389b71");
    return body;
}

QByteArray riff(const QByteArray &chunks, const char *form = "WAVE")
{
    QByteArray bytes("RIFF");
    put32(bytes, quint32(chunks.size() + 4));
    return bytes + QByteArray(form, 4) + chunks;
}

const QByteArray Samples(64, '\x10');

QByteArray goodWav()
{
    return riff(chunk("fmt ", fmtBody(1, 1, 16)) + chunk("data", Samples));
}

std::string problemOf(const QByteArray &bytes)
{
    return WavProblem(std::as_bytes(std::span(bytes.constData(), std::size_t(bytes.size()))));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Removes a file this test put beside the executable, whatever happens.
struct RemoveFile
{
    QString mPath;
    ~RemoveFile()
    {
        if (!mPath.isEmpty())
            QFile::remove(mPath);
    }
};

// Goes back to the directory the test started in, whatever happens.
struct RestoreCurrentDir
{
    const QString mPath = QDir::currentPath();
    ~RestoreCurrentDir() { QDir::setCurrent(mPath); }
};

} // namespace

class TestSoundCue : public QObject
{
    Q_OBJECT

private slots:
    void cueOrder_data();
    void cueOrder();
    void wavProblem_data();
    void wavProblem();
    void shippedChimesPass();
    void badFileWarnsOnce_data();
    void badFileWarnsOnce();
    void eachFileWarnsOnItsOwn();
    void lookupOrder_data();
    void lookupOrder();
};

void TestSoundCue::cueOrder_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("run chime") << RunCueFile;
    QTest::newRow("exit chime") << ExitCueFile;
}

void TestSoundCue::cueOrder()
{
    QFETCH(QString, file);
    RecordingControl control;
    SoundCue cue(control);

    cue(file);

    const QStringList expected{"Stop", "Close", "FileName=" + file, "Open", "Sound"};
    QCOMPARE(control.mCalls, expected);
}

void TestSoundCue::wavProblem_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem");

    const QByteArray fmt = chunk("fmt ", fmtBody(1, 1, 16));
    const QByteArray data = chunk("data", Samples);

    QTest::newRow("16-bit mono") << goodWav() << "";
    QTest::newRow("8-bit stereo") << riff(chunk("fmt ", fmtBody(1, 2, 8)) + data) << "";
    QTest::newRow("extensible PCM") << riff(chunk("fmt ", extensibleBody(1)) + data) << "";
    QTest::newRow("odd chunk skipped") << riff(fmt + chunk("LIST", "abc") + data) << "";
    QTest::newRow("empty") << QByteArray() << "empty file";
    QTest::newRow("cut inside header") << goodWav().left(10) << "not a RIFF/WAVE file";
    QTest::newRow("RIFF but not WAVE") << riff(fmt + data, "AVI ") << "not a RIFF/WAVE file";
    QTest::newRow("PNG") << QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") << "not a RIFF/WAVE file";
    QTest::newRow("no fmt") << riff(data) << "no fmt chunk";
    QTest::newRow("data before fmt") << riff(data + fmt) << "no fmt chunk";
    QTest::newRow("no data") << riff(fmt + chunk("LIST", "info")) << "no data chunk";
    QTest::newRow("float") << riff(chunk("fmt ", fmtBody(3, 1, 32)) + data) << "unsupported encoding";
    QTest::newRow("24-bit") << riff(chunk("fmt ", fmtBody(1, 1, 24)) + data) << "unsupported encoding";
    QTest::newRow("extensible float") << riff(chunk("fmt ", extensibleBody(3)) + data) << "unsupported encoding";
    QTest::newRow("fmt too short") << riff(chunk("fmt ", fmtBody(1, 1, 16).left(14)) + data) << "malformed fmt chunk";
    QTest::newRow("fmt cut off") << goodWav().left(30) << "malformed fmt chunk";
    QTest::newRow("wrong block align") << riff(chunk("fmt ", fmtBody(1, 1, 16, 4)) + data) << "malformed fmt chunk";
    QTest::newRow("empty data") << riff(fmt + chunk("data", {})) << "no audio data";
    QTest::newRow("truncated data") << riff(fmt + chunk("data", Samples, 88200)) << "truncated data";
    QTest::newRow("half a sample") << riff(fmt + chunk("data", Samples + 'x')) << "incomplete last sample";
}

void TestSoundCue::wavProblem()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    QCOMPARE(QString::fromStdString(problemOf(bytes)), problem);
}

void TestSoundCue::shippedChimesPass()
{
    const QString assets = qEnvironmentVariable("SESAME_PI_ASSETS");
    if (assets.isEmpty())
        QSKIP("SESAME_PI_ASSETS is not set: run through ctest");
    for (const QString &name : {RunCueFile, ExitCueFile}) {
        const QString path = QDir(assets).filePath(name);
        QCOMPARE(QString::fromStdString(WavFileProblem(QFile::encodeName(path).toStdString())), QString());
    }
}

void TestSoundCue::badFileWarnsOnce_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("cause");

    QByteArray truncated = goodWav();
    truncated.chop(Samples.size() / 2);

    QTest::newRow("missing") << QByteArray() << false << "file not found";
    QTest::newRow("zero bytes") << QByteArray() << true << "empty file";
    QTest::newRow("corrupt header") << QByteArray("RIFX\0\0\0\0WAVEfmt ", 16) + Samples << true
                                    << "not a RIFF/WAVE file";
    QTest::newRow("PNG renamed") << QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000001") << true
                                 << "not a RIFF/WAVE file";
    QTest::newRow("text renamed") << QByteArray("pin, pon\n") << true << "not a RIFF/WAVE file";
    QTest::newRow("truncated data") << truncated << true << "truncated data";
    // A sound file fine in itself, and nothing to play it on.
    QTest::newRow("no audio output") << goodWav() << true << "no audio output device";
}

void TestSoundCue::badFileWarnsOnce()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, exists);
    QFETCH(QString, cause);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = QStringLiteral("chime.wav");
    if (exists)
        QVERIFY(writeFile(dir.filePath(name), bytes));

    SoundEffectControl control({dir.path()});
    QStringList warnings;
    control.setWarningSink([&warnings](const QString &line) { warnings << line; });
    // The unit tests never reach a sound server; the playback test does.
    control.setOutputProbe([] { return false; });
    SoundCue cue(control);

    for (int i = 0; i < 3; ++i)
        QVERIFY_THROWS_NO_EXCEPTION(cue(name));

    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().startsWith(QStringLiteral("sesame-pi: warning: cannot play \"")),
             qPrintable(warnings.first()));
    QVERIFY2(warnings.first().contains(name), qPrintable(warnings.first()));
    QVERIFY2(warnings.first().endsWith(QStringLiteral("\": ") + cause), qPrintable(warnings.first()));
    QCOMPARE(control.effect(), nullptr);
}

void TestSoundCue::eachFileWarnsOnItsOwn()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath(RunCueFile), {}));
    QVERIFY(writeFile(dir.filePath(ExitCueFile), {}));

    SoundEffectControl control({dir.path()});
    QStringList warnings;
    control.setWarningSink([&warnings](const QString &line) { warnings << line; });
    SoundCue cue(control);

    for (int i = 0; i < 2; ++i) {
        cue(RunCueFile);
        cue(ExitCueFile);
    }

    QCOMPARE(warnings.size(), 2);
    QVERIFY(warnings.at(0).contains(RunCueFile));
    QVERIFY(warnings.at(1).contains(ExitCueFile));
}

void TestSoundCue::lookupOrder_data()
{
    QTest::addColumn<bool>("inCurrentDir");
    QTest::addColumn<bool>("besideExecutable");
    QTest::addColumn<QString>("foundIn");

    QTest::newRow("current dir only") << true << false << "current";
    QTest::newRow("beside executable only") << false << true << "executable";
    QTest::newRow("current dir wins") << true << true << "current";
    QTest::newRow("nowhere") << false << false << "";
}

void TestSoundCue::lookupOrder()
{
    QFETCH(bool, inCurrentDir);
    QFETCH(bool, besideExecutable);
    QFETCH(QString, foundIn);

    // Unique per process: the executable's directory is shared by every run.
    const QString name = QStringLiteral("tst_soundcue-%1.wav").arg(QCoreApplication::applicationPid());
    QTemporaryDir current;
    QVERIFY(current.isValid());
    const RestoreCurrentDir restoreCurrent;
    QVERIFY(QDir::setCurrent(current.path()));
    RemoveFile besideFile;

    const QString currentPath = QDir(current.path()).absoluteFilePath(name);
    const QString besidePath = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(name);
    if (inCurrentDir)
        QVERIFY(writeFile(currentPath, goodWav()));
    if (besideExecutable) {
        besideFile.mPath = besidePath;
        QVERIFY(writeFile(besidePath, goodWav()));
    }

    const SoundEffectControl control;
    const QString found = control.findFile(name);

    const QString expected = foundIn == QLatin1String("current") ? currentPath
        : foundIn == QLatin1String("executable")                 ? besidePath
                                                                 : QString();
    QCOMPARE(QFileInfo(found).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());
}

QTEST_GUILESS_MAIN(TestSoundCue)

#include "tst_soundcue.moc"
