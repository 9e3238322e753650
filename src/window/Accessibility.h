#pragma once

#include <QWidget>

namespace sesame {

// Roles for the window's own kinds of control, which Qt would otherwise
// describe by their base classes: the board and the emblem are pictures, not
// frames or text, and the notice is a notification. Installed before the
// window's controls are made.
void installAccessibleRoles();

// A notice for assistive tools: results that change where the keyboard focus
// is not. Screen readers speak a notification when it appears, but say
// nothing about a label that changes away from the focus; announce() gives
// the notice a new text and makes it appear again. It takes no room, is never
// painted and never takes the focus.
class Notice : public QWidget
{
    Q_OBJECT

public:
    explicit Notice(QWidget *parent = nullptr);

    // Says the text, even when it is what was said last: the same result
    // twice is still news. Empty text says nothing.
    void announce(const QString &text);
};

} // namespace sesame
