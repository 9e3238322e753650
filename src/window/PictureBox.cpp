#include "PictureBox.h"

#include "FormLayout.h"

#include <QPaintEvent>
#include <QPainter>

namespace sesame {

namespace {

// A ring two pixels wide just inside the area given, in the highlight
// colour, while the widget has the focus. Not the style's focus rectangle:
// Fusion's tints all of the area it frames, the picture with it, and shows
// only after the focus has moved by keyboard, where this one shows whenever
// the focus is here, from the first key press on.
void paintFocusFrame(QWidget *widget, const QRect &area)
{
    if (!widget->hasFocus())
        return;
    QPainter painter(widget);
    painter.setClipRegion(QRegion(area).subtracted(QRegion(area.adjusted(2, 2, -2, -2))));
    painter.fillRect(area, widget->palette().color(QPalette::Active, QPalette::Highlight));
}

} // namespace

// The layout gives the box room for the board and its border, to the pixel.
static_assert(FormLayout::toPixels(FormLayout::Controls[0].twips).size()
              == QSize(BoardSurface::PixelWidth + 2 * PictureBox::Border,
                       BoardSurface::PixelHeight + 2 * PictureBox::Border));

PictureBox::PictureBox(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_StaticContents);
    // The board says what its drawing changed: only that is repainted.
    mBoard.setChangeHandler([this](const QRegion &area) { update(area.translated(contentsRect().topLeft())); });
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    matchScreenResolution();
    QPainter painter(this);
    const QRect inner = contentsRect();
    const QRect dirty = event->rect() & inner;
    if (!dirty.isEmpty()) {
        const QImage &image = mBoard.picture();
        const qreal ratio = image.devicePixelRatio();
        const QRect source(QPointF((dirty.topLeft() - inner.topLeft()) * ratio).toPoint(), dirty.size() * ratio);
        painter.drawImage(dirty, image, source);
    }
    painter.end();
    QFrame::paintEvent(event); // the border
    paintFocusFrame(this, inner);
}

void PictureBox::showEvent(QShowEvent *event)
{
    matchScreenResolution();
    QFrame::showEvent(event);
}

void PictureBox::matchScreenResolution()
{
    const qreal ratio = devicePixelRatioF();
    mBoard.setDevicePixelRatio(ratio);
}

ImageBox::ImageBox(QWidget *parent)
    : QLabel(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void ImageBox::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    paintFocusFrame(this, contentsRect());
}

} // namespace sesame
