#include "app/Application.h"
#include "app/Form1Events.h"
#include "estimate/ScatterArithmetic.h"
#include "sound/SoundEffectControl.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <stdexcept>

using namespace sesame;

namespace {

struct Colours
{
    int black = 0, blue = 0, red = 0;
};

Colours colours(const QImage &image)
{
    Colours counted;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            counted.black += pixel == 0xff000000u;
            counted.blue += pixel == 0xff0000ffu;
            counted.red += pixel == 0xffff0000u;
        }
    }
    return counted;
}

// The window and its handlers. Chimes are looked for where there are none:
// the warning each one leaves behind tells which were asked for.
struct Fixture
{
    QTemporaryDir noChimes;
    Form1 form;
    Form1Events events{form};
    QStringList soundWarnings;

    Fixture()
    {
        form.mmControl1().setSearchDirs({noChimes.path()});
        form.mmControl1().setWarningSink([this](const QString &line) { soundWarnings << line; });
    }
    bool chimed(const QString &file) const
    {
        return soundWarnings.contains(QStringLiteral("sesame-pi: warning: cannot play \"%1\": file not found").arg(file));
    }
    const QImage &board() const { return form.picture1()->board().surface().image(); }
    bool showAndDraw()
    {
        form.show();
        return QTest::qWaitForWindowExposed(&form) && QTest::qWaitFor([this] { return colours(board()).black > 0; });
    }
    void click(int command) { QTest::mouseClick(form.command(command), Qt::LeftButton); }
};

// The application's event loop, until something ends it; a watchdog ends it
// with 99 if nothing does.
int runEventLoop()
{
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(15000);
    return QCoreApplication::exec();
}

// The child of fatalErrorEndsProgram: a handler that throws, under the
// program's own application object.
int throwingChild(int argc, char **argv)
{
    Application app(argc, argv);
    QWidget widget;
    widget.show();
    QTimer::singleShot(0, &widget, [] { throw std::runtime_error("the seeds spilled"); });
    QTimer::singleShot(10000, &app, [] { QCoreApplication::exit(0); });
    return Application::exec();
}

} // namespace

class TestEvents : public QObject
{
    Q_OBJECT

private slots:
    void activateDrawsBoardOnce()
    {
        Fixture fixture;
        QSignalSpy activations(&fixture.form, &Form1::Activate);
        QCOMPARE(colours(fixture.board()).black, 0);
        QVERIFY(fixture.showAndDraw());

        fixture.click(4);
        const QImage seeded = fixture.board();
        QVERIFY(colours(seeded).blue > 0);
        for (const QEvent::Type type : {QEvent::WindowDeactivate, QEvent::WindowActivate, QEvent::Show}) {
            QEvent event(type);
            QCoreApplication::sendEvent(&fixture.form, &event);
        }
        fixture.form.hide();
        fixture.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture.form));
        QCoreApplication::processEvents();
        QCOMPARE(activations.count(), 1);
        QCOMPARE(fixture.board(), seeded);
    }

    void countButton_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("seeds");
        QTest::newRow("10") << 1 << 10;
        QTest::newRow("100") << 2 << 100;
        QTest::newRow("1,000") << 3 << 1000;
        QTest::newRow("10,000") << 4 << 10000;
        QTest::newRow("50,000") << 7 << 50000;
    }

    void countButton()
    {
        QFETCH(int, command);
        QFETCH(int, seeds);
        Fixture fixture;
        QVERIFY(fixture.showAndDraw());
        fixture.click(command);

        const SeedStore &store = fixture.form.seedStore();
        long long inside = 0;
        for (int i = 1; i <= seeds; ++i) {
            const auto at = static_cast<std::size_t>(i);
            QVERIFY(store.seedX[at] >= 40 && store.seedX[at] <= 439 && store.seedY[at] >= 40 && store.seedY[at] <= 439);
            inside += IsInside(store.seedX[at], store.seedY[at]);
        }
        QCOMPARE(fixture.form.label(4)->text(), QString::number(inside));

        const QString estimate = fixture.form.label(2)->text();
        bool ok = false;
        QCOMPARE(estimate.toDouble(&ok), 4.0 * double(inside) / seeds);
        QVERIFY(ok);
        QVERIFY2(!estimate.contains(QLatin1Char('e'), Qt::CaseInsensitive), qPrintable(estimate));

        const Colours seen = colours(fixture.board());
        QCOMPARE(seen.blue > 0, inside > 0);
        QCOMPARE(seen.red > 0, inside < seeds);
        QVERIFY(seen.black > 0);
        QVERIFY(seeds < 10000 || (seen.blue > 0 && seen.red > 0));
        QVERIFY(fixture.chimed(QStringLiteral("pinpon.wav")));
        QVERIFY(!fixture.chimed(QStringLiteral("endpinpon.wav")));
    }

    void initButton_data()
    {
        QTest::addColumn<int>("runFirst");
        QTest::newRow("at start-up") << 0;
        QTest::newRow("after 1,000") << 3;
    }

    // Init: the start-up picture and no results; the seeds stay in store.
    void initButton()
    {
        QFETCH(int, runFirst);
        Fixture fixture;
        QVERIFY(fixture.showAndDraw());
        const QImage startup = fixture.board();
        QCOMPARE(colours(startup).blue + colours(startup).red, 0);
        if (runFirst) {
            fixture.click(runFirst);
            QVERIFY(fixture.board() != startup);
        }
        const auto seeds = std::make_unique<SeedStore>(fixture.form.seedStore());
        const QStringList chimes = fixture.soundWarnings;

        fixture.click(6);
        QCOMPARE(fixture.form.label(2)->text(), QString());
        QCOMPARE(fixture.form.label(4)->text(), QString());
        QCOMPARE(fixture.board(), startup);
        QVERIFY(fixture.form.seedStore().seedX == seeds->seedX && fixture.form.seedStore().seedY == seeds->seedY);
        QCOMPARE(fixture.soundWarnings, chimes);
    }

    // Exit chimes, asks, and on OK ends the event loop with status 0. Closing
    // the last window must not be what ends it here.
    void exitAsksThenEnds()
    {
        Fixture fixture;
        QVERIFY(fixture.showAndDraw());
        fixture.click(1);
        const QString count = fixture.form.label(4)->text();
        const QImage seeded = fixture.board();
        QApplication::setQuitOnLastWindowClosed(false);

        bool answered = false;
        QTimer answer;
        answer.setInterval(10);
        connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            answer.stop();
            // Should a check fail, the box is closed all the same.
            const auto closeBox = qScopeGuard([box] { box->reject(); });
            QCOMPARE(box->objectName(), QStringLiteral("MsgBox"));
            QCOMPARE(box->windowTitle(), QStringLiteral("Scatter sesame seeds to find pi !"));
            QCOMPARE(box->text(), QStringLiteral("This software will exit."));
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->buttons().size(), 1);
            QVERIFY(fixture.chimed(QStringLiteral("endpinpon.wav")));
            QVERIFY(fixture.form.isVisible());
            QCOMPARE(fixture.form.label(4)->text(), count);
            QCOMPARE(fixture.board(), seeded);
            answered = true;
            QTest::mouseClick(box->buttons().constFirst(), Qt::LeftButton);
        });
        answer.start();
        QTimer::singleShot(0, &fixture.form, [&fixture] { fixture.click(5); });
        const int status = runEventLoop();
        QApplication::setQuitOnLastWindowClosed(true);
        QVERIFY(answered);
        QCOMPARE(status, 0);
        QVERIFY(!fixture.form.isVisible());
    }

    // The title bar's close: the program ends, with no chime and no question.
    void closeEndsQuietly()
    {
        Fixture fixture;
        QVERIFY(fixture.showAndDraw());
        bool asked = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&asked] { asked = asked || QApplication::activeModalWidget(); });
        watch.start(5);
        QTimer::singleShot(0, &fixture.form, [&fixture] { fixture.form.close(); });
        QCOMPARE(runEventLoop(), 0);
        QVERIFY(!asked);
        QVERIFY(fixture.soundWarnings.isEmpty());
        QVERIFY(!fixture.form.isVisible());
    }

    void fatalErrorEndsProgram()
    {
        // A runtime directory of its own, so that Qt has nothing else to say.
        QTemporaryDir runtimeDir;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--throwing-child")});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 2);
        const QStringList lines = QString::fromLocal8Bit(child.readAllStandardError()).split(
            QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList{QStringLiteral("sesame-pi: fatal error: the seeds spilled")});
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--throwing-child") == 0)
        return throwingChild(argc, argv);
    Application app(argc, argv);
    TestEvents test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_events.moc"
