#include "board/Board.h"

#include <QPainter>
#include <QTest>

#include <cmath>

using namespace sesame;

namespace {

constexpr QRgb Ink = 0xff000000, White = 0xffffffff, Blue = 0xff0000ff, Red = 0xffff0000;

// The bounding box, in device pixels, of the pixels of one colour.
QRect boxOf(const QImage &image, QRgb colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class TestBoard : public QObject
{
    Q_OBJECT

private slots:
    void ratios_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("1.25x") << 1.25;
        QTest::newRow("2x") << 2.0;
    }

    // The square's corners at (43.6, 34.9) and (479.4, 384.1) px; the
    // circle an outline about (261.5, 209.5) with semi-axes 217.9 x 174.3.
    void figure_data() { ratios_data(); }
    void figure()
    {
        QFETCH(qreal, ratio);
        Board board(ratio);
        board.DrawBoard();
        const QImage &image = board.surface().image();
        QCOMPARE(image.size(), QSize(qRound(523 * ratio), qRound(419 * ratio)));
        const QRectF square = QRectF(boxOf(image, Ink)).adjusted(0, 0, -1, -1);
        const QRectF expected(QPointF(43.6, 34.9) * ratio, QPointF(479.4, 384.1) * ratio);
        for (const auto &[got, want] :
             {std::pair{square.topLeft(), expected.topLeft()}, std::pair{square.bottomRight(), expected.bottomRight()}})
            QVERIFY2(std::abs(got.x() - want.x()) <= ratio && std::abs(got.y() - want.y()) <= ratio,
                     qPrintable(QStringLiteral("%1,%2").arg(got.x()).arg(got.y())));
        const auto at = [&](double x, double y) { return image.pixel(qRound(x * ratio), qRound(y * ratio)); };
        const double c = std::cos(M_PI / 4);
        bool onOutline = false;
        for (int d = -1; d <= 1; ++d)
            onOutline |= at(261.5 + 217.9 * c + d / ratio, 209.5 + 174.3 * c) == Ink;
        QVERIFY(onOutline);
        QCOMPARE(at(261.5 + 0.95 * 217.9 * c, 209.5 + 0.95 * 174.3 * c), White); // not filled
        QCOMPARE(at(261.5 + 1.05 * 217.9 * c, 209.5 + 1.05 * 174.3 * c), White);
        QCOMPARE(at(261.5, 209.5), White);
    }

    // Each seed is, to the pixel, the ring QPainter draws with the board's
    // pen: an outline of 1.09 x 0.87 px semi-axes at (x x 523 / 480,
    // y x 419 / 480) px, placed to the nearest eighth of a device pixel.
    // Sixty-four seeds in a row cover every eighth across and down.
    void seedRing_data() { ratios_data(); }
    void seedRing()
    {
        QFETCH(qreal, ratio);
        Board board(ratio);
        for (int i = 0; i < 64; ++i) {
            const int x = 40 + i * 5 % 400, y = 40 + i * 7 % 400;
            board.ClearBoard();
            board.DrawSeed(x, y, 9);
            QImage painted(board.surface().image().size(), QImage::Format_RGB32);
            painted.fill(White);
            painted.setDevicePixelRatio(ratio);
            QPainter painter(&painted);
            painter.setPen(QPen(QColor(Blue), 1.0));
            const auto eighths
                = [&](double units, double pixels) { return std::round(units * pixels / 480 * ratio * 8) / 8 / ratio; };
            painter.drawEllipse(QPointF(eighths(x, 523), eighths(y, 419)), 523.0 / 480, 523.0 / 480 * 0.8);
            painter.end();
            QVERIFY2(board.surface().image() == painted, qPrintable(QStringLiteral("seed %1,%2").arg(x).arg(y)));
            QVERIFY(boxOf(painted, Blue).width() >= 2 * ratio && boxOf(painted, Blue).width() <= 3 * ratio + 1);
        }
        board.DrawSeed(240, 240, 12); // a later ring covers an earlier one
        board.DrawSeed(240, 240, 9);
        QCOMPARE(boxOf(board.surface().image(), Red), QRect());
        board.ClearBoard();
        QCOMPARE(boxOf(board.surface().image(), Blue), QRect());
    }
};

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
