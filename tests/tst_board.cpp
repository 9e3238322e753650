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
        QCOMPARE(image.size(), QSize(523, 419) * ratio);
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

    // A seed is a ring two to three pixels across in its colour, where
    // QPainter draws an ellipse of 1.09 x 0.87 px semi-axes at its place.
    void seedRing_data() { ratios_data(); }
    void seedRing()
    {
        QFETCH(qreal, ratio);
        Board board(ratio);
        for (const QPoint seed : {QPoint(40, 240), QPoint(123, 321), QPoint(439, 439), QPoint(241, 77)}) {
            board.ClearBoard();
            board.DrawSeed(seed.x(), seed.y(), 9);
            const QRect ring = boxOf(board.surface().image(), Blue);
            QImage painted(board.surface().image().size(), QImage::Format_RGB32);
            painted.fill(White);
            QPainter painter(&painted);
            painter.setPen(QPen(QColor(Red), ratio));
            painter.drawEllipse(QPointF(seed.x() * 523.0 / 480, seed.y() * 419.0 / 480) * ratio, 1.0896 * ratio,
                                0.8717 * ratio);
            painter.end();
            const QRect reference = boxOf(painted, Red);
            QVERIFY2(std::abs(ring.left() - reference.left()) <= 1 && std::abs(ring.right() - reference.right()) <= 1
                         && std::abs(ring.top() - reference.top()) <= 1
                         && std::abs(ring.bottom() - reference.bottom()) <= 1,
                     qPrintable(QStringLiteral("seed %1,%2").arg(seed.x()).arg(seed.y())));
            QVERIFY(ring.width() >= 2 * ratio && ring.width() <= 3 * ratio + 1);
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
