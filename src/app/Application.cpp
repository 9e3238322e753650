#include "Application.h"

#include "window/Form1.h"

namespace sesame {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("sesame-pi"));
    setDesktopFileName(QStringLiteral(SESAME_PI_APP_ID));
    setWindowIcon(Form1::programIcon());
}

} // namespace sesame
