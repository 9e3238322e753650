#pragma once

#include <QString>

class QWidget;

namespace sesame {

// The answer of a message box's OK button.
inline constexpr int MsgBoxOk = 1;

// A modal message box with the prompt, a single OK button and no icon, under
// the given title; returns the answer once the box is closed. The box has no
// answer but OK: closing it by Escape or by its title bar answers OK too.
int MsgBox(QWidget *parent, const QString &prompt, const QString &title);

} // namespace sesame
