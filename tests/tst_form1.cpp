#include "app/Application.h"
#include "app/Form1Events.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QtTest>
#include <QtWidgets>

using namespace sesame;
using namespace Qt::StringLiterals;

namespace {

QStringList soundWarnings;

void keepSoundWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "sesame-pi.sound") == 0)
        soundWarnings << message;
    else if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

// 4 x inside / n as the captions write it, worked out in whole numbers:
// every n here divides 4 x inside x 100000.
QString estimateText(long long inside, int n)
{
    const long long scaled = 4 * inside * 100000 / n;
    QString text = QString::number(scaled / 100000) + '.' + QString::number(scaled % 100000).rightJustified(5, '0');
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text;
}

struct Fixture
{
    Form1 form;
    Form1Events events{form};

    Fixture() { soundWarnings.clear(); }
    const QImage &board() const { return form.picture1()->board().surface().image(); }
    bool show()
    {
        form.show();
        return QTest::qWaitForWindowExposed(&form)
            && QTest::qWaitFor(
                   [this] { return board().pixel(261, 35) == 0xff000000u || board().pixel(261, 34) == 0xff000000u; },
                   5000);
    }
    void click(int command) { QTest::mouseClick(form.command(command), Qt::LeftButton); }
    bool chimed(const QString &file) const
    {
        return QTest::qWaitFor([&] { return soundWarnings.join(u' ').contains(file + u'"'); }, 5000);
    }
    // What the screen shows of the board's inner area.
    QImage onScreen() const
    {
        const QPoint at = form.picture1()->mapTo(&form, form.picture1()->contentsRect().topLeft());
        return form.screen()
            ->grabWindow(form.winId())
            .toImage()
            .copy(QRect(at, QSize(523, 419)))
            .convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> fixture;

private slots:
    // After QtTest's own handler, which would take the warnings otherwise.
    void initTestCase() { qInstallMessageHandler(keepSoundWarnings); }
    void init() { fixture = std::make_unique<Fixture>(); }
    void cleanup() { fixture.reset(); }

    void controls_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("caption"); // null: the notice, worded freely
        QTest::addColumn<int>("pixelSize"); // 0: a picture, no font of its own
        QTest::addColumn<bool>("bold");
        QTest::newRow("Picture1") << QRect(24, 64, 527, 423) << u""_s << 0 << false;
        QTest::newRow("Command1") << QRect(24, 496, 66, 41) << u"10"_s << 16 << true;
        QTest::newRow("Command2") << QRect(104, 496, 72, 41) << u"100"_s << 16 << true;
        QTest::newRow("Command3") << QRect(184, 496, 79, 41) << u"1,000"_s << 16 << true;
        QTest::newRow("Command4") << QRect(272, 496, 86, 41) << u"10,000"_s << 16 << true;
        QTest::newRow("Command7") << QRect(368, 496, 86, 41) << u"50,000"_s << 16 << true;
        QTest::newRow("Command6") << QRect(464, 496, 86, 41) << u"Init"_s << 16 << true;
        QTest::newRow("Command5") << QRect(64, 584, 73, 33) << u"Exit"_s << 19 << true;
        QTest::newRow("Label1") << QRect(288, 576, 33, 25) << u"pi\uff1d"_s << 19 << true;
        QTest::newRow("Label2") << QRect(328, 576, 129, 25) << u""_s << 19 << true;
        QTest::newRow("Label3") << QRect(32, 552, 289, 17) << u"Number of sesame seeds in a circle\uff1d"_s << 16
                                << true;
        QTest::newRow("Label4") << QRect(328, 552, 121, 17) << u""_s << 16 << true;
        QTest::newRow("Label5") << QRect(24, 16, 433, 25) << u"Sesame seeds inside the circle are displayed in blue !"_s
                                << 15 << true;
        QTest::newRow("Label6") << QRect(312, 600, 185, 17) << QString() << 15 << false;
        QTest::newRow("Label7") << QRect(24, 40, 521, 25)
                                << u"pi = 4\u00d7(Number of sesame seeds in a circle)\u00f7(Total number of them) "_s
                                << 15 << true;
        QTest::newRow("Picture2") << QRect(496, 584, 42, 41) << u""_s << 0 << false;
    }

    // In place, captioned and in their fonts; a larger window only adds room.
    void controls()
    {
        QFETCH(QRect, rect);
        QFETCH(QString, caption);
        QFETCH(int, pixelSize);
        QFETCH(bool, bold);
        QVERIFY(fixture->show());
        auto *widget = fixture->form.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(widget && widget->isVisible());
        QCOMPARE(widget->geometry(), rect);
        fixture->form.resize(900, 800);
        QTRY_COMPARE_WITH_TIMEOUT(fixture->form.size(), QSize(900, 800), 5000);
        QCOMPARE(widget->geometry(), rect);
        if (pixelSize == 0)
            return;
        const QString text = widget->property("text").toString();
        QVERIFY(caption.isNull() ? !text.isEmpty() : text == caption);
        QCOMPARE(widget->font().pixelSize(), pixelSize);
        QCOMPARE(widget->font().bold(), bold);
    }

    void window()
    {
        QVERIFY(fixture->show());
        QCOMPARE(fixture->form.windowTitle(), u"Scatter sesame seeds to find an approximate value of pi !"_s);
        QCOMPARE(fixture->form.geometry(), QRect(358, 68, 570, 636));
        QCOMPARE(fixture->form.picture1()->contentsRect(), QRect(2, 2, 523, 419));
        QCOMPARE(fixture->form.picture2()->pixmap().size(), QSize(42, 41));
        // The media control takes no room: its area belongs to the board.
        QCOMPARE(fixture->form.childAt(168 + 118, 432 + 16), fixture->form.picture1());
    }

    // Focus starts on the board, where Enter and Escape do nothing; Tab
    // then visits the controls in their order, never a label.
    void keyboard()
    {
        QVERIFY(fixture->show());
        QCOMPARE(QApplication::focusWidget(), fixture->form.picture1());
        const QImage before = fixture->board();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(fixture->form.picture1(), key);
        QVERIFY(fixture->form.isVisible());
        QCOMPARE(fixture->board(), before);
        QVERIFY(fixture->form.label(2)->text().isEmpty());
        for (const QString name : {"Command1", "Command2", "Command3", "Command4", "Command5", "Picture2", "Command6",
                                   "Command7", "Picture1"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
        }
        // Return presses the button with the focus, once however long it is held.
        QSignalSpy clicks(fixture->form.command(1), &QPushButton::clicked);
        QTest::keyClick(fixture->form.command(1), Qt::Key_Return);
        QTRY_COMPARE(clicks.count(), 1);
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(fixture->form.command(1), &held);
        QTest::qWait(300);
        QCOMPARE(clicks.count(), 1);
    }

    void countButton_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("seeds");
        for (const CountButton button : CountButtons)
            QTest::addRow("Command%d", button.command) << button.command << button.seeds;
    }

    // The chime, the seeds on screen, and the count and estimate the seeds
    // in the store give.
    void countButton()
    {
        QFETCH(int, command);
        QFETCH(int, seeds);
        QVERIFY(fixture->show());
        fixture->click(command);
        long long inside = 0;
        const SeedStore &store = fixture->events.seedStore();
        for (std::size_t i = 1; i <= std::size_t(seeds); ++i)
            inside += (store.seedX[i] - 240) * (store.seedX[i] - 240) + (store.seedY[i] - 240) * (store.seedY[i] - 240)
                <= 40000;
        QCOMPARE(fixture->form.label(4)->text(), QString::number(inside));
        QCOMPARE(fixture->form.label(2)->text(), estimateText(inside, seeds));
        QTRY_COMPARE_WITH_TIMEOUT(fixture->onScreen(), fixture->board().convertToFormat(QImage::Format_RGB32), 5000);
        QVERIFY(fixture->chimed(u"pinpon.wav"_s));
    }

    void initButton_data()
    {
        QTest::addColumn<int>("runFirst");
        QTest::newRow("at start-up") << 0;
        QTest::newRow("after 10,000") << 4;
    }

    // A clean board and no results, on screen too; the seeds stay in store.
    void initButton()
    {
        QFETCH(int, runFirst);
        QVERIFY(fixture->show());
        const QImage startup = fixture->board();
        if (runFirst)
            fixture->click(runFirst);
        const auto seeds = std::make_unique<SeedStore>(fixture->events.seedStore());
        fixture->click(6);
        QVERIFY(fixture->form.label(2)->text().isEmpty() && fixture->form.label(4)->text().isEmpty());
        QCOMPARE(fixture->board(), startup);
        QTRY_COMPARE_WITH_TIMEOUT(fixture->onScreen(), startup.convertToFormat(QImage::Format_RGB32), 5000);
        QVERIFY(seeds->seedX == fixture->events.seedStore().seedX);
        QTest::qWait(1500); // Init plays no chime: none was asked for yet at start-up
        QVERIFY(runFirst || soundWarnings.isEmpty());
    }

    // The board is drawn when the window first shows, and never again by
    // coming back to it.
    void activation()
    {
        QSignalSpy activations(&fixture->form, &Form1::Activate);
        QVERIFY(fixture->show());
        fixture->click(7);
        const QImage seeded = fixture->board();
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(&fixture->form);
        fixture->form.hide();
        fixture->form.show();
        QTest::qWait(100);
        QCOMPARE(activations.count(), 1);
        QCOMPARE(fixture->board(), seeded);
        Form1 unfocused; // shown but never activated, as on a bare X server
        QSignalSpy quiet(&unfocused, &Form1::Activate);
        QShowEvent shown;
        QApplication::sendEvent(&unfocused, &shown);
        QTRY_COMPARE(quiet.count(), 1);
    }

    void ending_data()
    {
        QTest::addColumn<bool>("exitButton");
        QTest::newRow("Exit, then OK") << true;
        QTest::newRow("title-bar close") << false;
    }

    // Exit chimes and asks, the window unchanged behind the box, and OK
    // ends the event loop with 0. Closing the window ends it without either.
    void ending()
    {
        QFETCH(bool, exitButton);
        QVERIFY(fixture->show());
        fixture->click(1);
        const QString results = fixture->form.label(4)->text();
        const QImage seeded = fixture->board();
        soundWarnings.clear();
        int boxes = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            answer.stop();
            ++boxes;
            QCOMPARE(box->windowTitle(), u"Scatter sesame seeds to find pi !"_s);
            QCOMPARE(box->text(), u"This software will exit."_s);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->buttons().size(), 1);
            QVERIFY(fixture->chimed(u"endpinpon.wav"_s));
            QVERIFY(fixture->form.isVisible());
            QCOMPARE(fixture->form.label(4)->text(), results);
            QCOMPARE(fixture->board(), seeded);
            box->buttons().constFirst()->click();
        });
        answer.start(10);
        // Exit ends the event loop itself, not by closing the last window.
        QApplication::setQuitOnLastWindowClosed(!exitButton);
        QTimer::singleShot(0, &fixture->form, [&] { exitButton ? fixture->click(5) : void(fixture->form.close()); });
        QTimer::singleShot(15000, &fixture->form, [] { QCoreApplication::exit(99); });
        const int status = QCoreApplication::exec();
        QApplication::setQuitOnLastWindowClosed(true);
        QCOMPARE(status, 0);
        QCOMPARE(boxes, int(exitButton));
        QVERIFY(exitButton || !fixture->chimed(u"endpinpon.wav"_s));
    }

    void program_data()
    {
        QTest::addColumn<QStringList>("setting"); // environment, then arguments
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::newRow("no display") << QStringList() << 1
                                    << "sesame-pi: cannot open a window: no display (neither DISPLAY nor "
                                       "WAYLAND_DISPLAY is set)\n";
        QTest::newRow("X server not there")
            << QStringList{"DISPLAY=:987"} << 1 << "sesame-pi: cannot open a window: the display cannot be reached\n";
        QTest::newRow("-platform offscreen, then SIGTERM") << QStringList{"", "-platform", "offscreen"} << 0 << "";
        QTest::newRow("--version") << QStringList{"DISPLAY=:987", "--version"} << 0 << "sesame-pi 1.00\n";
        // A window manager shows the window later than a bare X server does.
        QTest::newRow("X server with a window manager, then SIGTERM") << QStringList{"DISPLAY=desktop"} << 0 << "";
    }

    // The program itself, started as a user would: one line and status 1
    // where no window can be opened, Qt's own -platform honoured.
    void program()
    {
        QFETCH(QStringList, setting);
        QFETCH(int, status);
        QFETCH(QString, said);
        QProcess server, manager;
        auto end
            = qScopeGuard([&] { manager.kill(), server.kill(), manager.waitForFinished(), server.waitForFinished(); });
        if (setting.value(0) == u"DISPLAY=desktop"_s) {
            if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty()
                || QStandardPaths::findExecutable(u"openbox"_s).isEmpty())
                QSKIP("needs Xvfb and openbox");
            server.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s});
            QVERIFY(server.waitForReadyRead(10000));
            setting[0] = u"DISPLAY=:"_s + QString::fromLatin1(server.readAll()).trimmed();
            manager.start(u"env"_s, {setting[0], u"openbox"_s});
            QTest::qWait(500); // managing the screen before the window comes
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (!setting.value(0).isEmpty())
            env.insert(setting[0].section(u'=', 0, 0), setting[0].section(u'=', 1));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QCoreApplication::applicationDirPath() + u"/sesame-pi"_s, setting.mid(1));
        if (status == 0 && said.isEmpty()) {
            QTest::qWait(1000);
            QCOMPARE(program.state(), QProcess::Running);
            program.terminate();
        }
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
        // A program that said nothing leaves a null string, which ends with no
        // string at all, not even an empty one.
        QVERIFY2((said.isEmpty() || out.endsWith(said)) && !out.contains(u"qt.qpa"_s), qPrintable(out));
    }

    // A failure in a handler is reported and ends the program with 2.
    void fatalError()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {u"--throwing-child"_s});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 2);
        QVERIFY(child.readAllStandardError().contains("sesame-pi: fatal error: the seeds spilled\n"));
    }
};

int main(int argc, char **argv)
{
    Application app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--throwing-child") == 0) {
        QTimer::singleShot(0, &app, [] { throw std::runtime_error("the seeds spilled"); });
        return Application::exec();
    }
    TestForm1 test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1.moc"
