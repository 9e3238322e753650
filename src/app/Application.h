#pragma once

#include <QApplication>

namespace sesame {

// The application object, with the program's last word on errors: an
// exception that escapes an event handler is reported and ends the program,
// instead of unwinding through Qt's event loop.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace sesame
