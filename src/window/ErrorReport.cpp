#include "ErrorReport.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace sesame {

[[noreturn]] void ReportFatalError(const QString &what)
{
    std::fprintf(stderr, "sesame-pi: fatal error: %s\n", qPrintable(what));
    std::fflush(stderr);

    static bool reporting = false; // an error inside the report itself ends at once
    if (!reporting && qobject_cast<QApplication *>(QCoreApplication::instance())
        && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        reporting = true;
        QMessageBox::critical(
            nullptr, QStringLiteral("sesame-pi"),
            QStringLiteral("An unexpected error has occurred and the program must end.\n\n%1").arg(what));
    }
    // Not exit(): static destructors would run under a live application
    // object, in the middle of whatever failed.
    std::_Exit(ErrorExitStatus);
}

} // namespace sesame
