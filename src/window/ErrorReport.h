#pragma once

#include <QString>

namespace sesame {

// Exit status of a program ended by an error that nothing caught.
inline constexpr int ErrorExitStatus = 2;

// The last word on a failure nobody handled: one line on standard error and,
// when a screen is there to show it, a message box. Then the program ends with
// ErrorExitStatus. Does not return.
[[noreturn]] void ReportFatalError(const QString &what);

} // namespace sesame
