#pragma once

#include "BoardSurface.h"
#include "SeedRing.h"
#include "runtime/Palette.h"

#include <QRegion>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

namespace sesame {

// The board figure and its seeds, on a BoardSurface it owns: a square with its
// inscribed circle in black, and a tiny ring per seed in light blue or red.
//
// The board tells its owner, after each drawing, the area whose pixels it
// changed, so that only that goes to the screen. A clean board with its
// figure drawn again, as every run and Init ask for, is the figure as
// prepared once: only where seeds were is restored, and the figure's own
// pixels, which would be cleared and drawn again the same, are not touched.
class Board
{
public:
    // The figure, in board units.
    static constexpr int SquareLow = 40;
    static constexpr int SquareHigh = 440;
    static constexpr int Centre = 240;
    static constexpr int Radius = 200;
    // Every circle is drawn with this aspect; on the board's non-square units
    // it makes the circle all but round in board units.
    static constexpr float Aspect = 0.8f;

    explicit Board(qreal devicePixelRatio = 1.0);

    // The picture as drawn so far, at the device pixel ratio.
    const QImage &picture();
    qreal devicePixelRatio() const { return mSurface.devicePixelRatio(); }
    void setDevicePixelRatio(qreal ratio);

    // Called with the area that a drawing changed, in logical pixels of the
    // surface: its owner repaints that.
    void setChangeHandler(std::function<void(const QRegion &)> handler) { mChanged = std::move(handler); }

    void ClearBoard();
    void DrawBoard();
    // A seed's ring at board units (x, y), each from SquareLow to SquareHigh,
    // in palette colour paletteIndex.
    void DrawSeed(int x, int y, int paletteIndex);

    // A pen for many seeds in a row, holding on to the pixels between them.
    // Draws exactly as DrawSeed; nothing else may draw on the board while one
    // is in use. The board reports its change once, when the pen is done.
    class SeedPen
    {
    public:
        SeedPen(const SeedPen &) = delete;
        SeedPen &operator=(const SeedPen &) = delete;
        ~SeedPen();

        void DrawSeed(int x, int y, int paletteIndex)
        {
            mRing.stamp(mPixels, x, y, 0xff000000u | QBColor(paletteIndex));
            // Where the seeds went: each of the first few, for an area of a
            // few small squares, and the box round all of them.
            if (mCount < mFirst.size())
                mFirst[mCount] = QPoint(x, y);
            ++mCount;
            mLow = QPoint(std::min(mLow.x(), x), std::min(mLow.y(), y));
            mHigh = QPoint(std::max(mHigh.x(), x), std::max(mHigh.y(), y));
        }

    private:
        friend class Board;
        explicit SeedPen(Board &board);

        Board &mBoard;
        const SeedRing &mRing;
        quint32 *mPixels;
        std::array<QPoint, 64> mFirst;
        std::size_t mCount = 0;
        QPoint mLow{SquareHigh, SquareHigh};
        QPoint mHigh{SquareLow, SquareLow};
    };

    SeedPen seedPen();

private:
    void prepare();
    void applyClear();
    QRegion ringArea(QPoint low, QPoint high) const;
    void changed(const QRegion &area) const
    {
        if (mChanged && !area.isEmpty())
            mChanged(area);
    }

    BoardSurface mSurface;
    BoardSurface mFigure; // a clean board with its figure, as DrawBoard draws it
    std::unique_ptr<SeedRing> mRing;
    bool mFigureDrawn = false; // the picture is mFigure outside mMarks, else white there
    QRegion mMarks; // what was drawn since: where the picture may differ from that
    bool mClearing = false; // cleared, but not yet drawn on
    std::function<void(const QRegion &)> mChanged;
};

} // namespace sesame
