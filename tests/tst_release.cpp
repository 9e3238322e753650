// The program as installed and packaged: what "cmake --install" lays out,
// whether the desktop entry and the AppStream data pass their validators,
// whether the installed program finds its chimes wherever it is started from,
// and what "cpack -G DEB" makes.

#include "tst_release_support.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace sesame::testing;

const QString AppId = QStringLiteral("io.github.sesame_pi.SesamePi");
const QString DesktopFile = QStringLiteral("share/applications/%1.desktop").arg(AppId);
const QString MetainfoFile = QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId);

class tst_release : public QObject
{
    Q_OBJECT

    QString installed(const QString &path) const { return QDir(mPrefix.path()).filePath(path); }

    QTemporaryDir mPrefix;
    const QString mSource = qEnvironmentVariable("SESAME_PI_SOURCE_DIR");
    const QString mBuild = qEnvironmentVariable("SESAME_PI_BUILD_DIR");

private slots:
    void initTestCase()
    {
        QVERIFY2(!mSource.isEmpty() && !mBuild.isEmpty(), "run through ctest");
        const Outcome install
            = run(qEnvironmentVariable("SESAME_PI_CMAKE"), {"--install", mBuild, "--prefix", mPrefix.path()});
        QVERIFY2(install.exitCode == 0, qPrintable(install.errors.join(u'\n')));
    }

    // Byte for byte where a wrong copy would matter most; the rest only there.
    void installedFiles()
    {
        QVERIFY(QFileInfo(installed("bin/sesame-pi")).isExecutable());
        const QList<std::pair<QString, QString>> copies = {
            {"share/sesame-pi/pinpon.wav", "assets/pinpon.wav"},
            {"share/sesame-pi/endpinpon.wav", "assets/endpinpon.wav"},
            {DesktopFile, "packaging/" + AppId + ".desktop"},
            {MetainfoFile, "packaging/" + AppId + ".metainfo.xml"},
        };
        for (const auto &[path, source] : copies)
            QVERIFY2(readFile(installed(path)) == readFile(QDir(mSource).filePath(source)), qPrintable(path));
        for (const QString icon : {"32x32/apps/%1.png", "256x256/apps/%1.png", "scalable/apps/%1.svg"})
            QVERIFY2(QFileInfo::exists(installed("share/icons/hicolor/" + icon.arg(AppId))), qPrintable(icon));
    }

    void validators_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("complaint"); // a line that means the file failed
        QTest::newRow("desktop entry") << QStringList{"desktop-file-validate", installed(DesktopFile)}
                                       << ": (error|warning): ";
        QTest::newRow("metainfo") << QStringList{"appstreamcli", "validate", "--no-net", installed(MetainfoFile)}
                                  << "^[EW]: ";
    }

    void validators()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, complaint);
        if (QStandardPaths::findExecutable(command.first()).isEmpty())
            QSKIP(qPrintable(command.first() + " is not installed"));
        const Outcome outcome = run(command.first(), command.mid(1));
        const QString said = outcome.output + outcome.errors.join(u'\n');
        QVERIFY2(outcome.exitCode == 0, qPrintable(said));
        QVERIFY2(!QRegularExpression(complaint, QRegularExpression::MultilineOption).match(said).hasMatch(),
                 qPrintable(said));
    }

    // Started by its installed path from a directory without chimes, with no
    // sound server, it takes them from <prefix>/share/sesame-pi: the one
    // complaint per chime names the file it found there and checked.
    void installedProgramFindsItsChimes()
    {
        XSession session;
        if (!session.startDisplay())
            QSKIP("Xvfb or xdotool is not installed");
        QTemporaryDir elsewhere;
        session.program.setWorkingDirectory(elsewhere.path());
        QVERIFY(session.startProgram(installed("bin/sesame-pi"), isolatedEnvironment(elsewhere.path())));
        QVERIFY(session.click(u"Command1"));
        QVERIFY(session.click(u"Command5"));
        QVERIFY(session.onWindow(sesame::Form1Events::ExitTitle, {"windowfocus", "--sync"}));
        QVERIFY(session.xdotool({"key", "Return"}));
        const Outcome outcome = waitForEnd(session.program);
        QCOMPARE(outcome.exitCode, 0);
        QStringList expected;
        for (const QString chime : {"pinpon.wav", "endpinpon.wav"})
            expected << QStringLiteral("sesame-pi: warning: cannot play \"%1/%2\": no audio output device")
                            .arg(QFileInfo(installed("share/sesame-pi")).canonicalFilePath(), chime);
        QCOMPARE(outcome.errors.filter(QRegularExpression("^sesame-pi:")), expected);
    }

    void debianPackage()
    {
        for (const QString tool : {"dpkg", "dpkg-deb", "dpkg-shlibdeps"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP("the Debian package tools are not installed");
        QTemporaryDir out;
        const QString config = QDir(mBuild).filePath("CPackConfig.cmake");
        const Outcome cpack
            = run(qEnvironmentVariable("SESAME_PI_CPACK"), {"-G", "DEB", "-B", out.path(), "--config", config});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output + cpack.errors.join(u'\n')));
        const QString deb = "sesame-pi_1.00_" + run("dpkg", {"--print-architecture"}).output.trimmed() + ".deb";
        QCOMPARE(QDir(out.path()).entryList({"*.deb"}), QStringList{deb});
        const QString depends = run("dpkg-deb", {"--field", out.filePath(deb), "Depends"}).output;
        for (const QString package : {"fonts-ipafont-gothic", "libqt6widgets6", "libqt6multimedia6"})
            QVERIFY2(depends.contains(package), qPrintable(depends));
    }
};

QTEST_GUILESS_MAIN(tst_release)
#include "tst_release.moc"
