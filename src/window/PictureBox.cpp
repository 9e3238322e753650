#include "PictureBox.h"

#include <QPaintEvent>
#include <QPainter>

namespace sesame {

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

} // namespace sesame
