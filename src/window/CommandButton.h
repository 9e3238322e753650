#pragma once

#include <QPushButton>

namespace sesame {

// The window's push buttons. With the focus on one, Return and Enter press
// it, as Space does, the way buttons in the platform's dialogs behave; but
// none is ever a default button, so Return elsewhere in the window presses
// nothing.
//
// A click with the mouse is drawn with the window's next paint, together with
// what the click did: QAbstractButton paints the button at once on press and
// again on release, and each of those waits for the display server before
// the run can start.
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(const QString &text, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

} // namespace sesame
