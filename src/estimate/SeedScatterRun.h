#pragma once

#include "SeedStore.h"

#include <functional>

namespace sesame {

class Board;
class RandomSource;
class SoundCue;

// What a run found: the seeds inside the circle and 4 x inside / scattered.
struct RunResult
{
    long long inside = 0;
    double estimate = 0;
};

// The experiment: plays the run chime, scatters n seeds on a fresh board,
// colours each by whether it fell inside the circle, and returns the count
// inside and the estimate of pi. The caller shows them.
class SeedScatterRun
{
public:
    SeedScatterRun(SeedStore &store, Board &board, SoundCue &cue, RandomSource &random, std::function<float()> clock);

    // One whole run of n seeds, 1 <= n <= SeedStore::Capacity; any other n
    // throws std::invalid_argument before anything is played or drawn.
    RunResult operator()(int n);

private:
    SeedStore &mStore;
    Board &mBoard;
    SoundCue &mCue;
    RandomSource &mRandom;
    std::function<float()> mClock;
};

} // namespace sesame
