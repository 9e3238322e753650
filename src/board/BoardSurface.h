#pragma once

#include "runtime/Palette.h"

#include <QImage>
#include <QPointF>

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
    static constexpr double ScaleWidth = 480.0;
    static constexpr double ScaleHeight = 480.0;
    static constexpr Rgb BackColor = 0xffffff;

    explicit BoardSurface(qreal devicePixelRatio = 1.0);

    // Changes the resolution of the backing image, keeping its picture
    // (resampled) so that a move to another screen loses nothing.
    void setDevicePixelRatio(qreal ratio);
    qreal devicePixelRatio() const { return mImage.devicePixelRatio(); }

    const QImage &image() const { return mImage; }

    // Board units to logical pixels from the top-left of the area.
    static QPointF toPixels(QPointF units)
    {
        return {units.x() * (PixelWidth / ScaleWidth), units.y() * (PixelHeight / ScaleHeight)};
    }

    // Clears the whole area to the background colour.
    void Cls();

    // A straight segment, one pixel wide, in the given colour.
    void Line(QPointF from, QPointF to, Rgb color);

    // An ellipse outline centred on centre: its horizontal semi-axis is radius
    // units along x, its vertical semi-axis aspect times that same length
    // (not aspect times radius units down, since the units are not square).
    void Circle(QPointF centre, double radius, Rgb color, double aspect);

    // Direct access to the pixels, for the seed rings: detaches the image
    // from any copy first. Valid until the next call of a method above.
    quint32 *pixels() { return reinterpret_cast<quint32 *>(mImage.bits()); }
    qsizetype pixelsPerLine() const { return mImage.bytesPerLine() / 4; }

private:
    QImage mImage;
};

} // namespace sesame
