#include "Placement.h"

#include <QGuiApplication>
#include <QMargins>
#include <QScreen>

#include <algorithm>

namespace sesame {

namespace {

// Room for the frame, which is not known before the window is shown: a
// title bar and thin borders.
constexpr QMargins UsualFrame(4, 32, 4, 4);

// One axis: first pull the far edge in, then the near one, so that the near
// edge wins when both cannot be inside.
int shift(int start, int length, int areaStart, int areaLength)
{
    const int pulledIn = std::min(start, areaStart + areaLength - length);
    return std::max(pulledIn, areaStart) - start;
}

} // namespace

QPoint offsetOntoScreen(const QRect &frame, const QRect &available)
{
    if (available.isEmpty())
        return {};
    return {shift(frame.x(), frame.width(), available.x(), available.width()),
            shift(frame.y(), frame.height(), available.y(), available.height())};
}

QRect keptOnScreen(const QRect &client)
{
    const QScreen *screen = QGuiApplication::screenAt(client.topLeft());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return client;
    return client.translated(offsetOntoScreen(client.marginsAdded(UsualFrame), screen->availableGeometry()));
}

} // namespace sesame
