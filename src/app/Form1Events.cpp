#include "Form1Events.h"

#include "runtime/MsgBox.h"
#include "runtime/Timer.h"
#include "sound/SoundEffectControl.h"
#include "window/Form1.h"
#include "window/PictureBox.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace sesame {

Form1Events::Form1Events(Form1 &form)
    : QObject(&form)
    , mForm(form)
    , mCue(form.mmControl1())
    , mRun(form.seedStore(), form.picture1()->board(), mCue, mRandom, form, Timer)
{
    connect(&form, &Form1::Activate, this, &Form1Events::Form_Activate);
    connect(form.command(1), &QPushButton::clicked, this, &Form1Events::Command1_Click);
    connect(form.command(2), &QPushButton::clicked, this, &Form1Events::Command2_Click);
    connect(form.command(3), &QPushButton::clicked, this, &Form1Events::Command3_Click);
    connect(form.command(4), &QPushButton::clicked, this, &Form1Events::Command4_Click);
    connect(form.command(7), &QPushButton::clicked, this, &Form1Events::Command7_Click);
    connect(form.command(6), &QPushButton::clicked, this, &Form1Events::Command6_Click);
    connect(form.command(5), &QPushButton::clicked, this, &Form1Events::Command5_Click);
}

void Form1Events::Form_Activate()
{
    mForm.picture1()->board().DrawBoard();
    mForm.picture1()->update();
}

void Form1Events::Command1_Click()
{
    Scatter(10);
}

void Form1Events::Command2_Click()
{
    Scatter(100);
}

void Form1Events::Command3_Click()
{
    Scatter(1000);
}

void Form1Events::Command4_Click()
{
    Scatter(10000);
}

void Form1Events::Command7_Click()
{
    Scatter(50000);
}

// Init: a clean board and no results; the seeds stay in the store.
void Form1Events::Command6_Click()
{
    Board &board = mForm.picture1()->board();
    board.ClearBoard();
    mForm.setEstimateCaption(QString());
    mForm.setCountCaption(QString());
    board.DrawBoard();
    mForm.picture1()->update();
}

// Exit: the leaving chime, the question, and on OK the end.
void Form1Events::Command5_Click()
{
    mCue(ExitCueFile);
    if (MsgBox(&mForm, ExitPrompt.toString(), ExitTitle.toString()) == MsgBoxOk) {
        mForm.close();
        QCoreApplication::exit(0);
    }
}

void Form1Events::Scatter(int n)
{
    mRun(n);
    mForm.picture1()->update();
}

} // namespace sesame
