// The program as installed and packaged: what "cmake --install" lays out,
// whether the desktop entry and the AppStream data pass their validators,
// whether the installed program finds its chimes wherever it is started from,
// and what "cpack -G DEB" makes.

#include "tst_release_support.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace sesame;
using namespace sesame::testing;

namespace {

const QString AppId = QStringLiteral("io.github.sesame_pi.SesamePi");
const QString DesktopFile = QStringLiteral("share/applications/%1.desktop").arg(AppId);
const QString MetainfoFile = QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId);
const QString Program = QStringLiteral("bin/sesame-pi");
constexpr int ToolMs = 120000;
constexpr int ProgramEndMs = 20000;

// Runs a tool to its end: whether it ended with status 0; its output.
bool run(const QString &tool, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    startWithParent(process);
    process.start(tool, arguments);
    const bool ok
        = process.waitForFinished(ToolMs) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QString text = QString::fromLocal8Bit(process.readAll());
    if (!ok)
        qWarning().noquote() << tool << arguments.join(QLatin1Char(' ')) << "failed:\n" << text;
    if (output)
        *output = text;
    return ok;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString readText(const QString &path)
{
    return QString::fromUtf8(readFile(path));
}

} // namespace

class tst_release : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void validators_data();
    void validators();
    void oneApplicationId();
    void installedProgramFindsItsChimes();
    void debianPackage();

private:
    QString installed(const QString &path) const { return QDir(mPrefix.path()).filePath(path); }

    QTemporaryDir mPrefix;
    const QString mSource = qEnvironmentVariable("SESAME_PI_SOURCE_DIR");
    const QString mBuild = qEnvironmentVariable("SESAME_PI_BUILD_DIR");
};

void tst_release::initTestCase()
{
    QVERIFY2(!mSource.isEmpty() && !mBuild.isEmpty(), "run through ctest");
    QVERIFY(run(qEnvironmentVariable("SESAME_PI_CMAKE"), {"--install", mBuild, "--prefix", mPrefix.path()}));
}

void tst_release::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("source"); // what it is a copy of; empty: the program

    QTest::newRow("program") << Program << QString();
    for (const QString chime : {"pinpon.wav", "endpinpon.wav"})
        QTest::newRow(qPrintable(chime)) << "share/sesame-pi/" + chime << "assets/" + chime;
    QTest::newRow("desktop entry") << DesktopFile << "packaging/" + AppId + ".desktop";
    QTest::newRow("metainfo") << MetainfoFile << "packaging/" + AppId + ".metainfo.xml";
    QTest::newRow("licence") << "share/doc/sesame-pi/copyright"
                             << "LICENSE";
    for (const int size : {32, 48, 64, 128, 256})
        QTest::addRow("icon %d", size) << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId)
                                       << QStringLiteral("assets/sesame-pi-%1.png").arg(size);
    QTest::newRow("scalable icon") << "share/icons/hicolor/scalable/apps/" + AppId + ".svg"
                                   << "assets/sesame-pi.svg";
}

void tst_release::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(QString, source);

    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile(), qPrintable(path + " is not installed"));
    if (source.isEmpty())
        QVERIFY(info.isExecutable());
    else
        QVERIFY2(readFile(info.filePath()) == readFile(QDir(mSource).filePath(source)), qPrintable(path));
}

void tst_release::validators_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("complaint"); // a line that means the file failed

    QTest::newRow("desktop entry") << QStringList{"desktop-file-validate", installed(DesktopFile)}
                                   << ": (error|warning): ";
    QTest::newRow("metainfo") << QStringList{"appstreamcli", "validate", "--no-net", installed(MetainfoFile)}
                              << "^[EW]: ";
}

void tst_release::validators()
{
    QFETCH(QStringList, command);
    QFETCH(QString, complaint);

    if (!haveTool(command.first()))
        QSKIP(qPrintable(command.first() + " is not installed"));
    QString output;
    QVERIFY(run(command.first(), command.mid(1), &output));
    QVERIFY2(!QRegularExpression(complaint, QRegularExpression::MultilineOption).match(output).hasMatch(),
             qPrintable(output));
}

// The desktop entry, its icon and the AppStream component share one id.
void tst_release::oneApplicationId()
{
    const QStringList entry = readText(installed(DesktopFile)).split(QLatin1Char('\n'));
    const QString component = readText(installed(MetainfoFile));
    QVERIFY(entry.contains("Icon=" + AppId));
    QVERIFY(entry.contains("Exec=" + QFileInfo(Program).fileName()));
    QVERIFY(component.contains("<id>" + AppId + "</id>"));
    QVERIFY(component.contains("<launchable type=\"desktop-id\">" + AppId + ".desktop</launchable>"));
}

// Started by its installed path from a directory without chimes, with no
// sound server, it takes them from <prefix>/share/sesame-pi: the one
// complaint per chime names the file it found there and checked.
void tst_release::installedProgramFindsItsChimes()
{
    XSession session;
    if (!session.startDisplay())
        QSKIP("Xvfb or xdotool is not installed");
    QTemporaryDir elsewhere;
    QVERIFY(session.startProgram(installed(Program), isolatedEnvironment(elsewhere.path()), elsewhere.path()));
    QVERIFY(session.click(u"Command1"));
    QVERIFY(session.click(u"Command5"));
    QVERIFY(session.waitForExitBox());
    QVERIFY(session.pressOnExitBox(QStringLiteral("Return")));
    QVERIFY(session.program.waitForFinished(ProgramEndMs));
    QCOMPARE(session.program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(session.program.exitCode(), 0);

    QStringList expected;
    for (const QString chime : {"pinpon.wav", "endpinpon.wav"})
        expected << QStringLiteral("sesame-pi: warning: cannot play \"%1/%2\": no audio output device")
                        .arg(QFileInfo(installed("share/sesame-pi")).canonicalFilePath(), chime);
    const QStringList lines = QString::fromLocal8Bit(session.program.readAllStandardError()).split(QLatin1Char('\n'));
    QCOMPARE(lines.filter(QRegularExpression("^sesame-pi:")), expected);
}

void tst_release::debianPackage()
{
    for (const QString tool : {"dpkg", "dpkg-deb", "dpkg-shlibdeps"})
        if (!haveTool(tool))
            QSKIP("the Debian package tools are not installed");
    QTemporaryDir out;
    QString architecture, control, contents;
    QVERIFY(run(qEnvironmentVariable("SESAME_PI_CPACK"),
                {"-G", "DEB", "-B", out.path(), "--config", QDir(mBuild).filePath("CPackConfig.cmake")}));
    QVERIFY(run("dpkg", {"--print-architecture"}, &architecture));
    const QString deb = "sesame-pi_1.00_" + architecture.trimmed() + ".deb";
    QCOMPARE(QDir(out.path()).entryList({"*.deb"}), QStringList{deb});
    QVERIFY(run("dpkg-deb", {"--field", out.filePath(deb)}, &control));
    QVERIFY(run("dpkg-deb", {"--contents", out.filePath(deb)}, &contents));

    for (const QString field : {"Package: sesame-pi", "Version: 1.00", "Section: science",
                                "Maintainer: sesame-pi team <team@sesame-pi.invalid>"})
        QVERIFY2(control.split(QLatin1Char('\n')).contains(field), qPrintable(field + " not in\n" + control));
    const QString depends = control.section("Depends: ", 1).section(QLatin1Char('\n'), 0, 0);
    for (const QString package : {"fonts-ipafont-gothic", "libqt6widgets6", "libqt6multimedia6"})
        QVERIFY2(depends.contains(package), qPrintable(depends));
    for (const QString &path :
         {Program, DesktopFile, MetainfoFile, QStringLiteral("share/sesame-pi/pinpon.wav"),
          QStringLiteral("share/sesame-pi/endpinpon.wav"), "share/icons/hicolor/scalable/apps/" + AppId + ".svg"})
        QVERIFY2(contents.contains(" ./usr/" + path + "\n"), qPrintable(path));
}

QTEST_GUILESS_MAIN(tst_release)
#include "tst_release.moc"
