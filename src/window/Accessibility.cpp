#include "Accessibility.h"

#include <QAccessibleWidget>

namespace sesame {

namespace {

QAccessibleInterface *roleFactory(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("sesame::PictureBox") || className == QLatin1String("sesame::ImageBox"))
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    if (className == QLatin1String("sesame::Notice"))
        return new QAccessibleWidget(widget, QAccessible::Notification);
    return nullptr;
}

} // namespace

void installAccessibleRoles()
{
    QAccessible::installFactory(roleFactory);
}

Notice::Notice(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 0, 0);
}

void Notice::announce(const QString &text)
{
    if (text.isEmpty())
        return;
    setAccessibleName(text);
    // What AT-SPI readers act on is the notification's "showing" state
    // turning on; the notice stays shown, so it is reported as newly shown.
    if (isVisible()) {
        QAccessibleEvent shown(this, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
}

} // namespace sesame
