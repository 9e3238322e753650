#include "MsgBox.h"

#include <QMessageBox>

namespace sesame {

int MsgBox(QWidget *parent, const QString &prompt, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Ok, parent);
    box.setEscapeButton(QMessageBox::Ok);
    // As wide as the title needs, with the frame's icon and buttons beside
    // it (about a line high each), in bold as title bars mostly show it: Qt
    // sizes a box by its text, and the window manager shortens the title.
    QFont bold = box.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    box.setStyleSheet(
        QStringLiteral("QLabel { min-width: %1px; }").arg(metrics.horizontalAdvance(title) + 4 * metrics.height()));
    box.exec();
    return MsgBoxOk;
}

} // namespace sesame
