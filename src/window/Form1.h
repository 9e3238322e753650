#pragma once

#include "estimate/SeedScatterRun.h"
#include "estimate/SeedStore.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

namespace sesame {

class PictureBox;
class SoundEffectControl;

// The program's one window: the board, the count buttons, Init and Exit, the
// results and the notices, laid out from FormLayout. It owns its controls,
// the media control the chimes play through, and the store of the seeds.
//
// It writes the results of a run into Label2 and Label4. What the buttons do
// is for whoever connects to them.
class Form1 : public QWidget, public ResultCaptions
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The controls by number: command(1) is Command1, label(2) is Label2.
    QPushButton *command(int number) const;
    QLabel *label(int number) const;
    PictureBox *picture1() const { return mPicture1; }
    QLabel *picture2() const { return mPicture2; }
    SoundEffectControl &mmControl1() const { return *mMMControl1; }
    SeedStore &seedStore() { return *mSeedStore; }

    void setEstimateCaption(const QString &text) override;
    void setCountCaption(const QString &text) override;

    // The window's icon: the 32 x 32 picture, with larger renderings of it
    // for docks and task switchers.
    static QIcon programIcon();

    // The font every caption asks for, at a size in points.
    static QFont captionFont(double points, bool bold);

signals:
    // The window has become the program's active window. With one window,
    // that is once: when it is first shown. Switching to another program and
    // back does not count.
    void Activate();

protected:
    bool event(QEvent *event) override;

private:
    void createControls();

    PictureBox *mPicture1 = nullptr;
    QLabel *mPicture2 = nullptr;
    SoundEffectControl *mMMControl1 = nullptr;
    std::unique_ptr<SeedStore> mSeedStore = std::make_unique<SeedStore>();
    bool mActivated = false;
};

} // namespace sesame
