#include "Servers.h"
#include "app/Application.h"
#include "app/Form1Events.h"
#include "window/Form1.h"
#include "window/PictureBox.h"
#include "window/Placement.h"

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
    return text.endsWith('.') ? text.chopped(1) : text;
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
        return QTest::qWaitForWindowExposed(&form) && QTest::qWaitFor([this] { return !onScreen().isNull(); }, 5000);
    }
    void click(int command) { QTest::mouseClick(form.command(command), Qt::LeftButton); }
    // The player names the chime it was asked for when it cannot play it:
    // there is no sound server here.
    bool chimed(const QString &file) const
    {
        return QTest::qWaitFor([&] { return soundWarnings.join(u' ').contains(file + u'"'); }, 5000);
    }
    // What the screen shows of the board's inner area, in device pixels.
    QImage onScreen() const
    {
        const qreal ratio = form.devicePixelRatioF();
        const QRect inner(form.picture1()->mapTo(&form, QPoint(2, 2)) * ratio, QSize(523, 419) * ratio);
        return form.screen()->grabWindow(form.winId()).toImage().copy(inner).convertToFormat(QImage::Format_RGB32);
    }
    bool boardOnScreen() const
    {
        return QTest::qWaitFor([this] { return onScreen() == board().convertToFormat(QImage::Format_RGB32); }, 5000);
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
        QTEST(widget->font().bold(), "bold");
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

    // Focus starts on the board, shown by a ring on screen only, where Enter
    // and Escape do nothing; Tab then visits the controls in their order,
    // never a label; Return, keypad Enter and Space press a button once,
    // however long held. A press released off the button does not run; one
    // dragged off and back onto it does.
    void keyboardAndMouse()
    {
        QVERIFY(fixture->show());
        QCOMPARE(QApplication::focusWidget(), fixture->form.picture1());
        const QRgb ring = fixture->form.palette().color(QPalette::Active, QPalette::Highlight).rgb();
        QCOMPARE(fixture->form.picture1()->grab().toImage().pixel(3, 3), ring);
        const QImage before = fixture->board();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(fixture->form.picture1(), key);
        QVERIFY(fixture->form.isVisible());
        QCOMPARE(fixture->board(), before);
        QVERIFY(fixture->form.label(2)->text().isEmpty());
        for (const QString name : {"Command1", "Command2", "Command3", "Command4", "Command5", "Picture2", "Command6",
                                   "Command7", "Picture1", "Command1"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
        }
        QVERIFY(fixture->form.picture1()->grab().toImage().pixel(3, 3) != ring);
        QSignalSpy clicks(fixture->form.command(1), &QPushButton::clicked);
        for (const auto &[key, modifier] :
             {std::pair(Qt::Key_Return, Qt::NoModifier), std::pair(Qt::Key_Enter, Qt::KeypadModifier),
              std::pair(Qt::Key_Space, Qt::NoModifier)}) {
            const int before = clicks.count();
            QTest::keyClick(fixture->form.command(1), key, modifier);
            QTRY_COMPARE(clicks.count(), before + 1);
        }
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(fixture->form.command(1), &held);
        QTest::qWait(300);
        QCOMPARE(clicks.count(), 3);
        const QPoint inside = fixture->form.command(1)->rect().center(), outside(-20, -20);
        for (const QPoint back : {outside, inside}) {
            QTest::mousePress(fixture->form.command(1), Qt::LeftButton, {}, inside);
            QTest::mouseMove(fixture->form.command(1), outside);
            QTest::mouseMove(fixture->form.command(1), back);
            QTest::mouseRelease(fixture->form.command(1), Qt::LeftButton, {}, back);
        }
        QCOMPARE(clicks.count(), 4);
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

    // The chime, that many seeds in the store, the count and estimate they
    // give, and the picture on screen, sharp at any scale.
    void countButton()
    {
        QFETCH(int, command);
        QFETCH(int, seeds);
        QVERIFY(fixture->show());
        QVERIFY(fixture->events.seedStore().seedX[std::size_t(seeds)] == 0);
        fixture->click(command);
        const SeedStore &store = fixture->events.seedStore();
        QVERIFY(store.seedX[std::size_t(seeds)] != 0 && store.seedX[std::size_t(seeds) + 1] == 0);
        long long inside = 0;
        for (std::size_t i = 1; i <= std::size_t(seeds); ++i)
            inside += (store.seedX[i] - 240) * (store.seedX[i] - 240) + (store.seedY[i] - 240) * (store.seedY[i] - 240)
                <= 40000;
        QCOMPARE(fixture->form.label(4)->text(), QString::number(inside));
        QCOMPARE(fixture->form.label(2)->text(), estimateText(inside, seeds));
        QCOMPARE(fixture->board().devicePixelRatio(), fixture->form.devicePixelRatioF());
        QVERIFY(fixture->boardOnScreen());
        QVERIFY(fixture->chimed(u"pinpon.wav"_s));
    }

    void initButton_data()
    {
        QTest::addColumn<int>("runFirst");
        QTest::newRow("at start-up") << 0;
        QTest::newRow("after 10,000") << 4;
    }

    // A clean board and no results, on screen too; the seeds stay in store;
    // no chime.
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
        QVERIFY(fixture->boardOnScreen());
        QVERIFY(seeds->seedX == fixture->events.seedStore().seedX);
        QVERIFY(runFirst || !fixture->chimed(u".wav"_s)); // the player would have said so: no sound server here
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
        const QImage seeded = fixture->board();
        QString box; // what the box showed, with the window behind it
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); shown && box.isNull()) {
                box = QStringList{shown->windowTitle(),
                                  shown->text(),
                                  QString::number(shown->icon()),
                                  QString::number(shown->buttons().size()),
                                  QString::number(fixture->form.isVisible()),
                                  QString::number(fixture->board() == seeded)}
                          .join(u'|');
                shown->buttons().constFirst()->click();
            }
        });
        answer.start(10);
        // Exit ends the event loop itself, not by closing the last window.
        QApplication::setQuitOnLastWindowClosed(!exitButton);
        QTimer::singleShot(0, &fixture->form, [&] { exitButton ? fixture->click(5) : void(fixture->form.close()); });
        QTimer::singleShot(15000, &fixture->form, [] { QCoreApplication::exit(99); });
        const int status = QCoreApplication::exec();
        QApplication::setQuitOnLastWindowClosed(true);
        QCOMPARE(status, 0);
        QCOMPARE(box, exitButton ? u"Scatter sesame seeds to find pi !|This software will exit.|0|1|1|1"_s : QString());
        QCOMPARE(fixture->chimed(u"endpinpon.wav"_s), exitButton);
    }

    // The frame is Openbox's (1, 20, 1 and 5 pixels) round the 570 x 636 client area.
    void placement_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("offset");
        QTest::newRow("fits") << QRect(0, 0, 1280, 800) << QPoint(0, 0);
        QTest::newRow("too low") << QRect(0, 0, 1280, 700) << QPoint(0, -5);
        QTest::newRow("too small") << QRect(0, 0, 1024, 600) << QPoint(0, -44);
        QTest::newRow("panels, too narrow") << QRect(400, 30, 500, 600) << QPoint(43, -14);
    }
    void placement()
    {
        QFETCH(QRect, screen);
        QTEST(offsetOntoScreen(QRect(357, 44, 572, 661), screen), "offset");
    }

    void program_data()
    {
        QTest::addColumn<QStringList>("setting"); // environment, then arguments
        QTest::addColumn<QString>("ending"); // what ends it: itself, SIGTERM, or the window destroyed
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // the end of what it says
        const QString cannot = u"sesame-pi: cannot open a window: "_s;
        QTest::newRow("no display") << QStringList() << "" << 1
                                    << cannot + "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)\n";
        QTest::newRow("X server not there")
            << QStringList{"DISPLAY=:987"} << "" << 1 << cannot + "the display DISPLAY=\":987\" cannot be reached\n";
        QTest::newRow("-platform nonexistent") << QStringList{"DISPLAY=:987", "-platform", "nonexistent"} << "" << 1
                                               << cannot + "the Qt platform plugin \"nonexistent\" is not installed\n";
        QTest::newRow("Wayland asked for, not installed")
            << QStringList{"QT_QPA_PLATFORM=wayland"} << "" << 1
            << cannot + "the Qt platform plugin \"wayland\" is not installed (Debian package qt6-wayland)\n";
        QTest::newRow("--version") << QStringList{"DISPLAY=:987", "--version"} << "" << 0 << "sesame-pi 1.00\n";
        QTest::newRow("--help") << QStringList{"DISPLAY=:987", "--help"} << "" << 0 << "read. See sesame-pi(1).\n";
        QTest::newRow("--help, nowhere to write")
            << QStringList{"DISPLAY=:987", "--help", ">/dev/full"} << "" << 1
            << "sesame-pi: cannot write to standard output: No space left on device\n";
        QTest::newRow("-platform offscreen") << QStringList{"", "-platform", "offscreen"} << "SIGTERM" << 0 << "";
        QTest::newRow("X server with a window manager") << QStringList{"DISPLAY=desktop"} << "SIGTERM" << 0 << "";
        QTest::newRow("X server, window destroyed") << QStringList{"DISPLAY=bare"} << "destroyed" << 0 << "";
    }

    // The program itself, started as a user would: one line and status 1
    // where no window can be opened, Qt's own -platform honoured; 0, with
    // its chime player gone, after SIGTERM or when its window is destroyed.
    void program()
    {
        QFETCH(QStringList, setting);
        QFETCH(QString, ending);
        QFETCH(int, status);
        QFETCH(QString, said);
        XServer server;
        if (setting.value(0).endsWith(u"desktop"_s) || setting.value(0).endsWith(u"bare"_s)) {
            if (!haveProgram(u"Xvfb"_s) || !haveProgram(u"openbox"_s) || !haveProgram(u"xdotool"_s))
                QSKIP("needs Xvfb, openbox and xdotool");
            QVERIFY(server.start(setting[0].endsWith(u"desktop"_s)));
            setting[0] = u"DISPLAY="_s + server.display();
        }
        if (setting.value(0).contains(u"wayland"_s)
            && QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath)
                                 + u"/platforms/libqwayland-generic.so"_s))
            QSKIP("the Wayland plugin is installed here");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (!setting.value(0).isEmpty())
            env.insert(setting[0].section(u'=', 0, 0), setting[0].section(u'=', 1));
        QProcess program, pgrep;
        program.setProcessEnvironment(env);
        if (setting.removeAll(u">/dev/full"_s))
            program.setStandardOutputFile(u"/dev/full"_s);
        program.start(QCoreApplication::applicationDirPath() + u"/sesame-pi"_s, setting.mid(1));
        QString player;
        if (!ending.isEmpty()) {
            QTest::qWait(1000);
            QCOMPARE(program.state(), QProcess::Running);
            pgrep.start(u"pgrep"_s, {u"-P"_s, QString::number(program.processId())});
            QVERIFY(pgrep.waitForFinished(5000));
            player = QString::fromLatin1(pgrep.readAll()).trimmed();
            QVERIFY(!player.isEmpty());
            if (ending == u"SIGTERM")
                program.terminate();
            else
                QProcess::execute(
                    u"env"_s,
                    {setting[0], u"xdotool"_s, u"search"_s, u"--name"_s, u"^Scatter sesame"_s, u"windowclose"_s});
        }
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
        QVERIFY2(out.endsWith(said) && !out.contains(u"qt.qpa"_s), qPrintable(out));
        QVERIFY2(status == 0 || out.count(u'\n') == 1, qPrintable(out));
        QTRY_VERIFY_WITH_TIMEOUT(player.isEmpty() || !QFile::exists(u"/proc/"_s + player + u"/exe"_s), 5000);
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
