#include "Board.h"

#include <utility>

namespace sesame {

namespace {

void drawFigure(BoardSurface &surface)
{
    const QPointF topLeft(Board::SquareLow, Board::SquareLow);
    const QPointF topRight(Board::SquareHigh, Board::SquareLow);
    const QPointF bottomLeft(Board::SquareLow, Board::SquareHigh);
    const QPointF bottomRight(Board::SquareHigh, Board::SquareHigh);
    surface.Line(topLeft, topRight, QBColor(Black));
    surface.Line(topRight, bottomRight, QBColor(Black));
    surface.Line(bottomLeft, bottomRight, QBColor(Black));
    surface.Line(topLeft, bottomLeft, QBColor(Black));
    surface.Circle(QPointF(Board::Centre, Board::Centre), Board::Radius, QBColor(Black), Board::Aspect);
}

} // namespace

Board::Board(qreal devicePixelRatio)
    : mSurface(devicePixelRatio)
{
    prepare();
}

void Board::prepare()
{
    mRing = std::make_unique<SeedRing>(mSurface.pixelsPerLine(), mSurface.devicePixelRatio(), Aspect);
    mFigure = BoardSurface(mSurface.devicePixelRatio());
    drawFigure(mFigure);
}

const QImage &Board::picture()
{
    applyClear();
    return mSurface.image();
}

void Board::setDevicePixelRatio(qreal ratio)
{
    if (qFuzzyCompare(ratio, devicePixelRatio()))
        return;
    applyClear();
    mSurface.setDevicePixelRatio(ratio);
    prepare();
    mMarks = BoardSurface::rect(); // resampled: it may differ from the figure anywhere
}

// Cleared when drawn on next: a run or Init draws the figure right away.
void Board::ClearBoard()
{
    mClearing = true;
}

void Board::applyClear()
{
    if (!std::exchange(mClearing, false))
        return;
    const QRegion area = mFigureDrawn ? QRegion(BoardSurface::rect()) : mMarks;
    mSurface.Cls(area);
    mFigureDrawn = false;
    mMarks = {};
    changed(area);
}

void Board::DrawBoard()
{
    if (std::exchange(mClearing, false)) {
        // A clean board with its figure is the prepared one: copied where
        // the picture differs from it.
        const QRegion area = mFigureDrawn ? mMarks : QRegion(BoardSurface::rect());
        mSurface.copyFrom(mFigure, area);
        mFigureDrawn = true;
        mMarks = {};
        changed(area);
        return;
    }
    drawFigure(mSurface);
    // Drawn over itself, the figure changes only what was drawn on it since.
    changed(mFigureDrawn ? mMarks : QRegion(BoardSurface::rect()));
    mFigureDrawn = true;
}

void Board::DrawSeed(int x, int y, int paletteIndex)
{
    seedPen().DrawSeed(x, y, paletteIndex); // the pen reports the change
}

Board::SeedPen Board::seedPen()
{
    applyClear();
    return SeedPen(*this);
}

QRegion Board::ringArea(QPoint low, QPoint high) const
{
    const QRect device = mRing->deviceBounds(low.x(), low.y()) | mRing->deviceBounds(high.x(), high.y());
    return mSurface.toLogical(device);
}

Board::SeedPen::SeedPen(Board &board)
    : mBoard(board)
    , mRing(*board.mRing)
    , mPixels(board.mSurface.pixels())
{
}

Board::SeedPen::~SeedPen()
{
    QRegion area;
    if (mCount <= mFirst.size()) {
        for (std::size_t i = 0; i < mCount; ++i)
            area += mBoard.ringArea(mFirst[i], mFirst[i]);
    } else {
        area = mBoard.ringArea(mLow, mHigh);
    }
    mBoard.mMarks += area;
    mBoard.changed(area);
}

} // namespace sesame
