#include "MsgBox.h"

#include <QMessageBox>

namespace sesame {

int MsgBox(QWidget *parent, const QString &prompt, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Ok, parent);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    return MsgBoxOk;
}

} // namespace sesame
