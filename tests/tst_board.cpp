#include "board/Board.h"

#include <QTest>

#include <cmath>

using namespace sesame;

namespace {

constexpr QRgb Ink = 0xff000000;
constexpr QRgb White = 0xffffffff;
constexpr QRgb Blue = 0xff0000ff;
constexpr QRgb Red = 0xffff0000;

QRgb pixelAt(const QImage &image, int x, int y)
{
    return image.pixel(x, y);
}

// Device pixels of the given colour, as their bounding box and count.
struct Found
{
    QRect box;
    int count = 0;
};

Found find(const QImage &image, QRgb colour, QRect area = {})
{
    Found found;
    if (area.isNull())
        area = image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == colour) {
                found.box |= QRect(x, y, 1, 1);
                ++found.count;
            }
    return found;
}

// The rows (or columns) where a line of the image turns black.
QList<int> blackAlong(const QImage &image, bool vertical, int at)
{
    QList<int> hits;
    const int length = vertical ? image.height() : image.width();
    for (int i = 0; i < length; ++i)
        if ((vertical ? image.pixel(at, i) : image.pixel(i, at)) == Ink)
            hits << i;
    return hits;
}

} // namespace

class TestBoard : public QObject
{
    Q_OBJECT

private slots:
    void surfaceSize_data();
    void surfaceSize();
    void squareAndCircle_data();
    void squareAndCircle();
    void seedRing_data();
    void seedRing();
    void seedRingMatchesPainterRing();
    void laterDrawingCovers();
    void seedsOutsideTheTableAreClipped();
    void clsLeavesPureWhite();
};

void TestBoard::surfaceSize_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("1x") << 1.0;
    QTest::newRow("2x") << 2.0;
    QTest::newRow("3x") << 3.0;
}

void TestBoard::surfaceSize()
{
    QFETCH(qreal, ratio);
    const Board board(ratio);
    const QImage &image = board.surface().image();
    QCOMPARE(image.size(), QSize(qRound(523 * ratio), qRound(419 * ratio)));
    QCOMPARE(image.devicePixelRatio(), ratio);
    QCOMPARE(find(image, White).count, image.width() * image.height());

    QCOMPARE(BoardSurface::toPixels({0, 0}), QPointF(0, 0));
    QCOMPARE(BoardSurface::toPixels({480, 480}), QPointF(523, 419));
    QCOMPARE(BoardSurface::toPixels({240, 240}), QPointF(261.5, 209.5));
}

void TestBoard::squareAndCircle_data()
{
    surfaceSize_data();
}

void TestBoard::squareAndCircle()
{
    QFETCH(qreal, ratio);
    Board board(ratio);
    board.DrawBoard();
    const QImage &image = board.surface().image();
    const auto near
        = [ratio](int devicePixel, double logical) { return std::abs(devicePixel / ratio - logical) <= 1.0; };

    // Down the middle: the top side, the circle's top, the circle's bottom and
    // the bottom side, where the circle all but touches the square.
    const QList<int> down = blackAlong(image, true, qRound(261 * ratio));
    QVERIFY(!down.isEmpty());
    QVERIFY2(near(down.first(), 34.9), qPrintable(QString::number(down.first())));
    QVERIFY2(near(down.last(), 384.1), qPrintable(QString::number(down.last())));
    // Across the middle: the left and right sides at 43.6 and 479.4 px.
    const QList<int> across = blackAlong(image, false, qRound(209 * ratio));
    QVERIFY(!across.isEmpty());
    QVERIFY2(near(across.first(), 43.6), qPrintable(QString::number(across.first())));
    QVERIFY2(near(across.last(), 479.4), qPrintable(QString::number(across.last())));
    // Nothing in between: the figures are outlines, never filled.
    QCOMPARE(pixelAt(image, qRound(261.5 * ratio), qRound(209.5 * ratio)), White);

    // The circle is an ellipse of semi-axes 217.9 x 174.3 px about
    // (261.5, 209.5): black at 45 degrees, white well inside and outside it.
    const double c = std::cos(M_PI / 4);
    const double ex = 261.5 + 217.9 * c;
    const double ey = 209.5 + 174.3 * c;
    bool onOutline = false;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            onOutline |= pixelAt(image, qRound(ex * ratio) + dx, qRound(ey * ratio) + dy) == Ink;
    QVERIFY(onOutline);
    QCOMPARE(pixelAt(image, qRound((261.5 + 0.95 * 217.9 * c) * ratio), qRound((209.5 + 0.95 * 174.3 * c) * ratio)),
             White);
    QCOMPARE(pixelAt(image, qRound((261.5 + 1.05 * 217.9 * c) * ratio), qRound((209.5 + 1.05 * 174.3 * c) * ratio)),
             White);
    // Lines are one logical pixel wide.
    QVERIFY(down.size() <= 4 * ratio);
}

void TestBoard::seedRing_data()
{
    surfaceSize_data();
}

void TestBoard::seedRing()
{
    QFETCH(qreal, ratio);
    Board board(ratio);
    QCOMPARE(find(board.surface().image(), White).count,
             board.surface().image().width() * board.surface().image().height());
    // Every sub-pixel phase the table can take, a ring two to three logical
    // pixels across in the seed's colour, centred on its board position.
    for (int x = 100; x < 116; ++x) {
        for (int y = 100; y < 116; ++y) {
            board.ClearBoard();
            board.DrawSeed(x, y, LightBlue);
            const QRect around(qRound(100 * ratio), qRound(80 * ratio), qRound(35 * ratio), qRound(30 * ratio));
            const Found blue = find(board.surface().image(), Blue, around);
            QVERIFY(blue.count > 0);
            QCOMPARE(blue.count + find(board.surface().image(), White, around).count, around.width() * around.height());
            QVERIFY2(blue.box.width() >= 2 * ratio && blue.box.width() <= 3 * ratio + 1,
                     qPrintable(QStringLiteral("%1 wide at %2,%3").arg(blue.box.width()).arg(x).arg(y)));
            QVERIFY2(blue.box.height() >= 2 * ratio && blue.box.height() <= 3 * ratio + 1,
                     qPrintable(QStringLiteral("%1 high at %2,%3").arg(blue.box.height()).arg(x).arg(y)));
            const QPointF centre = BoardSurface::toPixels(QPointF(x, y)) * ratio;
            QVERIFY(std::abs(QRectF(blue.box).adjusted(0, 0, -1, -1).center().x() - centre.x()) <= ratio);
            QVERIFY(std::abs(QRectF(blue.box).adjusted(0, 0, -1, -1).center().y() - centre.y()) <= ratio);
        }
    }
}

void TestBoard::seedRingMatchesPainterRing()
{
    // The stamped ring is the ring QPainter draws, give or take the eighth of
    // a pixel the stamps are quantised to.
    Board stamped;
    for (const QPoint at : {QPoint(41, 41), QPoint(240, 240), QPoint(439, 77), QPoint(123, 321)}) {
        stamped.ClearBoard();
        stamped.DrawSeed(at.x(), at.y(), LightRed);
        BoardSurface painted;
        painted.Circle(at, Board::SeedRadius, QBColor(LightRed), Board::Aspect);
        const Found a = find(stamped.surface().image(), Red);
        const Found b = find(painted.image(), Red);
        QVERIFY2(std::abs(a.box.left() - b.box.left()) <= 1 && std::abs(a.box.top() - b.box.top()) <= 1
                     && std::abs(a.box.right() - b.box.right()) <= 1 && std::abs(a.box.bottom() - b.box.bottom()) <= 1,
                 qPrintable(QStringLiteral("at %1,%2").arg(at.x()).arg(at.y())));
    }
}

void TestBoard::laterDrawingCovers()
{
    Board board;
    board.DrawBoard();
    // (40, 240) lies on the left side and on the outline: its ring covers their
    // black pixels, and a second ring in another colour covers the first.
    board.DrawSeed(40, 240, LightRed);
    const Found red = find(board.surface().image(), Red);
    QVERIFY(red.count > 0);
    board.DrawSeed(40, 240, LightBlue);
    QCOMPARE(find(board.surface().image(), Red).count, 0);
    const Found blue = find(board.surface().image(), Blue);
    QCOMPARE(blue.box, red.box);
    QCOMPARE(blue.count, red.count);
    // The board drawn again goes over the seed where they cross.
    board.DrawBoard();
    QVERIFY(find(board.surface().image(), Blue).count < blue.count);
}

void TestBoard::seedsOutsideTheTableAreClipped()
{
    Board board;
    for (const QPoint at : {QPoint(0, 0), QPoint(480, 480), QPoint(-5, 10), QPoint(600, 240), QPoint(0, 480)})
        board.DrawSeed(at.x(), at.y(), LightBlue);
    const Found blue = find(board.surface().image(), Blue);
    // Only the corners' partial rings show, all inside the image.
    QVERIFY(blue.count > 0);
    QVERIFY(QRect(QPoint(0, 0), board.surface().image().size()).contains(blue.box));
}

void TestBoard::clsLeavesPureWhite()
{
    Board board;
    board.DrawBoard();
    for (int i = 40; i < 440; i += 7)
        board.DrawSeed(i, 480 - i, i % 2 ? LightBlue : LightRed);
    const QImage before = board.surface().image();
    board.ClearBoard();
    const QImage &image = board.surface().image();
    QCOMPARE(find(image, White).count, image.width() * image.height());
    // The copy taken before is a picture of its own, untouched by the clear.
    QVERIFY(find(before, Blue).count > 0);
}

QTEST_APPLESS_MAIN(TestBoard)
#include "tst_board.moc"
