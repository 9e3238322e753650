#include "SeedRing.h"

#include "BoardSurface.h"

#include <QImage>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace sesame {

namespace {

// Splits a device coordinate into its whole pixel and the nearest eighth.
void splitCoordinate(double device, int &whole, int &phase)
{
    const double steps = std::round(device * SeedRing::PhaseSteps);
    whole = static_cast<int>(std::floor(steps / SeedRing::PhaseSteps));
    phase = static_cast<int>(steps) - whole * SeedRing::PhaseSteps;
}

} // namespace

SeedRing::SeedRing(qsizetype pixelsPerLine, qreal devicePixelRatio, double aspect)
    : mPixelsPerLine(pixelsPerLine)
{
    // Each board unit's device column and row, and their eighths of a pixel.
    std::array<int, MaxUnit + 1> columnPhase{};
    std::array<int, MaxUnit + 1> rowPhase{};
    for (std::size_t unit = 0; unit <= MaxUnit; ++unit) {
        const QPointF px = BoardSurface::toPixels(QPointF(unit, unit)) * devicePixelRatio;
        int column = 0;
        int row = 0;
        splitCoordinate(px.x(), column, columnPhase[unit]);
        splitCoordinate(px.y(), row, rowPhase[unit]);
        mColumns[unit].start = column;
        mRows[unit].start = row * mPixelsPerLine;
    }

    // The ellipse BoardSurface::Circle draws for a radius of one unit, with a
    // pen like the board's (solid, one logical pixel), drawn around a fixed
    // pixel of a scratch image at each phase.
    const double across = BoardSurface::PixelWidth / double(BoardSurface::Scale);
    const int side = static_cast<int>(std::ceil(8 * devicePixelRatio)) + 8;
    const int centre = side / 2;
    QImage scratch(side, side, QImage::Format_ARGB32_Premultiplied);
    scratch.setDevicePixelRatio(devicePixelRatio);

    mStamps.resize(static_cast<std::size_t>(PhaseSteps) * PhaseSteps);
    for (int phaseX = 0; phaseX < PhaseSteps; ++phaseX) {
        for (int phaseY = 0; phaseY < PhaseSteps; ++phaseY) {
            scratch.fill(Qt::transparent);
            QPainter painter(&scratch);
            QPen pen(Qt::black, 1.0);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            const QPointF at((centre + double(phaseX) / PhaseSteps) / devicePixelRatio,
                             (centre + double(phaseY) / PhaseSteps) / devicePixelRatio);
            painter.drawEllipse(at, across, across * aspect);
            painter.end();

            Stamp &stamp = mStamps[static_cast<std::size_t>(phaseX) * PhaseSteps + static_cast<std::size_t>(phaseY)];
            for (int y = 0; y < side; ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(scratch.constScanLine(y));
                for (int x = 0; x < side; ++x) {
                    if (qAlpha(line[x]) == 0)
                        continue;
                    const int dx = x - centre;
                    const int dy = y - centre;
                    stamp.offsets.push_back(static_cast<qint32>(dy * mPixelsPerLine + dx));
                    ++stamp.count;
                    stamp.minDx = std::min(stamp.minDx, dx);
                    stamp.maxDx = std::max(stamp.maxDx, dx);
                    stamp.minDy = std::min(stamp.minDy, dy);
                    stamp.maxDy = std::max(stamp.maxDy, dy);
                }
            }
            mStampLength = std::max<qsizetype>(mStampLength, stamp.count);
        }
    }

    // Pad the short stamps by repeating a pixel of their own.
    for (Stamp &stamp : mStamps)
        stamp.offsets.resize(static_cast<std::size_t>(mStampLength), stamp.count > 0 ? stamp.offsets[0] : 0);

    mOffsets.reserve(mStamps.size() * static_cast<std::size_t>(mStampLength));
    for (const Stamp &stamp : mStamps)
        for (int i = 0; i < mStampLength; ++i)
            mOffsets.push_back(stamp.offsets[static_cast<std::size_t>(i)]);

    for (std::size_t unit = 0; unit <= MaxUnit; ++unit) {
        mColumns[unit].phase = static_cast<qsizetype>(columnPhase[unit]) * PhaseSteps * mStampLength;
        mRows[unit].phase = static_cast<qsizetype>(rowPhase[unit]) * mStampLength;
    }

    for (const Stamp &stamp : mStamps)
        mReach |= QRect(QPoint(stamp.minDx, stamp.minDy), QPoint(stamp.maxDx, stamp.maxDy));
}

} // namespace sesame
