#pragma once

#include "estimate/SeedScatterRun.h"
#include "runtime/RandomSource.h"
#include "sound/SoundCue.h"

#include <QObject>

namespace sesame {

class Form1;

// What the window does: one short handler per event, each running to
// completion. Connected to the window's controls on construction.
class Form1Events : public QObject
{
    Q_OBJECT

public:
    explicit Form1Events(Form1 &form);

    static constexpr QStringView ExitPrompt = u"This software will exit.";
    static constexpr QStringView ExitTitle = u"Scatter sesame seeds to find pi !";

public slots:
    void Form_Activate();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command7_Click();
    void Command6_Click();
    void Command5_Click();

private:
    void Scatter(int n);

    Form1 &mForm;
    RandomSource mRandom;
    SoundCue mCue;
    SeedScatterRun mRun;
};

} // namespace sesame
