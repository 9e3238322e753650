#include "app/Form1Events.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QTest>

using namespace sesame;

// Run with QT_SCALE_FACTOR=2: the window keeps its logical layout and the
// board is drawn at the screen's resolution, not scaled up from 1x.
class TestForm1HiDpi : public QObject
{
    Q_OBJECT

private slots:
    void boardAtDeviceResolution()
    {
        QCOMPARE(qgetenv("QT_SCALE_FACTOR"), QByteArray("2"));
        Form1 form;
        Form1Events events(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.devicePixelRatio(), 2.0);
        QCOMPARE(form.geometry(), QRect(358, 68, 570, 636));
        QCOMPARE(form.picture1()->geometry(), QRect(24, 64, 527, 423));
        const QImage &image = form.picture1()->board().surface().image();
        QCOMPARE(image.size(), QSize(1046, 838));
        QCOMPARE(image.devicePixelRatio(), 2.0);

        // The square's top edge, down a column left of the circle: a line one
        // logical pixel wide is two device pixels of solid black, not a blur.
        const int column = 130;
        const auto black = [&image](int y) { return image.pixel(column, y) == 0xff000000u; };
        QTRY_VERIFY(black(69) || black(70));
        int top = 0;
        for (; !black(top); ++top)
            QCOMPARE(image.pixel(column, top), 0xffffffffu);
        int run = 0;
        while (black(top + run))
            ++run;
        QCOMPARE(run, 2);
    }
};

QTEST_MAIN(TestForm1HiDpi)
#include "tst_form1_hidpi.moc"
