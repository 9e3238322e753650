#pragma once

#include <QString>

#include <exception>

namespace sesame {

// Exit status of a program ended by an error that nothing caught.
inline constexpr int ErrorExitStatus = 2;

// The last word on a failure nobody handled: one line on standard error and,
// when a screen is there to show it, a message box. Then the program ends with
// ErrorExitStatus. Does not return.
[[noreturn]] void ReportFatalError(const QString &what);

// Does a handler's work. A failure inside it is reported right there and
// ends the program: no exception leaves a handler for Qt's event loop, which
// cannot carry one.
template<class Work> void Reporting(Work &&work) noexcept
{
    try {
        work();
    } catch (const std::exception &error) {
        ReportFatalError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ReportFatalError(QStringLiteral("unknown exception"));
    }
}

} // namespace sesame
