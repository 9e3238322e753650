#include "Form1.h"

#include "FormLayout.h"
#include "PictureBox.h"
#include "sound/PlayerControl.h"

#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace sesame {

namespace {

QString toString(QStringView view)
{
    return view.toString();
}

} // namespace

Form1::Form1(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(toString(FormLayout::Caption));
    setWindowIcon(programIcon());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
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
    for (const FormLayout::Control &spec : FormLayout::Controls) {
        const QString name = toString(spec.name);
        const QString caption = toString(spec.caption);
        QWidget *widget = nullptr;
        const auto number = static_cast<std::size_t>(spec.name.back().digitValue());
        switch (spec.kind) {
        case Kind::PictureBox:
            mPicture1 = new PictureBox(this);
            mPicture1->setAccessibleName(tr("Board"));
            widget = mPicture1;
            break;
        case Kind::ImageBox:
            mPicture2 = new QLabel(this);
            mPicture2->setPixmap(QPixmap(QStringLiteral(":/sesame-pi/emblem.jpg")));
            mPicture2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            mPicture2->setFocusPolicy(Qt::StrongFocus);
            mPicture2->setBackgroundRole(QPalette::Base);
            mPicture2->setForegroundRole(QPalette::Text);
            mPicture2->setAutoFillBackground(true);
            mPicture2->setAccessibleName(tr("Emblem"));
            widget = mPicture2;
            break;
        case Kind::CommandButton: {
            auto *button = new QPushButton(caption, this);
            button->setAutoDefault(false);
            button->setDefault(false);
            mCommands.at(number) = button;
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
            mMMControl1 = new PlayerControl(PlayerControl::defaultPlayerPath(), PlayerControl::defaultSearchDirs(), this);
            mMMControl1->setObjectName(name);
            continue;
        }
        widget->setObjectName(name);
        widget->setGeometry(FormLayout::toPixels(spec.twips));
        if (spec.points > 0)
            widget->setFont(captionFont(spec.points, spec.bold));
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
    mPicture1->setFocus();
}

bool Form1::event(QEvent *event)
{
    // Qt reports activation on every return to the window; the window's
    // own Activate comes once, when it is first shown, whether or not the
    // platform ever gives it the focus (a bare X server does not).
    const bool first = !mActivated && (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show);
    const bool result = QWidget::event(event);
    if (first) {
        mActivated = true;
        QTimer::singleShot(0, this, &Form1::Activate);
    }
    return result;
}

} // namespace sesame
