#include "SeedRing.h"

#include "BoardSurface.h"

#include <QImage>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <stdexcept>

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

SeedRing::SeedRing(int width, int height, qsizetype pixelsPerLine, qreal devicePixelRatio, double aspect)
    : mWidth(width)
    , mHeight(height)
    , mPixelsPerLine(pixelsPerLine)
{
    for (int unit = 0; unit <= MaxUnit; ++unit) {
        const QPointF px = BoardSurface::toPixels(QPointF(unit, unit)) * devicePixelRatio;
        splitCoordinate(px.x(), mColumn[static_cast<std::size_t>(unit)], mPhaseX[static_cast<std::size_t>(unit)]);
        splitCoordinate(px.y(), mRow[static_cast<std::size_t>(unit)], mPhaseY[static_cast<std::size_t>(unit)]);
    }

    // The same pen and ellipse as BoardSurface::Circle with a radius of one
    // unit, drawn around a fixed pixel of a scratch image at each phase.
    const double across = BoardSurface::PixelWidth / BoardSurface::ScaleWidth;
    const int side = static_cast<int>(std::ceil(8 * devicePixelRatio)) + 8;
    const int centre = side / 2;
    QImage scratch(side, side, QImage::Format_ARGB32_Premultiplied);
    scratch.setDevicePixelRatio(devicePixelRatio);

    mStamps.resize(PhaseSteps * PhaseSteps);
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

            Stamp &stamp = mStamps[static_cast<std::size_t>(phaseX * PhaseSteps + phaseY)];
            for (int y = 0; y < side; ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(scratch.constScanLine(y));
                for (int x = 0; x < side; ++x) {
                    if (qAlpha(line[x]) == 0)
                        continue;
                    if (stamp.count == MaxPixels)
                        throw std::logic_error("seed ring larger than its stamp");
                    const int dx = x - centre;
                    const int dy = y - centre;
                    stamp.offsets[static_cast<std::size_t>(stamp.count++)] = dy * mPixelsPerLine + dx;
                    stamp.minDx = std::min(stamp.minDx, dx);
                    stamp.maxDx = std::max(stamp.maxDx, dx);
                    stamp.minDy = std::min(stamp.minDy, dy);
                    stamp.maxDy = std::max(stamp.maxDy, dy);
                }
            }
        }
    }
}

} // namespace sesame
