#include "PictureBox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace sesame {

namespace {

// The style's focus frame, one pixel inside the area given, while the widget
// has the focus. Styles such as Fusion draw it only after the focus has been
// moved by keyboard; a picture box shows it whenever it has the focus, so
// that the focus can be found from the first key press.
void paintFocusFrame(QWidget *widget, const QRect &area)
{
    if (!widget->hasFocus())
        return;
    QStyleOptionFocusRect option;
    option.initFrom(widget);
    option.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
    option.rect = area.adjusted(1, 1, -1, -1);
    option.backgroundColor = widget->palette().color(QPalette::Base);
    QPainter painter(widget);
    widget->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, widget);
}

} // namespace

PictureBox::PictureBox(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_StaticContents);
    mBoard.setChangeHandler([this] { update(); });
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    matchScreenResolution();
    QPainter painter(this);
    const QRect inner = contentsRect();
    const QRect dirty = event->rect() & inner;
    if (!dirty.isEmpty()) {
        const QImage &image = mBoard.surface().image();
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
    if (!qFuzzyCompare(ratio, mBoard.surface().devicePixelRatio()))
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
