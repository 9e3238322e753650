#include "app/Application.h"
#include "app/Form1Events.h"
#include "estimate/ScatterArithmetic.h"
#include "sound/SoundEffectControl.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QtTest>
#include <QtWidgets>

#include <stdexcept>

using namespace sesame;
using namespace Qt::StringLiterals;

namespace {

constexpr QRgb BlackPixel = 0xff000000, BluePixel = 0xff0000ff, RedPixel = 0xffff0000;

qsizetype count(const QImage &image, QRgb colour)
{
    qsizetype pixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            pixels += image.pixel(x, y) == colour;
    return pixels;
}

// The window and its handlers, made afresh for each test function and row.
struct Fixture
{
    Form1 form;
    Form1Events events{form};
    QStringList soundWarnings;

    // A warning names its file in quotes.
    bool chimed(const QString &file) const { return soundWarnings.join(u' ').contains(u'"' + file + u'"'); }
    const QImage &board() const { return form.picture1()->board().surface().image(); }
    // Shown, active and with the board drawn. Chimes are looked for nowhere:
    // the warning each one leaves behind tells which were asked for.
    bool show()
    {
        form.mmControl1().setSearchDirs({});
        form.mmControl1().setWarningSink([this](const QString &line) { soundWarnings << line; });
        form.show();
        return QTest::qWaitForWindowActive(&form) && QTest::qWaitFor([this] { return count(board(), BlackPixel) > 0; });
    }
    void click(int command) { QTest::mouseClick(form.command(command), Qt::LeftButton); }
};

} // namespace

// Run twice by ctest: as is, and as tst_form1_hidpi with QT_SCALE_FACTOR=2,
// where the layout must stay in logical pixels.
class TestForm1 : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> fixture;

private slots:
    void init() { fixture = std::make_unique<Fixture>(); }
    void cleanup() { fixture.reset(); }

    // A null caption stands for the notice, whose wording may change; pixel
    // size 0 for a picture, which has no font of its own.
    void controls_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("pixelSize");
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
        // Neither a larger nor a maximised window moves anything.
        fixture->form.resize(1000, 900);
        fixture->form.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture->form));
        QCOMPARE(widget->geometry(), rect);

        // Assistive tools know a control by its caption, a picture by a name.
        const QString text = widget->property("text").toString();
        const QString accessibleName = QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        if (pixelSize == 0) {
            QVERIFY(!accessibleName.isEmpty());
            return;
        }
        if (caption.isNull())
            QVERIFY(!text.trimmed().isEmpty());
        else
            QCOMPARE(text, caption);
        QCOMPARE(accessibleName, text.trimmed());
        QCOMPARE(widget->font().pixelSize(), pixelSize);
        QCOMPARE(widget->font().bold(), bold);

        // The caption fits its box as drawn: a button draws it inside the
        // style's contents rectangle.
        int room = widget->width();
        if (auto *button = qobject_cast<QPushButton *>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        }
        QCOMPARE_LE(QFontMetrics(widget->font()).horizontalAdvance(text.trimmed()), room);
        // The face the package depends on (fonts-ipafont-gothic).
        QCOMPARE(QFontInfo(widget->font()).family(), u"IPAPGothic"_s);
    }

    // The board is drawn at the screen's resolution (1046 x 838 at a scale
    // of 2), not scaled up from 1x.
    void window()
    {
        const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s).toDouble();
        QVERIFY(fixture->show());
        QCOMPARE(fixture->form.windowTitle(), u"Scatter sesame seeds to find an approximate value of pi !"_s);
        QCOMPARE(fixture->form.geometry(), QRect(358, 68, 570, 636));
        QCOMPARE(fixture->form.picture1()->contentsRect(), QRect(2, 2, 523, 419));
        QCOMPARE(fixture->form.picture2()->pixmap().size(), QSize(42, 41));
        QCOMPARE(fixture->board().size(), QSize(523, 419) * scale);
        QCOMPARE(fixture->board().devicePixelRatio(), scale);

        // The media control takes no room: its area belongs to the board.
        for (const QWidget *widget : fixture->form.findChildren<QWidget *>(u"MMControl1"_s))
            QVERIFY(!widget->isVisible());
        const QPoint mediaCentre(168 + 118, 432 + 16);
        QCOMPARE(QApplication::widgetAt(fixture->form.mapToGlobal(mediaCentre)), fixture->form.picture1());
    }

    // Focus starts on the board, where Enter and Escape do nothing: no button
    // is a default one. Tab then visits the controls; labels never get focus.
    void keyboard()
    {
        QVERIFY(fixture->show());
        QCOMPARE(QApplication::focusWidget(), fixture->form.picture1());
        const QImage before = fixture->board();
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(fixture->form.picture1(), key);
        QVERIFY(fixture->form.isVisible());
        QCOMPARE(fixture->board(), before);
        for (const QPushButton *button : fixture->form.findChildren<QPushButton *>())
            QVERIFY(!button->isDefault() && !button->autoDefault());

        const QStringList expected{"Command1", "Command2", "Command3", "Command4", "Command5",
                                   "Picture2", "Command6", "Command7", "Picture1"};
        for (const QString &name : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
        }
        for (const QLabel *label : fixture->form.findChildren<QLabel *>())
            if (label != fixture->form.picture2())
                QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }

    // Activate draws the board once: later activations leave the seeds be.
    void activateDrawsBoardOnce()
    {
        QSignalSpy activations(&fixture->form, &Form1::Activate);
        QCOMPARE(count(fixture->board(), BlackPixel), 0);
        QVERIFY(fixture->show());
        fixture->click(4);
        const QImage seeded = fixture->board();
        for (const QEvent::Type type : {QEvent::WindowDeactivate, QEvent::WindowActivate, QEvent::Show})
            QCoreApplication::postEvent(&fixture->form, new QEvent(type));
        fixture->form.hide();
        QVERIFY(fixture->show());
        QCOMPARE(activations.count(), 1);
        QCOMPARE(fixture->board(), seeded);
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
        QVERIFY(fixture->show());
        fixture->click(command);

        long long inside = 0;
        for (std::size_t i = 1; i <= std::size_t(seeds); ++i)
            inside += IsInside(fixture->form.seedStore().seedX[i], fixture->form.seedStore().seedY[i]);
        QCOMPARE(fixture->form.label(4)->text(), QString::number(inside));
        const QString estimate = fixture->form.label(2)->text();
        // Plain notation: digits, perhaps a point and more digits; no exponent.
        QVERIFY2(QRegularExpression(u"^\\d+(\\.\\d+)?$"_s).match(estimate).hasMatch(), qPrintable(estimate));
        QCOMPARE(estimate.toDouble(), 4.0 * double(inside) / seeds);

        QCOMPARE(count(fixture->board(), BluePixel) > 0, inside > 0);
        QCOMPARE(count(fixture->board(), RedPixel) > 0, inside < seeds);
        QVERIFY(fixture->chimed(u"pinpon.wav"_s));
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
        QVERIFY(fixture->show());
        const QImage startup = fixture->board();
        if (runFirst)
            fixture->click(runFirst);
        const SeedStore seeds = fixture->form.seedStore();

        fixture->click(6);
        QCOMPARE(fixture->form.label(2)->text(), QString());
        QCOMPARE(fixture->form.label(4)->text(), QString());
        QCOMPARE(fixture->board(), startup);
        QVERIFY(fixture->form.seedStore().seedX == seeds.seedX && fixture->form.seedStore().seedY == seeds.seedY);
    }

    void ending_data()
    {
        QTest::addColumn<bool>("exitButton");
        QTest::newRow("Exit, then OK") << true;
        QTest::newRow("title-bar close") << false;
    }

    // Exit chimes, asks, and on OK ends the event loop with status 0, which
    // closing the last window must not be what does. The title bar's close
    // ends it with no chime and no question.
    void ending()
    {
        QFETCH(bool, exitButton);
        QVERIFY(fixture->show());
        if (exitButton)
            fixture->click(1); // results that the open box must leave alone
        const QString results = fixture->form.label(4)->text();
        const QImage seeded = fixture->board();
        QApplication::setQuitOnLastWindowClosed(!exitButton);

        int boxes = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            // Once: should a check fail, the box stays open until the watchdog.
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
            QTest::mouseClick(box->buttons().constFirst(), Qt::LeftButton);
        });
        answer.start(5);
        QTimer::singleShot(0, &fixture->form, [&] { exitButton ? fixture->click(5) : void(fixture->form.close()); });
        QTimer::singleShot(15000, &fixture->form, [] { QCoreApplication::exit(99); }); // should nothing end it
        const int status = QCoreApplication::exec();
        QApplication::setQuitOnLastWindowClosed(true);
        QCOMPARE(status, 0);
        QCOMPARE(boxes, int(exitButton));
        QVERIFY(exitButton || fixture->soundWarnings.isEmpty());
    }

    // The child, started with --throwing-child, runs a handler that throws.
    void fatalErrorEndsProgram()
    {
        // A runtime directory of its own, so that Qt has nothing else to say.
        QTemporaryDir runtimeDir;
        QProcess child;
        child.setEnvironment(QProcess::systemEnvironment() << u"XDG_RUNTIME_DIR="_s + runtimeDir.path());
        child.start(QCoreApplication::applicationFilePath(), {u"--throwing-child"_s});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 2);
        QCOMPARE(child.readAllStandardError(), "sesame-pi: fatal error: the seeds spilled\n");
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
