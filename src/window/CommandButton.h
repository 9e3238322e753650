#pragma once

#include <QPushButton>

namespace sesame {

// The window's push buttons. With the focus on one, Return and Enter press
// it, as Space does, the way buttons in the platform's dialogs behave; but
// none is ever a default button, so Return elsewhere in the window presses
// nothing.
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(const QString &text, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace sesame
