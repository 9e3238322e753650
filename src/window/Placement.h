#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace sesame {

// The client area, in screen coordinates, moved where all of the window with
// its frame lies within the available area, and made smaller first where the
// area is too small for it; made smaller one way, it is made wider (or
// taller) by scrollBar the other, where there is room, for the scroll bar
// the client area then needs. A window that fits already is not moved.
QRect fittedInto(const QRect &client, const QMargins &frame, const QRect &available, int scrollBar);

// Puts the window's client area, which scrolls, at the given place, or as
// near to it as keeps all of the window within the available area of the
// screen it opens on, with the frame the window manager drew, or before it
// has, a frame as window managers usually draw one.
void keepOnScreen(QWidget &window, const QRect &client);

} // namespace sesame
