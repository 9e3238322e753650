#include "app/Form1Events.h"
#include "window/Form1.h"
#include "window/PictureBox.h"
#include "window/Placement.h"

#include <QtTest>
#include <QtWidgets>

using namespace sesame;
using namespace Qt::StringLiterals;

class TestCitizen : public QObject
{
    Q_OBJECT

private slots:
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

    // The board shows its focus on screen only; Return presses the focused button; screen readers hear the run.
    void keyboardAndScreenReaders()
    {
        Form1 form;
        Form1Events events(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QImage board = form.picture1()->board().surface().image();
        const QRgb ring = form.palette().color(QPalette::Active, QPalette::Highlight).rgb();
        QCOMPARE(form.picture1()->grab().toImage().pixel(3, 3), ring);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form.command(3));
        QVERIFY(form.picture1()->grab().toImage().pixel(3, 3) != ring);
        QCOMPARE(form.picture1()->board().surface().image(), board);
        QTest::keyClick(form.command(3), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!form.label(4)->text().isEmpty(), 5000);
        QAccessibleInterface *notice = QAccessible::queryAccessibleInterface(form.findChild<QWidget *>("Results"));
        QCOMPARE(notice->role(), QAccessible::Notification);
        QTRY_COMPARE_WITH_TIMEOUT(notice->text(QAccessible::Name),
                                  u"Number of sesame seeds in a circle\uff1d "_s + form.label(4)->text()
                                      + u", pi\uff1d "_s + form.label(2)->text(),
                                  5000);
    }
};

QTEST_MAIN(TestCitizen)
#include "tst_citizen.moc"
