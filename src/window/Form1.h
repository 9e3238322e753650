#pragma once

#include <QWidget>

#include <array>

class QLabel;
class QPushButton;

namespace sesame {

class Notice;
class PictureBox;
class PlayerControl;

// The program's one window: the board, the count buttons, Init and Exit, the
// results and the notices, laid out from FormLayout. It owns its controls and
// the media control the chimes play through. What the buttons do is for
// whoever connects to them.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The controls by number: command(1) is Command1, label(2) is Label2.
    QPushButton *command(int number) const { return mCommands.at(static_cast<std::size_t>(number)); }
    QLabel *label(int number) const { return mLabels.at(static_cast<std::size_t>(number)); }
    PictureBox *picture1() const { return mPicture1; }
    QLabel *picture2() const { return mPicture2; }
    PlayerControl &mmControl1() const { return *mMMControl1; }

    // The program's icon, which its windows show: the 32 x 32 picture, with
    // larger renderings of it for docks and task switchers.
    static QIcon programIcon();

    // The font every caption asks for, at a size in points.
    static QFont captionFont(double points, bool bold);

    void setVisible(bool visible) override;

signals:
    // The window has become the program's active window. With one window,
    // that is once: when it is first shown. Switching to another program and
    // back does not count.
    void Activate();

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createControls();
    // After a run or Init, the results are told to assistive tools.
    void announceResults();

    QWidget *mClient = nullptr; // the controls' parent, of the layout's size
    std::array<QPushButton *, 8> mCommands{}; // by number; 0 unused
    std::array<QLabel *, 8> mLabels{};
    PictureBox *mPicture1 = nullptr;
    QLabel *mPicture2 = nullptr;
    PlayerControl *mMMControl1 = nullptr;
    Notice *mNotice = nullptr;
    bool mActivated = false;
    QRect mPlace; // where the window was to be, when it was shown
    bool mFramed = false; // put there again, with its frame known
};

} // namespace sesame
