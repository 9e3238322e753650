#pragma once

#include "BoardSurface.h"

#include <QRect>
#include <QtGlobal>

#include <array>
#include <utility>
#include <vector>

namespace sesame {

// The tiny ring that marks a seed, rasterised once and then stamped.
//
// A seed is an outline ellipse of radius one board unit (about 2 x 2 px), and
// a large run draws fifty thousand of them: going through QPainter for each
// costs a hundred times more than the rest of the run. So the ring is drawn
// once per sub-pixel position (in eighths of a device pixel) into small
// stamps with a pen like the board's, and a seed then costs a few pixel
// stores.
class SeedRing
{
public:
    static constexpr int PhaseSteps = 8;

    // For a surface whose lines are pixelsPerLine apart, at the given device
    // pixel ratio.
    SeedRing(qsizetype pixelsPerLine, qreal devicePixelRatio, double aspect);

    // Stamps the ring of a seed at whole board units (x, y) in the colour
    // argb. The ring must lie on the surface: see deviceBounds(); every
    // point of the board's square has room round it.
    Q_ALWAYS_INLINE void stamp(quint32 *pixels, int x, int y, quint32 argb) const
    {
        const Place &column = mColumns[static_cast<std::size_t>(x)];
        const Place &row = mRows[static_cast<std::size_t>(y)];
        const qint32 *const offsets = mOffsets.data() + (column.phase + row.phase);
        quint32 *const origin = pixels + row.start + column.start;
        // Every stamp has the same length (short ones repeat a pixel), so the
        // stores run straight through; the usual lengths are unrolled.
        switch (mStampLength) {
        case 4:
            return stampFixed(origin, offsets, argb, std::make_index_sequence<4>());
        case 5:
            return stampFixed(origin, offsets, argb, std::make_index_sequence<5>());
        case 6:
            return stampFixed(origin, offsets, argb, std::make_index_sequence<6>());
        default:
            for (int i = 0; i < mStampLength; ++i)
                origin[offsets[i]] = argb;
        }
    }

    // The device pixels the ring at board units (x, y) may set, whatever
    // its phase.
    QRect deviceBounds(int x, int y) const
    {
        const auto column = static_cast<int>(mColumns[static_cast<std::size_t>(x)].start);
        const auto row = static_cast<int>(mRows[static_cast<std::size_t>(y)].start / mPixelsPerLine);
        return {QPoint(column + mReach.left(), row + mReach.top()), mReach.size()};
    }

private:
    static constexpr int MaxUnit = BoardSurface::Scale;

    // All offsets are read before the first store: a pixel store could
    // otherwise, for all the compiler knows, change the offsets.
    template<std::size_t... I>
    static void stampFixed(quint32 *origin, const qint32 *offsets, quint32 argb, std::index_sequence<I...>)
    {
        const std::array<qint32, sizeof...(I)> at = {offsets[I]...};
        ((origin[at[I]] = argb), ...);
    }

    // Where a board unit falls in device pixels: the column (or the start
    // of the row), and its stamps' place among the offsets.
    struct Place
    {
        qsizetype start = 0;
        qsizetype phase = 0;
    };

    struct Stamp
    {
        int count = 0;
        int minDx = 0, maxDx = 0, minDy = 0, maxDy = 0;
        std::vector<qint32> offsets;
    };

    qsizetype mPixelsPerLine;
    // What stamp() reads for every seed, kept in a type that a pixel store
    // (32 bits) cannot alias, so that it stays in registers.
    qsizetype mStampLength = 0;
    QRect mReach; // of every stamp, from its centre pixel
    // Per board unit; the phases are pre-multiplied so that a column's and a
    // row's add up to where their stamp's offsets start.
    std::array<Place, MaxUnit + 1> mColumns{};
    std::array<Place, MaxUnit + 1> mRows{};
    std::vector<Stamp> mStamps;
    // The stamps' offsets from their centre pixel, mStampLength a stamp, one
    // after the other: the few kilobytes the hot loop reads.
    std::vector<qint32> mOffsets;
};

} // namespace sesame
