#include "Form1.h"

#include "Accessibility.h"
#include "CommandButton.h"
#include "FormLayout.h"
#include "PictureBox.h"
#include "Placement.h"
#include "sound/PlayerControl.h"

#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace sesame {

Form1::Form1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(FormLayout::Caption.toString());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    installAccessibleRoles();
    // The controls on a client area of the layout's size, which scrolls
    // where the screen is too small for the window.
    auto *view = new QScrollArea(this);
    view->setFrameShape(QFrame::NoFrame);
    view->setFocusPolicy(Qt::NoFocus);
    view->setBackgroundRole(QPalette::Button);
    mClient = new QWidget;
    mClient->resize(FormLayout::toPixels(FormLayout::ClientTwips).size());
    view->setWidget(mClient);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(QMargins());
    layout->setSizeConstraint(QLayout::SetNoConstraint); // any size: it scrolls
    layout->addWidget(view);
    createControls();
    setGeometry(FormLayout::toPixels(FormLayout::ClientTwips));
}

Form1::~Form1() = default;

QIcon Form1::programIcon()
{
    QIcon icon; // the sizes the program was built with
    for (const QFileInfo &file : QDir(QStringLiteral(":/sesame-pi/icons")).entryInfoList())
        icon.addFile(file.filePath());
    return icon;
}

// All of the window on its screen, wherever it was put: by the layout, or,
// as the window is shown, by Qt's -geometry option. Once more when it is
// first activated, for by then the window manager has drawn the frame.
void Form1::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    if (visible) {
        mPlace = windowHandle()->geometry();
        keepOnScreen(*this, mPlace);
    }
}

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !std::exchange(mFramed, true))
        keepOnScreen(*this, mPlace);
}

QFont Form1::captionFont(double points, bool bold)
{
    QFont font;
    font.setFamilies({FormLayout::FontFace.toString(), FormLayout::SubstituteFace.toString()});
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
        const QString name = row.name.toString();
        const QString caption = row.caption.toString();
        QWidget *widget = nullptr;
        const auto number = static_cast<std::size_t>(row.name.back().digitValue());
        switch (row.kind) {
        case Kind::PictureBox:
            mPicture1 = new PictureBox(mClient);
            mPicture1->setAccessibleName(tr("Board"));
            mPicture1->setAccessibleDescription(tr("The board with the scattered seeds"));
            widget = mPicture1;
            break;
        case Kind::ImageBox:
            mPicture2 = new ImageBox(mClient);
            mPicture2->setPixmap(QPixmap(QStringLiteral(":/sesame-pi/emblem.jpg")));
            mPicture2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            mPicture2->setBackgroundRole(QPalette::Base);
            mPicture2->setForegroundRole(QPalette::Text);
            mPicture2->setAutoFillBackground(true);
            mPicture2->setAccessibleName(tr("Emblem"));
            widget = mPicture2;
            break;
        case Kind::CommandButton: {
            auto *button = new CommandButton(caption, mClient);
            mCommands.at(number) = button;
            // Every button but Exit changes the results. Queued, so that it
            // comes after whatever the click does.
            if (number != 5)
                connect(button, &QPushButton::clicked, this, &Form1::announceResults, Qt::QueuedConnection);
            widget = button;
            break;
        }
        case Kind::Label: {
            auto *label = new QLabel(caption, mClient);
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
    for (QWidget *child : mClient->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!qobject_cast<QLabel *>(child) || child == mPicture2)
            child->raise();
    mNotice = new Notice(mClient);
    mNotice->setObjectName(QStringLiteral("Results"));
    mPicture1->setFocus();
}

void Form1::announceResults()
{
    // In the order they read on the window: the count's line, then pi's;
    // after Init, the captions alone.
    QStringList lines;
    for (const auto &[caption, value] : {std::pair(3, 4), std::pair(1, 2)})
        lines << QStringList{label(caption)->text().trimmed(), label(value)->text()}.join(u' ').trimmed();
    mNotice->announce(lines.join(QLatin1String(", ")));
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Once, when the window is first shown, whether or not the platform ever
    // gives it the focus (a bare X server does not).
    if (!std::exchange(mActivated, true))
        emit Activate();
}

} // namespace sesame
