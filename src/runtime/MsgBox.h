#pragma once

#include <QString>

class QWidget;

namespace sesame {

// Answers of a message box, as the buttons are numbered.
enum MsgBoxResult : int {
    MsgBoxOk = 1,
    MsgBoxCancel = 2,
};

// A modal message box with the prompt, a single OK button and no icon, under
// the given title; returns the answer once the box is closed. The box has no
// answer but OK: closing it by Escape or by its title bar answers OK too.
int MsgBox(QWidget *parent, const QString &prompt, const QString &title);

// The object name the box carries, so that it can be found (tests, tools).
inline constexpr const char *MsgBoxObjectName = "MsgBox";

} // namespace sesame
