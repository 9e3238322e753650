#include "Board.h"

namespace sesame {

Board::Board(qreal devicePixelRatio)
    : mSurface(devicePixelRatio)
{
    makeRing();
}

void Board::setDevicePixelRatio(qreal ratio)
{
    mSurface.setDevicePixelRatio(ratio);
    makeRing();
}

void Board::makeRing()
{
    const QImage &image = mSurface.image();
    mRing = std::make_unique<SeedRing>(image.width(), image.height(), mSurface.pixelsPerLine(),
                                       mSurface.devicePixelRatio(), Aspect);
}

void Board::ClearBoard()
{
    mSurface.Cls();
    changed();
}

void Board::DrawBoard()
{
    const QPointF topLeft(SquareLow, SquareLow);
    const QPointF topRight(SquareHigh, SquareLow);
    const QPointF bottomLeft(SquareLow, SquareHigh);
    const QPointF bottomRight(SquareHigh, SquareHigh);
    mSurface.Line(topLeft, topRight, QBColor(Black));
    mSurface.Line(topRight, bottomRight, QBColor(Black));
    mSurface.Line(bottomLeft, bottomRight, QBColor(Black));
    mSurface.Line(topLeft, bottomLeft, QBColor(Black));
    mSurface.Circle(QPointF(Centre, Centre), Radius, QBColor(Black), Aspect);
    changed();
}

void Board::DrawSeed(int x, int y, int paletteIndex)
{
    seedPen().DrawSeed(x, y, paletteIndex); // the pen reports the change
}

void Board::drawSeedSlowly(int x, int y, int paletteIndex)
{
    mSurface.Circle(QPointF(x, y), SeedRadius, QBColor(paletteIndex), Aspect);
}

Board::SeedPen::SeedPen(Board &board)
    : mBoard(board)
    , mRing(*board.mRing)
    , mPixels(board.mSurface.pixels())
{
}

} // namespace sesame
