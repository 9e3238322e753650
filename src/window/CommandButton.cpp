#include "CommandButton.h"

#include <QKeyEvent>

namespace sesame {

namespace {

bool pressesButton(const QKeyEvent *event)
{
    const int key = event->key();
    return (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

CommandButton::CommandButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
    setAutoDefault(false);
    setDefault(false);
}

// One press, one click, when the key goes down. A held key repeats, and an X
// server repeats it as a release and a press at the same moment that Qt
// does not always mark as repeated: such a press, with the time stamp of
// the release before it, presses nothing.
void CommandButton::keyPressEvent(QKeyEvent *event)
{
    if (!pressesButton(event)) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    const bool repeated = event->isAutoRepeat() || (event->key() == mReleasedKey && event->timestamp() == mReleasedAt);
    if (!repeated)
        animateClick();
}

void CommandButton::keyReleaseEvent(QKeyEvent *event)
{
    if (!pressesButton(event)) {
        QPushButton::keyReleaseEvent(event);
        return;
    }
    event->accept();
    mReleasedKey = event->key();
    mReleasedAt = event->timestamp();
}

} // namespace sesame
