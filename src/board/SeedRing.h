#pragma once

#include <QtGlobal>

#include <array>
#include <vector>

namespace sesame {

// The tiny ring that marks a seed, rasterised once and then stamped.
//
// A seed is an outline ellipse of radius one board unit (about 2 x 2 px), and
// a large run draws fifty thousand of them: going through QPainter for each
// costs a hundred times more than the rest of the run. So the ring is drawn
// once per sub-pixel position (in eighths of a device pixel) into small
// stamps with the same pen, and a seed then costs a few pixel stores.
class SeedRing
{
public:
    static constexpr int PhaseSteps = 8;

    // For a surface of width x height device pixels whose lines are
    // pixelsPerLine apart, at the given device pixel ratio.
    SeedRing(int width, int height, qsizetype pixelsPerLine, qreal devicePixelRatio, double aspect);

    // Stamps the ring of a seed at whole board units (x, y) in the colour
    // argb. Coordinates outside 0 to 480, or a ring that would cross the
    // edge, are left to the caller: see fits().
    void stamp(quint32 *pixels, int x, int y, quint32 argb) const
    {
        const Stamp &s = mStamps[static_cast<std::size_t>(mPhaseX[x] * PhaseSteps + mPhaseY[y])];
        quint32 *const origin = pixels + mRow[y] * mPixelsPerLine + mColumn[x];
        for (int i = 0; i < s.count; ++i)
            origin[s.offsets[static_cast<std::size_t>(i)]] = argb;
    }

    // Whether stamp() may be used at (x, y): inside the table and the image.
    bool fits(int x, int y) const
    {
        if (x < 0 || x > MaxUnit || y < 0 || y > MaxUnit)
            return false;
        const Stamp &s = mStamps[static_cast<std::size_t>(mPhaseX[x] * PhaseSteps + mPhaseY[y])];
        const int column = mColumn[x];
        const int row = mRow[y];
        return column + s.minDx >= 0 && column + s.maxDx < mWidth && row + s.minDy >= 0 && row + s.maxDy < mHeight;
    }

    // The number of pixels a ring covers at (x, y), for tests.
    int pixelCount(int x, int y) const
    {
        return mStamps[static_cast<std::size_t>(mPhaseX[x] * PhaseSteps + mPhaseY[y])].count;
    }

private:
    static constexpr int MaxUnit = 480;
    static constexpr int MaxPixels = 64;

    struct Stamp
    {
        int count = 0;
        int minDx = 0, maxDx = 0, minDy = 0, maxDy = 0;
        std::array<qsizetype, MaxPixels> offsets{};
    };

    int mWidth;
    int mHeight;
    qsizetype mPixelsPerLine;
    std::array<int, MaxUnit + 1> mColumn{};
    std::array<int, MaxUnit + 1> mRow{};
    std::array<int, MaxUnit + 1> mPhaseX{};
    std::array<int, MaxUnit + 1> mPhaseY{};
    std::vector<Stamp> mStamps;
};

} // namespace sesame
