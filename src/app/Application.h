#pragma once

#include <QApplication>

namespace sesame {

// The application object, with the program's identity: its desktop entry and
// its icon.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);
};

} // namespace sesame
