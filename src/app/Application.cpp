#include "Application.h"

#include "window/ErrorReport.h"
#include "window/Form1.h"

#include <exception>

namespace sesame {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("sesame-pi"));
    setApplicationVersion(QStringLiteral(SESAME_PI_VERSION));
    setOrganizationName(QStringLiteral("sesame-pi"));
    setDesktopFileName(QStringLiteral(SESAME_PI_APP_ID));
    setWindowIcon(Form1::programIcon());
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ReportFatalError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ReportFatalError(QStringLiteral("unknown exception"));
    }
}

} // namespace sesame
