#include "CommandButton.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace sesame {

CommandButton::CommandButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!enter || modifiers != Qt::NoModifier) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    // One press, one click: a held key does not repeat a run.
    if (!event->isAutoRepeat())
        animateClick();
}

void CommandButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setDown(true); // repainted with the next paint
    emit pressed();
}

void CommandButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !isDown()) {
        event->ignore();
        return;
    }
    setDown(false);
    emit released();
    if (hitButton(event->position().toPoint()))
        emit clicked(false);
}

} // namespace sesame
