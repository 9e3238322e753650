#pragma once

#include "estimate/SeedScatterRun.h"
#include "estimate/SeedStore.h"
#include "runtime/RandomSource.h"
#include "sound/SoundCue.h"

#include <QObject>

#include <array>
#include <memory>

namespace sesame {

class Form1;

// The count buttons, by number, and the seeds each scatters.
struct CountButton
{
    int command = 0;
    int seeds = 0;
};
inline constexpr std::array<CountButton, 5> CountButtons = {{{1, 10}, {2, 100}, {3, 1000}, {4, 10000}, {7, 50000}}};

// What the window does: one short handler per event, each running to
// completion. Connected to the window's controls on construction. Owns the
// store of the seeds, which lives as long as the window.
class Form1Events : public QObject
{
    Q_OBJECT

public:
    explicit Form1Events(Form1 &form);

    const SeedStore &seedStore() const { return *mSeedStore; }

public slots:
    void Form_Activate();
    // Command1 to Command4 and Command7: a run of their number of seeds.
    void CountButton_Click(int seeds);
    void Command6_Click();
    void Command5_Click();

private:
    Form1 &mForm;
    std::unique_ptr<SeedStore> mSeedStore = std::make_unique<SeedStore>();
    RandomSource mRandom;
    SoundCue mCue;
    SeedScatterRun mRun;
};

} // namespace sesame
