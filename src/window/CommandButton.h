#pragma once

#include <QPushButton>

namespace sesame {

// The window's push buttons. With the focus on one, Return, Enter and Space
// press it, the way buttons in the platform's dialogs behave, once however
// long the key is held; but none is ever a default button, so Return
// elsewhere in the window presses nothing.
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(const QString &text, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    // The last release of a key that presses the button.
    int mReleasedKey = 0;
    quint64 mReleasedAt = 0;
};

} // namespace sesame
