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
// the given title. Returns the answer: MsgBoxOk when OK was pressed, or
// MsgBoxCancel when the box was closed some other way (Escape, the close
// box, the event loop being asked to quit).
int MsgBox(QWidget *parent, const QString &prompt, const QString &title);

// The object name the box carries, so that it can be found (tests, tools).
inline constexpr const char *MsgBoxObjectName = "MsgBox";

} // namespace sesame
