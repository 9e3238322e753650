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

// The window, shown; its Activate signals counted from the start.
struct Fixture
{
    Form1 form;
    Form1Events events{form};
    QSignalSpy activations{&form, &Form1::Activate};

    Fixture() { soundWarnings.clear(); }
    const QImage &board() const { return form.picture1()->board().picture(); }
    void click(int command) { QTest::mouseClick(form.command(command), Qt::LeftButton); }
    // Without a sound server, the player names each chime it is asked for.
    bool chimed(const QString &file) const
    {
        return QTest::qWaitFor([&] { return soundWarnings.join(u' ').contains(file + u'"'); }, 3000);
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
    void init()
    {
        fixture = std::make_unique<Fixture>();
        fixture->form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture->form));
    }

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
        auto *widget = fixture->form.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(widget && widget->isVisible());
        QCOMPARE(widget->geometry(), rect);
        fixture->form.resize(900, 800);
        QTRY_COMPARE_WITH_TIMEOUT(fixture->form.size(), QSize(900, 800), 5000);
        QCOMPARE(widget->geometry(), rect);
        const QString text = widget->property("text").toString();
        QVERIFY(caption.isNull() ? !text.isEmpty() : text == caption);
        QTEST(std::max(widget->font().pixelSize(), 0), "pixelSize");
        QTEST(widget->font().bold(), "bold");
        QVERIFY(widget->font().pixelSize() < 1
                || widget->font().families() == QStringList({u"ＭＳ Ｐゴシック"_s, u"IPAPGothic"_s}));
    }

    // Focus starts on the board, shown by a ring on screen only, where Enter
    // and Escape do nothing; Tab then visits the controls in their order,
    // never a label (the keys that press a button: heldKeys).
    void keyboardAndMouse()
    {
        const QRgb ring = fixture->form.palette().color(QPalette::Active, QPalette::Highlight).rgb();
        QCOMPARE(fixture->form.picture1()->grab().toImage().pixel(3, 3), ring);
        const QImage before = fixture->board();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(fixture->form.picture1(), key);
        QVERIFY(fixture->form.isVisible() && fixture->board() == before && fixture->form.label(2)->text().isEmpty());
        for (const QString name : {"Command1", "Command2", "Command3", "Command4", "Command5", "Picture2", "Command6",
                                   "Command7", "Picture1", "Command1"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
            QVERIFY(name != u"Picture2" || fixture->form.picture2()->grab().toImage().pixel(0, 0) == ring);
        }
        QVERIFY(fixture->form.picture1()->grab().toImage().pixel(3, 3) != ring);
        QSignalSpy clicks(fixture->form.command(1), &QPushButton::clicked); // a key repeated, as Wayland marks it
        QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(fixture->form.command(1), &repeated);
        QVERIFY(!QTest::qWaitFor([&] { return clicks.count() > 0; }, 300));
    }

    // On a real X server, a key held down for 1.5 s, which the server
    // repeats, presses the button once: Space, Return, keypad Enter.
    void heldKeys()
    {
        if (QGuiApplication::platformName() != u"xcb"_s || !haveProgram(u"xdotool"_s))
            QSKIP("needs an X server and xdotool");
        fixture->form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&fixture->form));
        for (const QString key : {"space", "Return", "KP_Enter"}) {
            QSignalSpy clicks(fixture->form.command(1), &QPushButton::clicked);
            fixture->form.command(1)->setFocus();
            QProcess hold; // while the event loop takes the keys as they come, as the program's does
            QEventLoop loop;
            connect(&hold, &QProcess::finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            hold.start(u"sh"_s, {u"-c"_s, u"xdotool keydown %1; sleep 1.5; xdotool keyup %1; sleep 0.3"_s.arg(key)});
            loop.exec();
            QCOMPARE(clicks.count(), 1);
        }
    }

    void buttons_data()
    {
        QTest::addColumn<QList<int>>("commands"); // clicked in turn
        QTest::addColumn<int>("seeds"); // scattered by the last; 0: Init
        QTest::addColumn<int>("stored"); // seeds in the store then
        QTest::newRow("10") << QList{1} << 10 << 10;
        QTest::newRow("100") << QList{2} << 100 << 100;
        QTest::newRow("1,000") << QList{3} << 1000 << 1000;
        QTest::newRow("10,000") << QList{4} << 10000 << 10000;
        QTest::newRow("50,000") << QList{7} << 50000 << 50000;
        QTest::newRow("Init at start-up") << QList{6} << 0 << 0;
        QTest::newRow("Init after 10,000") << QList{4, 6} << 0 << 10000;
    }

    // A run: the chime, that many seeds in the store, the count and the
    // estimate they give, and their picture on screen, sharp at any scale.
    // Init: a clean board and no results, the seeds kept in store, no chime.
    void buttons()
    {
        QFETCH(QList<int>, commands);
        QFETCH(int, seeds);
        QFETCH(int, stored);
        const QImage startup = fixture->board();
        for (const int command : commands)
            fixture->click(command);
        const SeedStore &store = fixture->events.seedStore();
        QCOMPARE(store.seedX[std::size_t(stored)] != 0, stored > 0);
        QCOMPARE(stored == SeedStore::Capacity || store.seedX[std::size_t(stored) + 1] == 0, true);
        const qreal ratio = fixture->form.devicePixelRatioF(); // the screen shows the picture, to the device pixel
        const QRect inner(fixture->form.picture1()->mapTo(&fixture->form, QPoint(2, 2)) * ratio,
                          QSize(523, 419) * ratio);
        QTRY_COMPARE_WITH_TIMEOUT(fixture->form.screen()
                                      ->grabWindow(fixture->form.winId())
                                      .toImage()
                                      .copy(inner)
                                      .convertToFormat(QImage::Format_RGB32),
                                  fixture->board().convertToFormat(QImage::Format_RGB32), 5000);
        QCOMPARE(fixture->chimed(u"pinpon.wav"_s), seeds > 0 || commands.size() > 1);
        if (seeds == 0) {
            QVERIFY(fixture->form.label(2)->text().isEmpty() && fixture->form.label(4)->text().isEmpty());
            QCOMPARE(fixture->board(), startup);
            return;
        }
        long long inside = 0;
        for (std::size_t i = 1; i <= std::size_t(seeds); ++i)
            inside += (store.seedX[i] - 240) * (store.seedX[i] - 240) + (store.seedY[i] - 240) * (store.seedY[i] - 240)
                <= 40000;
        QCOMPARE(fixture->form.label(4)->text(), QString::number(inside));
        QCOMPARE(fixture->form.label(2)->text(), QString::number(4.0 * double(inside) / seeds, 'g', 15));
    }

    // The window as it opens; the board drawn when it is first shown, and
    // never again by coming back to it.
    void window()
    {
        QCOMPARE(fixture->form.windowTitle(), u"Scatter sesame seeds to find an approximate value of pi !"_s);
        const QList<QSize> icons = fixture->form.windowIcon().availableSizes(); // 32 x 32, and larger for docks
        QVERIFY(icons.size() == 5 && icons.contains(QSize(32, 32)) && icons.contains(QSize(256, 256)));
        QCOMPARE(fixture->form.geometry(), QRect(358, 68, 570, 636));
        fixture->click(7);
        const QImage seeded = fixture->board();
        fixture->form.move(300, 50); // by the user: coming back to it leaves it there
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(&fixture->form);
        QTest::qWait(100);
        fixture->form.hide();
        fixture->form.show();
        QCOMPARE(fixture->activations.count(), 1);
        QCOMPARE(fixture->form.pos(), QPoint(300, 50));
        QCOMPARE(fixture->board(), seeded);
        // Where it would open partly off a smaller screen, it is moved onto it, and made smaller where it
        // cannot fit: here beside a panel, in a frame of 1, 24, 1 and 1 pixels (more in the program's rows).
        QCOMPARE(fittedInto(QRect(358, 68, 570, 636), QMargins(1, 24, 1, 1), QRect(400, 30, 500, 600), 0),
                 QRect(401, 54, 498, 575));
    }

    // Exit chimes and asks, the window unchanged behind the box, and OK
    // ends the event loop with 0, by itself.
    void exit()
    {
        fixture->click(1);
        const QImage seeded = fixture->board();
        QString box; // what the box showed, and the window behind it
        QTimer::singleShot(1000, &fixture->form, [&] {
            auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            // Room for the title beside the frame's icon and buttons, in bold as title bars show it.
            QFont bold = shown->font();
            bold.setBold(true);
            const QFontMetrics title(bold);
            const int room = title.horizontalAdvance(shown->windowTitle()) + 4 * title.height();
            box = u"%1|%2|%3|%4|%5|%6|%7"_s.arg(shown->windowTitle(), shown->text())
                      .arg(int(shown->icon()))
                      .arg(shown->buttons().size())
                      .arg(int(fixture->form.isVisible()))
                      .arg(int(fixture->board() == seeded))
                      .arg(std::ranges::count_if(shown->findChildren<QLabel *>(), [&](auto *l) {
                          return l->text() == shown->text() && l->width() >= room; // the text's
                      }));
            shown->buttons().constFirst()->click();
        });
        QTimer::singleShot(0, &fixture->form, [&] { fixture->click(5); });
        QTimer::singleShot(15000, &fixture->form, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(box, u"Scatter sesame seeds to find pi !|This software will exit.|0|1|1|1|1"_s);
        QVERIFY(fixture->chimed(u"endpinpon.wav"_s));
    }

    void program_data()
    {
        QTest::addColumn<QString>("command"); // for sh, the program as $P, this test as $T, no display named
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // what it says, in part
        // A program that keeps running is ended as the row says, and must
        // not leave its chime player behind.
        const QString lives = u"p=$!; sleep 1; c=$(pgrep -P $p); %1; wait $p; s=$?; sleep 1; "
                              "[ -e /proc/$c/exe ] && echo player left; exit $s"_s;
        const QString cannot = u"sesame-pi: cannot open a window: "_s;
        QTest::newRow("an error in a handler") // reported there, the end with 2
            << "QT_QPA_PLATFORM=offscreen $T --failing-run" << 2
            << "sesame-pi: fatal error: a run takes 1 to 50000 seeds, not 0";
        QTest::newRow("no display") << "$P" << 1 << cannot + "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
        const QString unreached = cannot + u"the display DISPLAY=\"%1\" cannot be reached"_s;
        QTest::newRow("X server not there") << "DISPLAY=:987 $P" << 1 << unreached.arg(u":987");
        QTest::newRow("DISPLAY not a display") << "DISPLAY=nonsense $P" << 1 << unreached.arg(u"nonsense");
        QTest::newRow("X server refusing")
            << "xvfb-run -a sh -c 'XAUTHORITY=/dev/null $P'" << 1 << "\" refused the connection";
        QTest::newRow("-platform nonexistent") << "DISPLAY=:987 $P -platform nonexistent" << 1
                                               << cannot + "the Qt platform plugin \"nonexistent\" is not installed";
        QTest::newRow("--version") << "$P --version" << 0 << "sesame-pi 1.00";
        QTest::newRow("--help") << "DISPLAY=:987 $P --help" << 0 << "nothing else is read. See sesame-pi(1).";
        QTest::newRow("--help, nowhere to write")
            << "$P --help >/dev/full" << 1 << "sesame-pi: cannot write to standard output: No space left on device";
        QTest::newRow("SIGINT") << "$P -platform offscreen & " + lives.arg(u"kill -INT $p") << 0 << "";
        QTest::newRow("SIGHUP") << "$P -platform offscreen & " + lives.arg(u"kill -HUP $p") << 0 << "";
        QTest::newRow("what Qt says as it starts, shown") // once a window is open
            << "unset XDG_RUNTIME_DIR; $P -platform offscreen & " + lives.arg(u"kill $p") << 0
            << "XDG_RUNTIME_DIR not set, defaulting to";
        // On an X server of its own, with Openbox where a window manager matters.
        const auto onX = [&](const QString &start, const QString &then, const QString &server = {}) {
            return u"xvfb-run -a %1 sh -c '%2 & %3'"_s.arg(server, start, lives.arg(then));
        };
        const QString wm = u"openbox >/dev/null 2>&1 & sleep 1; "_s;
        QTest::newRow("X server with a window manager, SIGTERM, no session bus started") // it would outlive us
            << onX(wm + u"HOME=$D $P"_s, u"kill $p; [ -e $D/.dbus ] && echo bus started"_s) << 0 << "";
        const QString press = u"xdotool search --sync %1 windowactivate --sync key %2 2>/dev/null"_s;
        QTest::newRow("an error in a handler, on a screen") // told in a box as well, which Return closes
            << onX(wm + u"$T --failing-run"_s, press.arg(u"--onlyvisible --name ^sesame-pi", u"Return")) << 2
            << "sesame-pi: fatal error: a run takes 1 to 50000 seeds, not 0";
        QTest::newRow("closed from its title bar (Alt+F4), no chime") // no sound server: a chime would be named
            << onX(wm + u"$P"_s, press.arg(u"--name ^Scatter", u"alt+F4")) << 0 << "";
        QTest::newRow("X server, window destroyed")
            << onX(u"$P"_s, u"xdotool search --sync --name ^Scatter windowclose"_s) << 0 << "";
        QTest::newRow("X server, window killed (xkill)")
            << onX(u"$P"_s, u"xkill -id $(xdotool search --sync --name ^Scatter) >/dev/null"_s) << 0 << "";
        QTest::newRow("killed outright, and what its player started with it") // a player that leaves a child
            << "cp $P $D; printf \"#!/bin/sh\\nsleep 100 & echo \\$! >$D/c; exec cat\\n\" >$D/sesame-pi-chimes; "
               "chmod +x $D/sesame-pi-chimes; $D/sesame-pi -platform offscreen & p=$!; sleep 1; kill -9 $p; sleep 0.5; "
               "[ -e /proc/$(cat $D/c)/exe ] && echo player left; exit 0"
            << 0 << "";
        // Put off a screen too small for it: on it, and smaller, with room for a scroll bar (14 pixels); under
        // a title bar taller than most (Openbox's, in 40 points), all of its frame (1 pixel at the sides) too.
        const QString small = u"-s '-screen 0 640x480x24'"_s, off = u"$P -geometry +5000+5000"_s;
        const QString place = u"w=$(xdotool search --sync --name ^Scatter); sleep 1; xwininfo -id %1 | awk "
                              "\"/Absolute|Width|Height/ {printf \\\"%s \\\", \\$NF}\"; kill $p"_s;
        QTest::newRow("-geometry off a small screen") << onX(off, place.arg(u"$w"_s), small) << 0 << "52 32 584 444";
        QTest::newRow("-geometry off a small screen, a tall title bar")
            << onX(u"printf \"<openbox_config><theme><font place=\\\"ActiveWindow\\\"><size>40</size></font></theme>"
                   "</openbox_config>\" >$D/rc; openbox --config-file $D/rc >/dev/null 2>&1 & sleep 1; $P -geometry "
                   "+5000+5000"_s,
                   place.arg(u"$(xwininfo -tree -id $w | awk \"/Parent window id/ {print \\$4}\")"_s), small)
            << 0 << "54 0 586 480";
    }

    // The program itself, started as a user would: one line and status 1
    // where no window can be opened, Qt's own -platform honoured; 0, with
    // its chime player gone, after SIGTERM or when its window is destroyed.
    void program()
    {
        QFETCH(QString, command);
        QFETCH(QString, said);
        QProcess program;
        QProcessEnvironment env;
        for (const QString name : {"PATH", "HOME", "PULSE_SERVER", "LSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
            env.insert(name, qEnvironmentVariable(qPrintable(name)));
        QTemporaryDir scratch;
        env.insert(u"XDG_RUNTIME_DIR"_s, scratch.path());
        env.insert(u"P"_s, QCoreApplication::applicationDirPath() + u"/sesame-pi"_s);
        env.insert(u"T"_s, QCoreApplication::applicationFilePath());
        program.setProcessEnvironment(env);
        program.start(u"sh"_s, {u"-c"_s, u"D=$XDG_RUNTIME_DIR; "_s + command}); // a scratch folder too
        QVERIFY(program.waitForFinished(30000));
        QTEST(program.exitCode(), "status");
        // Nothing at all where nothing is to be said; one line where no window could be opened.
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
        QVERIFY2(said.isEmpty() ? out.trimmed().isEmpty()
                                : out.contains(said) && (program.exitCode() != 1 || out.count(u'\n') == 1),
                 qPrintable(out));
    }
};

int main(int argc, char **argv)
{
    Application app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--failing-run") == 0) {
        Form1 form;
        Form1Events events(form);
        QTimer::singleShot(0, &events, [&] { events.CountButton_Click(0); });
        return Application::exec();
    }
    TestForm1 test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1.moc"
