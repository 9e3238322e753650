#include "BoardSurface.h"

#include <QPainter>
#include <QPen>

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

void BoardSurface::Cls()
{
    mImage.fill(QColor::fromRgb(BackColor));
}

void BoardSurface::Line(QPointF from, QPointF to, Rgb color)
{
    QPainter painter(&mImage);
    painter.setPen(boardPen(color));
    painter.drawLine(toPixels(from), toPixels(to));
}

void BoardSurface::Circle(QPointF centre, double radius, Rgb color, double aspect)
{
    const double across = radius * (PixelWidth / ScaleWidth);
    QPainter painter(&mImage);
    painter.setPen(boardPen(color));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(toPixels(centre), across, across * aspect);
}

} // namespace sesame
