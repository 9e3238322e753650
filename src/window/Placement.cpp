#include "Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace sesame {

namespace {

// Room for the frame, which is not known before the window is shown: a
// title bar and thin borders.
constexpr QMargins UsualFrame(4, 32, 4, 4);

} // namespace

QRect fittedInto(const QRect &client, const QMargins &frame, const QRect &available, int scrollBar)
{
    if (available.isEmpty())
        return client;
    const QRect room = available.marginsRemoved(frame);
    QSize size = client.size().boundedTo(room.size());
    if (size.height() < client.height())
        size.setWidth(std::min(client.width() + scrollBar, room.width()));
    if (size.width() < client.width())
        size.setHeight(std::min(client.height() + scrollBar, room.height()));
    QRect fitted(client.topLeft(), size);
    fitted.moveRight(std::min(fitted.right(), room.right()));
    fitted.moveBottom(std::min(fitted.bottom(), room.bottom()));
    fitted.moveLeft(std::max(fitted.left(), room.left()));
    fitted.moveTop(std::max(fitted.top(), room.top()));
    return fitted;
}

void keepOnScreen(QWidget &window, const QRect &client)
{
    const QScreen *screen = QGuiApplication::screenAt(client.topLeft());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect frame = window.frameGeometry();
    const QRect inner = window.geometry();
    const QMargins drawn(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                         frame.bottom() - inner.bottom());
    const int scrollBar = window.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &window);
    const QRect placed = screen
        ? fittedInto(client, drawn.isNull() ? UsualFrame : drawn, screen->availableGeometry(), scrollBar)
        : client;
    // Once shown, through the platform's window: the widget may not know yet
    // where -geometry put it, and would take the same place for no move.
    if (QWindow *shown = window.windowHandle())
        shown->setGeometry(placed);
    else
        window.setGeometry(placed);
}

} // namespace sesame
