#pragma once

#include <QPoint>
#include <QRect>

namespace sesame {

// How far to move a window, frame included, so that all of it lies within
// the available area of its screen. A window larger than the area keeps its
// top-left corner, and with it the title bar, inside; one that fits already
// is not moved.
QPoint offsetOntoScreen(const QRect &frame, const QRect &available);

// The window's client area, given in screen coordinates, moved where all of
// the window, with a frame as window managers usually draw one, is on the
// screen it opens on.
QRect keptOnScreen(const QRect &client);

} // namespace sesame
