#include "SeedScatterRun.h"

#include "ScatterArithmetic.h"
#include "board/Board.h"
#include "runtime/RandomSource.h"
#include "sound/SoundCue.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace sesame {

SeedScatterRun::SeedScatterRun(SeedStore &store, Board &board, SoundCue &cue, RandomSource &random,
                               std::function<float()> clock)
    : mStore(store)
    , mBoard(board)
    , mCue(cue)
    , mRandom(random)
    , mClock(std::move(clock))
{
}

RunResult SeedScatterRun::operator()(int n)
{
    if (n < 1 || n > SeedStore::Capacity)
        throw std::invalid_argument("a run takes 1 to " + std::to_string(SeedStore::Capacity) + " seeds, not "
                                    + std::to_string(n));

    mCue(RunCueFile);
    mBoard.ClearBoard();
    mBoard.DrawBoard();
    mRandom.Randomize(mClock());

    long long inside = 0;
    {
        Board::SeedPen pen = mBoard.seedPen();
        inside = ScatterSeeds(mStore, n, mRandom, pen);
    }
    return {inside, PiEstimate(inside, n)};
}

} // namespace sesame
