#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

// Runs a program as a user would start it, with no display of any kind (under
// xvfb-run it gets that server's DISPLAY and uses the xcb platform), to its end.
static bool run(QProcess &process, const QString &program, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    return process.waitForFinished(60000);
}

class TestSmoke : public QObject
{
    Q_OBJECT

private slots:
    void noDisplay()
    {
        QProcess program;
        QVERIFY(run(program, QStringLiteral(SESAME_PI_BINARY), {}));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        const QString error = QString::fromLocal8Bit(program.readAllStandardError());
        // One line, whose end may tell why.
        QVERIFY2(error.startsWith(u"sesame-pi: cannot open a window"_s) && error.count(u'\n') == 1, qPrintable(error));
    }

    // What x-session.sh reports in each of its modes: the window appeared, and
    // SIGTERM ended the program with status 0; or, clicked through X, "1,000"
    // scattered blue seeds and Exit asked and, answered, ended it with 0.
    void onXServer_data()
    {
        QTest::addColumn<QString>("report");
        QTest::newRow("term") << u"window=yes status=0"_s;
        QTest::newRow("clicks") << u"window=yes blue=yes box=yes status=0"_s;
    }

    void onXServer()
    {
        QFETCH(QString, report);
        for (const QString &tool : {u"xvfb-run"_s, u"xwininfo"_s, u"xdotool"_s, u"import"_s})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(tool + u" is not installed"_s));
        QProcess session;
        QVERIFY(run(session, u"xvfb-run"_s,
                    {u"-a"_s, u"-s"_s, u"-screen 0 1280x800x24"_s, u"sh"_s, QStringLiteral(SESAME_PI_X_SESSION),
                     QStringLiteral(SESAME_PI_BINARY), QString::fromLatin1(QTest::currentDataTag())}));
        const QString output = QString::fromLocal8Bit(session.readAllStandardOutput()).simplified();
        QVERIFY2(output == report, qPrintable(output + u'\n' + QString::fromLocal8Bit(session.readAllStandardError())));
    }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
