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
        // Every stamp has the same length (short ones repeat a pixel), so this
        // loop always runs the same number of times and never mispredicts.
        // The length is a multiple of four: four stores a turn.
        const int length = mStampLength;
        const qint32 *const offsets = mOffsets.data() + static_cast<std::ptrdiff_t>(mPhaseX[x] + mPhaseY[y]) * length;
        quint32 *const origin = pixels + mRowStart[y] + mColumn[x];
        for (int i = 0; i < length; i += 4) {
            const qint32 a = offsets[i];
            const qint32 b = offsets[i + 1];
            const qint32 c = offsets[i + 2];
            const qint32 d = offsets[i + 3];
            origin[a] = argb;
            origin[b] = argb;
            origin[c] = argb;
            origin[d] = argb;
        }
    }

    // Whether stamp() may be used at (x, y): every ring of the board's
    // square fits, only those near the image's edges may not.
    bool fits(int x, int y) const { return x >= mFitLowX && x <= mFitHighX && y >= mFitLowY && y <= mFitHighY; }

    // The number of pixels a ring covers at (x, y), for tests.
    int pixelCount(int x, int y) const
    {
        return mStamps[static_cast<std::size_t>(mPhaseX[x]) + static_cast<std::size_t>(mPhaseY[y])].count;
    }

private:
    static constexpr int MaxUnit = 480;

    struct Stamp
    {
        int count = 0;
        int minDx = 0, maxDx = 0, minDy = 0, maxDy = 0;
        std::vector<qint32> offsets;
    };

    bool stampFits(int x, int y) const;

    int mWidth;
    int mHeight;
    qsizetype mPixelsPerLine;
    int mStampLength = 0;
    int mFitLowX = 0, mFitHighX = -1, mFitLowY = 0, mFitHighY = -1;
    // Per board unit: the device column or the start of the device row, and
    // the stamp's phase (pre-multiplied for x, so that the two add up to the
    // stamp's index).
    std::array<int, MaxUnit + 1> mColumn{};
    std::array<qsizetype, MaxUnit + 1> mRowStart{};
    std::array<int, MaxUnit + 1> mPhaseX{};
    std::array<int, MaxUnit + 1> mPhaseY{};
    std::vector<Stamp> mStamps;
    // The stamps' offsets from their centre pixel, mStampLength a stamp, one
    // after the other: the few kilobytes the hot loop reads.
    std::vector<qint32> mOffsets;
};

} // namespace sesame
