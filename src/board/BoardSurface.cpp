#include "BoardSurface.h"

#include <QPainter>
#include <QPen>
#include <QtMath>

#include <algorithm>

namespace sesame {

namespace {

QImage blankImage(qreal ratio)
{
    QImage image(qRound(BoardSurface::PixelWidth * ratio), qRound(BoardSurface::PixelHeight * ratio),
                 QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor::fromRgb(BoardSurface::BackColor));
    return image;
}

QPen boardPen(Rgb color)
{
    // One logical pixel, solid, copying its colour: on a HiDPI screen the
    // picture is the same picture, drawn at the screen's resolution.
    QPen pen(QColor::fromRgb(color), 1.0);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

} // namespace

BoardSurface::BoardSurface(qreal devicePixelRatio)
    : mImage(blankImage(devicePixelRatio))
{
}

void BoardSurface::setDevicePixelRatio(qreal ratio)
{
    if (qFuzzyCompare(ratio, mImage.devicePixelRatio()))
        return;
    QImage resampled = blankImage(ratio);
    QPainter painter(&resampled);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, PixelWidth, PixelHeight), mImage);
    painter.end();
    mImage = std::move(resampled);
}

QRect BoardSurface::toDevice(const QRect &logical) const
{
    const qreal ratio = devicePixelRatio();
    const QPoint topLeft(qFloor(logical.left() * ratio), qFloor(logical.top() * ratio));
    const QPoint end(qCeil((logical.right() + 1) * ratio), qCeil((logical.bottom() + 1) * ratio));
    return QRect(topLeft, end - QPoint(1, 1)) & mImage.rect();
}

QRegion BoardSurface::toLogical(const QRect &device) const
{
    const qreal ratio = devicePixelRatio();
    const QPoint topLeft(qFloor(device.left() / ratio), qFloor(device.top() / ratio));
    const QPoint end(qCeil((device.right() + 1) / ratio), qCeil((device.bottom() + 1) / ratio));
    return QRect(topLeft, end - QPoint(1, 1)) & rect();
}

void BoardSurface::Cls(const QRegion &area)
{
    for (const QRect &logical : area) {
        const QRect device = toDevice(logical);
        for (int y = device.top(); y <= device.bottom(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(mImage.scanLine(y));
            std::fill(line + device.left(), line + device.right() + 1, 0xff000000u | BackColor);
        }
    }
}

void BoardSurface::copyFrom(const BoardSurface &other, const QRegion &area)
{
    for (const QRect &logical : area) {
        const QRect device = toDevice(logical);
        for (int y = device.top(); y <= device.bottom(); ++y) {
            const auto *from = reinterpret_cast<const quint32 *>(other.mImage.constScanLine(y));
            std::copy(from + device.left(), from + device.right() + 1,
                      reinterpret_cast<quint32 *>(mImage.scanLine(y)) + device.left());
        }
    }
}

void BoardSurface::Line(QPointF from, QPointF to, Rgb color)
{
    QPainter painter(&mImage);
    painter.setPen(boardPen(color));
    painter.drawLine(toPixels(from), toPixels(to));
}

void BoardSurface::Circle(QPointF centre, double radius, Rgb color, double aspect)
{
    const double across = radius * (PixelWidth / double(Scale));
    QPainter painter(&mImage);
    painter.setPen(boardPen(color));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(toPixels(centre), across, across * aspect);
}

} // namespace sesame
