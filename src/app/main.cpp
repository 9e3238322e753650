#include "Application.h"
#include "Form1Events.h"
#include "Startup.h"
#include "window/Form1.h"

int main(int argc, char **argv)
{
    using namespace sesame;

    if (!answerInformationalArguments(argc, argv))
        return 0;
    avoidStartingASessionBus();

    guardPlatformStartup();
    Application app(argc, argv);
    endPlatformStartupGuard();
    quitOnTerminationSignals();

    Form1 form;
    Form1Events events(form);
    form.show();
    return Application::exec();
}
