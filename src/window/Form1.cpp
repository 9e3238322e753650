#include "Form1.h"

#include "Accessibility.h"
#include "CommandButton.h"
#include "FormLayout.h"
#include "PictureBox.h"
#include "Placement.h"
#include "sound/PlayerControl.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <QWindow>
#include <utility>

namespace sesame {

namespace {

QString toString(QStringView view)
{
    return view.toString();
}

const QEvent::Type SettleBackingStore = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(toString(FormLayout::Caption));
    setWindowIcon(programIcon());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    installAccessibleRoles();
    createControls();
    setGeometry(FormLayout::toPixels(FormLayout::ClientTwips));
}

Form1::~Form1() = default;

QIcon Form1::programIcon()
{
    QIcon icon;
    for (const int size : {32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/sesame-pi/sesame-pi-%1.png").arg(size), QSize(size, size));
    return icon;
}

QFont Form1::captionFont(double points, bool bold)
{
    QFont font;
    font.setFamilies({toString(FormLayout::FontFace), toString(FormLayout::SubstituteFace)});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(FormLayout::fontPixels(points));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

void Form1::createControls()
{
    using FormLayout::Kind;
    QWidget *previousInTabOrder = nullptr;
    for (const FormLayout::Control &row : FormLayout::Controls) {
        const QString name = toString(row.name);
        const QString caption = toString(row.caption);
        QWidget *widget = nullptr;
        const auto number = static_cast<std::size_t>(row.name.back().digitValue());
        switch (row.kind) {
        case Kind::PictureBox:
            mPicture1 = new PictureBox(this);
            mPicture1->setAccessibleName(tr("Board"));
            mPicture1->setAccessibleDescription(tr("The board with the scattered seeds"));
            widget = mPicture1;
            break;
        case Kind::ImageBox:
            mPicture2 = new ImageBox(this);
            mPicture2->setPixmap(QPixmap(QStringLiteral(":/sesame-pi/emblem.jpg")));
            mPicture2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            mPicture2->setBackgroundRole(QPalette::Base);
            mPicture2->setForegroundRole(QPalette::Text);
            mPicture2->setAutoFillBackground(true);
            mPicture2->setAccessibleName(tr("Emblem"));
            widget = mPicture2;
            break;
        case Kind::CommandButton: {
            auto *button = new CommandButton(caption, this);
            mCommands.at(number) = button;
            // Exit and Init show no results; the others run. Queued, so that
            // it comes after whatever the click does.
            if (number != 5 && number != 6)
                connect(button, &QPushButton::clicked, this, &Form1::announceResults, Qt::QueuedConnection);
            widget = button;
            break;
        }
        case Kind::Label: {
            auto *label = new QLabel(caption, this);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setBackgroundRole(QPalette::Button);
            label->setForegroundRole(QPalette::ButtonText);
            label->setAutoFillBackground(true);
            label->setFocusPolicy(Qt::NoFocus);
            label->setTextFormat(Qt::PlainText);
            mLabels.at(number) = label;
            widget = label;
            break;
        }
        case Kind::MultimediaControl:
            // Never seen and never operated: a control with no widget.
            mMMControl1
                = new PlayerControl(PlayerControl::defaultPlayerPath(), PlayerControl::defaultSearchDirs(), this);
            mMMControl1->setObjectName(name);
            continue;
        }
        widget->setObjectName(name);
        widget->setGeometry(FormLayout::toPixels(row.twips));
        if (row.points > 0)
            widget->setFont(captionFont(row.points, row.bold));
        if (!caption.isEmpty())
            widget->setAccessibleName(caption.trimmed());
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (previousInTabOrder)
                setTabOrder(previousInTabOrder, widget);
            previousInTabOrder = widget;
        }
    }
    // Buttons and picture boxes sit above the labels they overlap.
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!qobject_cast<QLabel *>(child) || child == mPicture2)
            child->raise();
    mNotice = new Notice(this);
    mNotice->setObjectName(QStringLiteral("Results"));
    mPicture1->setFocus();
}

void Form1::announceResults()
{
    // In the order they read on the window: the count's line, then pi's.
    QStringList lines;
    for (const auto &[caption, value] : {std::pair(3, 4), std::pair(1, 2)})
        if (!label(value)->text().isEmpty())
            lines << label(caption)->text().trimmed() + u' ' + label(value)->text();
    mNotice->announce(lines.join(QLatin1String(", ")));
}

bool Form1::event(QEvent *event)
{
    if (event->type() == SettleBackingStore) {
        mSettlePosted = false;
        settleBackingStore();
        return true;
    }
    // Qt reports activation on every return to the window; the window's
    // own Activate comes once, when it is first shown, whether or not the
    // platform ever gives it the focus (a bare X server does not).
    const bool first = !mActivated && (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show);
    if (event->type() == QEvent::Show && !mPlaced) {
        mPlaced = true;
        keepOnScreen(geometry());
        if (QWindow *window = windowHandle())
            window->installEventFilter(this);
    }
    const bool result = QWidget::event(event);
    if (event->type() == QEvent::UpdateRequest && !mSettlePosted
        && QGuiApplication::platformName() == QLatin1String("xcb")) {
        mSettlePosted = true;
        QCoreApplication::postEvent(this, new QEvent(SettleBackingStore), Qt::LowEventPriority - 2);
    }
    if (first) {
        mActivated = true;
        QTimer::singleShot(0, this, &Form1::Activate);
    }
    return result;
}

void Form1::settleBackingStore()
{
    // Any pixel the window has sent will do: Qt then confirms them all. A
    // window not on the screen, or not painted yet, has no pixels to paint
    // over, nor a backing store image.
    QBackingStore *store = backingStore();
    const QWindow *window = windowHandle();
    if (!store || store->size().isEmpty() || !window || !window->isExposed())
        return;
    const QPoint inside = mPicture1->geometry().center();
    store->beginPaint(QRegion(inside.x(), inside.y(), 1, 1));
    store->endPaint();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        watched->removeEventFilter(this);
        keepFrameOnScreen(FrameTries);
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::keepFrameOnScreen(int triesLeft)
{
    // Until the window manager has said how wide its frame is, Qt reports no
    // frame or a nonsensical one; asked again a little later, for a second at
    // most. A window manager without frames ends the wait with the client
    // area alone, which is already on screen.
    const QMargins margins = windowHandle()->frameMargins();
    const bool known = margins.left() >= 0 && margins.top() >= 0 && margins.right() >= 0 && margins.bottom() >= 0
        && !margins.isNull();
    if (known)
        keepOnScreen(geometry().marginsAdded(margins));
    else if (triesLeft > 0)
        QTimer::singleShot(FrameTryInterval, this, [this, triesLeft] { keepFrameOnScreen(triesLeft - 1); });
}

void Form1::keepOnScreen(const QRect &frame)
{
    // A Wayland client cannot place its windows, and the platforms without a
    // display show nobody anything: the window stays where it was asked to be.
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")) || platform == QLatin1String("offscreen")
        || platform == QLatin1String("minimal") || !screen())
        return;
    const QPoint offset = offsetOntoScreen(frame, screen()->availableGeometry());
    if (!offset.isNull())
        setGeometry(geometry().translated(offset));
}

} // namespace sesame
