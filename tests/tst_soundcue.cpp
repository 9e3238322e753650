#include "sound/MediaControl.h"
#include "sound/SoundCue.h"
#include "sound/SoundEffectControl.h"
#include "sound/WavCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace sesame;

// Writes down every call, in order, instead of playing anything.
struct RecordingControl : MediaControl
{
    void setFileName(const QString &fileName) override { mCalls << "FileName=" + fileName; }
    void setCommand(const QString &command) override { mCalls << command; }

    QStringList mCalls;
};

// 16-bit mono PCM at 44.1 kHz: the RIFF header, the "fmt " chunk from byte 12,
// an odd-sized chunk to skip with its padding, and the "data" chunk from byte
// 48 with two samples.
const QByteArray GoodWav = QByteArray::fromHex("52494646 34000000 57415645"
                                               "666d7420 10000000 0100 0100 44ac0000 88580100 0200 1000"
                                               "4c495354 03000000 616263 00 64617461 04000000 1010 1010");

// GoodWav with the bytes from `at` on replaced: one fault at a time.
static QByteArray patched(int at, const QByteArray &bytes)
{
    return QByteArray(GoodWav).replace(at, bytes.size(), bytes);
}

static bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class TestSoundCue : public QObject
{
    Q_OBJECT

private slots:
    void cueOrder_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("run chime") << RunCueFile;
        QTest::newRow("exit chime") << ExitCueFile;
    }

    void cueOrder()
    {
        QFETCH(QString, file);
        RecordingControl control;
        SoundCue cue(control);

        cue(file);

        QCOMPARE(control.mCalls, QStringList({"Stop", "Close", "FileName=" + file, "Open", "Sound"}));
    }

    void badWav_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");

        QTest::newRow("valid") << GoodWav << "";
        QTest::newRow("zero bytes") << QByteArray() << "empty file";
        QTest::newRow("corrupt header") << patched(0, "RIFX") << "not a RIFF/WAVE file";
        QTest::newRow("PNG renamed") << QByteArray::fromHex("89504e470d0a1a0a0000000d") << "not a RIFF/WAVE file";
        QTest::newRow("no fmt") << patched(12, "junk") << "no fmt chunk";
        QTest::newRow("no data") << patched(48, "junk") << "no data chunk";
        QTest::newRow("float") << patched(20, "\x03") << "unsupported encoding";
        QTest::newRow("wrong block align") << patched(32, "\x04") << "malformed fmt chunk";
        QTest::newRow("empty data") << patched(52, QByteArray(4, '\0')) << "no audio data";
        QTest::newRow("truncated data") << GoodWav.chopped(2) << "truncated data";
        QTest::newRow("half a sample") << patched(52, "\x03") << "incomplete last sample";
    }

    // Each fault in a buffer, and as a file under both chimes' names beside
    // one that is missing altogether.
    void badWav()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        const auto span = std::as_bytes(std::span(bytes.constData(), std::size_t(bytes.size())));
        QCOMPARE(QString::fromStdString(WavProblem(span)), problem);

        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(RunCueFile), bytes));
        QVERIFY(writeFile(dir.filePath(ExitCueFile), bytes));
        SoundEffectControl control({dir.path()});
        QStringList warnings;
        control.setWarningSink([&warnings](const QString &line) { warnings << line; });
        // The unit tests never reach a sound server, so a file fine in itself
        // fails for want of an output; the playback test plays it.
        control.setOutputProbe([] { return false; });
        const QString cause = problem.isEmpty() ? "no audio output device" : problem;
        SoundCue cue(control);

        // Over and over: one line for each file, however often it is cued.
        for (int i = 0; i < 3; ++i) {
            QVERIFY_THROWS_NO_EXCEPTION(cue(RunCueFile));
            QVERIFY_THROWS_NO_EXCEPTION(cue(ExitCueFile));
            QVERIFY_THROWS_NO_EXCEPTION(cue("missing.wav"));
        }

        // A file found is named by its path, a missing one as asked for.
        const QString line = QStringLiteral("sesame-pi: warning: cannot play \"%1\": %2");
        QCOMPARE(warnings,
                 QStringList({line.arg(dir.filePath(RunCueFile), cause), line.arg(dir.filePath(ExitCueFile), cause),
                              line.arg("missing.wav", "file not found")}));
    }

    void currentDirBeforeExecutableDir()
    {
        // Unique per process: the executable's directory is shared by every run.
        const QString name = QString("tst_soundcue-%1.wav").arg(QCoreApplication::applicationPid());
        const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
        const auto removeBeside = qScopeGuard([&beside] { QFile::remove(beside); });
        // Elsewhere than the executable's directory, where ctest runs tests.
        QTemporaryDir current;
        const auto restoreCurrent = qScopeGuard([old = QDir::currentPath()] { QDir::setCurrent(old); });
        QVERIFY(current.isValid() && QDir::setCurrent(current.path()));
        QVERIFY(writeFile(name, GoodWav) && writeFile(beside, GoodWav));

        const SoundEffectControl control;
        QCOMPARE(control.findFile(name), QDir::currentPath() + '/' + name);
        // The executable's directory is searched too, only later.
        QVERIFY(QFile::remove(name));
        QCOMPARE(control.findFile(name), beside);
    }
};

QTEST_GUILESS_MAIN(TestSoundCue)

#include "tst_soundcue.moc"
