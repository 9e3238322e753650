#pragma once

#include "runtime/Palette.h"

#include <QImage>
#include <QPointF>
#include <QRegion>

namespace sesame {

// The drawable inner area of the board picture, kept as a backing image.
//
// Drawing is in board units: 480 across and 480 down over an area of
// 523 x 419 pixels, origin at the top-left, y downward. The units are not
// square (a unit is about 1.09 px wide and 0.87 px high). The image is held at
// the screen's device pixel ratio so that drawings stay sharp on HiDPI
// screens; coordinates and pen widths are in logical pixels.
class BoardSurface
{
public:
    static constexpr int PixelWidth = 523;
    static constexpr int PixelHeight = 419;
    static constexpr int Scale = 480; // board units across, and down
    static constexpr Rgb BackColor = 0xffffff;

    explicit BoardSurface(qreal devicePixelRatio = 1.0);

    // Changes the resolution of the backing image, keeping its picture
    // (resampled) so that a move to another screen loses nothing.
    void setDevicePixelRatio(qreal ratio);
    qreal devicePixelRatio() const { return mImage.devicePixelRatio(); }

    const QImage &image() const { return mImage; }

    // The whole area, in logical pixels.
    static constexpr QRect rect() { return {0, 0, PixelWidth, PixelHeight}; }

    // Board units to logical pixels from the top-left of the area.
    static QPointF toPixels(QPointF units)
    {
        return {units.x() * (PixelWidth / double(Scale)), units.y() * (PixelHeight / double(Scale))};
    }

    // The logical pixels that cover the given device pixels.
    QRegion toLogical(const QRect &device) const;

    // Clears the area (logical pixels, all of it by default) to the
    // background colour.
    void Cls(const QRegion &area = rect());

    // Copies the area's pixels from another surface at the same resolution.
    void copyFrom(const BoardSurface &other, const QRegion &area);

    // A straight segment, one pixel wide, in the given colour.
    void Line(QPointF from, QPointF to, Rgb color);

    // An ellipse outline centred on centre: its horizontal semi-axis is radius
    // units along x, its vertical semi-axis aspect times that same length
    // (not aspect times radius units down, since the units are not square).
    void Circle(QPointF centre, double radius, Rgb color, double aspect);

    // Direct access to the pixels, for the seed rings: detaches the image
    // from any copy first. Valid until the next change of the image.
    quint32 *pixels() { return reinterpret_cast<quint32 *>(mImage.bits()); }
    qsizetype pixelsPerLine() const { return mImage.bytesPerLine() / 4; }

private:
    // The device pixels under the logical ones, within the image.
    QRect toDevice(const QRect &logical) const;

    QImage mImage;
};

} // namespace sesame
