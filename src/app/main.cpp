#include "Application.h"
#include "Form1Events.h"
#include "Startup.h"
#include "window/Form1.h"

int main(int argc, char **argv)
{
    using namespace sesame;

    if (const std::optional<int> status = answerInformationalArguments(argc, argv))
        return *status;
    avoidStartingASessionBus();

    guardPlatformStartup(argc, argv);
    Application app(argc, argv);
    endPlatformStartupGuard();
    quitOnTerminationSignals();

    Form1 form;
    Form1Events events(form);
    form.show();
    quitWhenDestroyed(form);
    endWithTheDisplay();
    return Application::exec();
}
