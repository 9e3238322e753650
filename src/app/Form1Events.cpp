#include "Form1Events.h"

#include "runtime/NumberText.h"
#include "runtime/Timer.h"
#include "sound/PlayerControl.h"
#include "window/ErrorReport.h"
#include "window/Form1.h"
#include "window/FormLayout.h"
#include "window/MsgBox.h"
#include "window/PictureBox.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace sesame {

static_assert(std::all_of(CountButtons.begin(), CountButtons.end(),
                          [](CountButton button) { return button.seeds <= SeedStore::Capacity; }),
              "a count button scatters more seeds than the store holds");

Form1Events::Form1Events(Form1 &form)
    : QObject(&form)
    , mForm(form)
    , mCue(form.mmControl1())
    , mRun(*mSeedStore, form.picture1()->board(), mCue, mRandom, Timer)
{
    connect(&form, &Form1::Activate, this, &Form1Events::Form_Activate);
    for (const CountButton button : CountButtons)
        connect(form.command(button.command), &QPushButton::clicked, this,
                [this, seeds = button.seeds] { CountButton_Click(seeds); });
    connect(form.command(6), &QPushButton::clicked, this, &Form1Events::Command6_Click);
    connect(form.command(5), &QPushButton::clicked, this, &Form1Events::Command5_Click);
}

// Every handler reports a failure inside it and ends the program there.

void Form1Events::Form_Activate()
{
    Reporting([this] { mForm.picture1()->board().DrawBoard(); });
}

void Form1Events::CountButton_Click(int seeds)
{
    Reporting([this, seeds] {
        const RunResult result = mRun(seeds);
        mForm.label(2)->setText(NumberText(result.estimate));
        mForm.label(4)->setText(NumberText(result.inside));
    });
}

// Init: a clean board and no results; the seeds stay in the store.
void Form1Events::Command6_Click()
{
    Reporting([this] {
        Board &board = mForm.picture1()->board();
        board.ClearBoard();
        mForm.label(2)->clear();
        mForm.label(4)->clear();
        board.DrawBoard();
    });
}

// Exit: the leaving chime, the question, and on OK the end.
void Form1Events::Command5_Click()
{
    Reporting([this] {
        mCue(ExitCueFile);
        if (MsgBox(&mForm, FormLayout::ExitPrompt.toString(), FormLayout::ExitTitle.toString()) == MsgBoxOk) {
            mForm.close();
            QCoreApplication::exit(0);
        }
    });
}

} // namespace sesame
