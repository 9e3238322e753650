#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// The environment the program is started in: no display of any kind.
// Under xvfb-run it gets that server's DISPLAY, and uses the xcb platform.
static QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

// The real program, started as a user would start it.
class TestSmoke : public QObject
{
    Q_OBJECT

private slots:
    void noDisplay()
    {
        QProcess program;
        program.setProcessEnvironment(withoutDisplay());
        program.start(QStringLiteral(SESAME_PI_BINARY), {});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        const QStringList lines =
            QString::fromLocal8Bit(program.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(QLatin1String("sesame-pi: cannot open a window")), qPrintable(lines.first()));
    }

    void onXServer_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("SIGTERM") << QStringLiteral("term");
        QTest::newRow("clicks") << QStringLiteral("clicks");
    }

    // On a bare X server: the window appears and SIGTERM ends the program
    // with status 0; or, clicked through X, "1,000" scatters blue seeds and
    // Exit asks and, answered, ends it with status 0.
    void onXServer()
    {
        QFETCH(QString, mode);
        QStringList tools{QStringLiteral("xvfb-run"), QStringLiteral("xwininfo")};
        if (mode == QLatin1String("clicks"))
            tools << QStringLiteral("xdotool") << QStringLiteral("import");
        for (const QString &tool : tools)
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(tool + QStringLiteral(" is not installed")));

        QProcess session;
        session.setProcessEnvironment(withoutDisplay());
        session.start(QStringLiteral("xvfb-run"),
                      {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x800x24"),
                       QStringLiteral("sh"), QStringLiteral(SESAME_PI_X_SESSION), QStringLiteral(SESAME_PI_BINARY),
                       mode});
        QVERIFY(session.waitForFinished(60000));
        const QString errors = QString::fromLocal8Bit(session.readAllStandardError());
        QMap<QString, QString> report;
        for (const QString &line : QString::fromLocal8Bit(session.readAllStandardOutput()).split(QLatin1Char('\n')))
            if (line.contains(QLatin1Char('=')))
                report.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));

        QVERIFY2(report.value(QStringLiteral("window")) == QLatin1String("yes"), qPrintable(errors));
        if (mode == QLatin1String("clicks")) {
            QVERIFY2(report.value(QStringLiteral("blue")).toInt() > 0, qPrintable(errors));
            QCOMPARE(report.value(QStringLiteral("box")), QStringLiteral("yes"));
        }
        QCOMPARE(report.value(QStringLiteral("status")), QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
