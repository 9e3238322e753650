#pragma once

#include "BoardSurface.h"
#include "SeedRing.h"
#include "runtime/Palette.h"

#include <functional>
#include <memory>

namespace sesame {

// The board figure and its seeds, on a BoardSurface it owns: a square with its
// inscribed circle in black, and a tiny ring per seed in light blue or red.
class Board
{
public:
    // The figure, in board units.
    static constexpr int SquareLow = 40;
    static constexpr int SquareHigh = 440;
    static constexpr int Centre = 240;
    static constexpr int Radius = 200;
    static constexpr int SeedRadius = 1;
    // Every circle is drawn with this aspect; on the board's non-square units
    // it makes the circle all but round in board units.
    static constexpr float Aspect = 0.8f;

    explicit Board(qreal devicePixelRatio = 1.0);

    const BoardSurface &surface() const { return mSurface; }
    void setDevicePixelRatio(qreal ratio);

    // Called after every change of the picture: its owner repaints itself.
    void setChangeHandler(std::function<void()> handler) { mChanged = std::move(handler); }

    void ClearBoard();
    void DrawBoard();
    void DrawSeed(int x, int y, int paletteIndex);

    // A pen for many seeds in a row, holding on to the pixels between them.
    // Draws exactly as DrawSeed; nothing else may draw on the board while one
    // is in use. The board reports its change once, when the pen is done.
    class SeedPen
    {
    public:
        SeedPen(const SeedPen &) = delete;
        SeedPen &operator=(const SeedPen &) = delete;
        ~SeedPen() { mBoard.changed(); }

        void DrawSeed(int x, int y, int paletteIndex)
        {
            const quint32 argb = 0xff000000u | QBColor(paletteIndex);
            if (mRing.fits(x, y))
                mRing.stamp(mPixels, x, y, argb);
            else
                mBoard.drawSeedSlowly(x, y, paletteIndex);
        }

    private:
        friend class Board;
        explicit SeedPen(Board &board);

        Board &mBoard;
        const SeedRing &mRing;
        quint32 *mPixels;
    };

    SeedPen seedPen() { return SeedPen(*this); }

private:
    void drawSeedSlowly(int x, int y, int paletteIndex);
    void makeRing();
    void changed() const
    {
        if (mChanged)
            mChanged();
    }

    BoardSurface mSurface;
    std::unique_ptr<SeedRing> mRing;
    std::function<void()> mChanged;
};

} // namespace sesame
