#pragma once

#include "board/Board.h"

#include <QFrame>
#include <QLabel>

namespace sesame {

// The board's picture box: a white area inside a sunken 3-D border two pixels
// wide, showing the board from its backing image. Whatever draws on the board,
// the box repaints itself afterwards; it paints from the image, so the
// picture survives being covered. It can take the focus but reacts to no key
// or mouse input; while it has the focus, a ring in the highlight colour is
// drawn just inside the border, over the picture on screen but never into the board's image.
class PictureBox : public QFrame
{
    Q_OBJECT

public:
    static constexpr int Border = 2; // the sunken border's width, in pixels

    explicit PictureBox(QWidget *parent = nullptr);

    Board &board() { return mBoard; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Moving to a screen of another resolution keeps the picture, resampled
    // to the new one; checked whenever the box is shown or painted.
    void matchScreenResolution();

    Board mBoard;
};

// The emblem's picture box: an image that can take the focus, and shows it
// with the same focus frame as the board.
class ImageBox : public QLabel
{
    Q_OBJECT

public:
    explicit ImageBox(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace sesame
