#pragma once

#include "SeedStore.h"

#include <QString>

#include <array>
#include <functional>

namespace sesame {

class Board;
class RandomSource;
class SoundCue;

// Where a run writes its results: the estimate of pi, then the number of
// seeds inside the circle, each as the text to show.
class ResultCaptions
{
public:
    virtual ~ResultCaptions() = default;
    virtual void setEstimateCaption(const QString &text) = 0;
    virtual void setCountCaption(const QString &text) = 0;

protected:
    ResultCaptions() = default;
    ResultCaptions(const ResultCaptions &) = default;
    ResultCaptions &operator=(const ResultCaptions &) = default;
};

// The experiment: scatters N seeds on a fresh board, colours each by whether
// it fell inside the circle, and writes the count inside and 4 x count / N.
class SeedScatterRun
{
public:
    // The run sizes the window offers.
    static constexpr std::array<int, 5> RunSizes = {10, 100, 1000, 10000, 50000};

    SeedScatterRun(SeedStore &store, Board &board, SoundCue &cue, RandomSource &random, ResultCaptions &captions,
                   std::function<float()> clock);

    // One whole run of n seeds, 1 <= n <= SeedStore::Capacity; any other n
    // throws std::invalid_argument before anything is played or drawn.
    void operator()(int n);

private:
    SeedStore &mStore;
    Board &mBoard;
    SoundCue &mCue;
    RandomSource &mRandom;
    ResultCaptions &mCaptions;
    std::function<float()> mClock;
};

} // namespace sesame
