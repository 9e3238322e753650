#include "SeedScatterRun.h"

#include "ScatterArithmetic.h"
#include "board/Board.h"
#include "runtime/NumberText.h"
#include "runtime/RandomSource.h"
#include "sound/SoundCue.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace sesame {

SeedScatterRun::SeedScatterRun(SeedStore &store, Board &board, SoundCue &cue, RandomSource &random,
                               ResultCaptions &captions, std::function<float()> clock)
    : mStore(store)
    , mBoard(board)
    , mCue(cue)
    , mRandom(random)
    , mCaptions(captions)
    , mClock(std::move(clock))
{
}

void SeedScatterRun::operator()(int n)
{
    if (n < 1 || n > SeedStore::Capacity)
        throw std::invalid_argument("a run takes 1 to " + std::to_string(SeedStore::Capacity) + " seeds, not "
                                    + std::to_string(n));

    mCue(RunCueFile);
    mBoard.ClearBoard();
    mBoard.DrawBoard();
    mRandom.Randomize(mClock());

    Board::SeedPen pen = mBoard.seedPen();
    const long long insideCount = ScatterSeeds(mStore, n, mRandom, pen);

    const double piEstimate = PiEstimate(insideCount, n);
    mCaptions.setEstimateCaption(QString::fromStdString(NumberText(piEstimate)));
    mCaptions.setCountCaption(QString::fromStdString(NumberText(insideCount)));
}

} // namespace sesame
