#pragma once

#include <QRect>
#include <QStringView>

#include <array>

namespace sesame {

// The window's static layout, as data: every control with its place in the
// tab order, kind, caption, rectangle and font. Rectangles are in twips
// (1440 to the inch, 15 to the pixel at 96 dots per inch) from the top-left of
// the client area, so they read as the layout was drawn; fonts in points.
namespace FormLayout {

inline constexpr int TwipsPerPixel = 15;

constexpr int toPixels(int twips)
{
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

constexpr QRect toPixels(QRect twips)
{
    return {toPixels(twips.x()), toPixels(twips.y()), toPixels(twips.width()), toPixels(twips.height())};
}

// Font sizes in points; the layout is laid out for 96 dots per inch, so the
// fonts are set in the pixels those points take there: 15, 16 and 19.
constexpr int fontPixels(double points)
{
    return qRound(points * 96 / 72);
}

inline constexpr QStringView Caption = u"Scatter sesame seeds to find an approximate value of pi !";
// The question Exit asks, and its title.
inline constexpr QStringView ExitPrompt = u"This software will exit.";
inline constexpr QStringView ExitTitle = u"Scatter sesame seeds to find pi !";
inline constexpr QRect ClientTwips{5370, 1020, 8550, 9540}; // client area: screen position and size

// The face the captions ask for, then the metric-compatible face found on
// Linux desktops; with neither, the system's sans serif.
inline constexpr QStringView FontFace = u"ＭＳ Ｐゴシック";
inline constexpr QStringView SubstituteFace = u"IPAPGothic";

// Picture boxes come in two uses: the board, drawn on at run time, and the
// emblem, which shows an image.
enum class Kind { PictureBox, ImageBox, CommandButton, Label, MultimediaControl };

struct Control
{
    int tabIndex = 0;
    QStringView name;
    Kind kind = Kind::Label;
    QStringView caption;
    QRect twips;
    double points = 0; // 0: no font of its own
    bool bold = false;
};

inline constexpr QStringView AuthorshipNotice = u"© 2026 sesame-pi team";

// clang-format off: one control a line reads as the table it is
inline constexpr std::array<Control, 17> Controls = {{
    {0, u"Picture1", Kind::PictureBox, u"", {360, 960, 7900, 6345}, 0, false},
    {1, u"Command1", Kind::CommandButton, u"10", {360, 7440, 988, 615}, 12, true},
    {2, u"Label1", Kind::Label, u"pi＝", {4320, 8640, 495, 375}, 14.25, true},
    {3, u"Label2", Kind::Label, u"", {4920, 8640, 1935, 375}, 14.25, true},
    {4, u"Label3", Kind::Label, u"Number of sesame seeds in a circle＝", {480, 8280, 4335, 255}, 12, true},
    {5, u"Label4", Kind::Label, u"", {4920, 8280, 1815, 255}, 12, true},
    {6, u"Command2", Kind::CommandButton, u"100", {1560, 7440, 1086, 615}, 12, true},
    {7, u"Command3", Kind::CommandButton, u"1,000", {2760, 7440, 1185, 615}, 12, true},
    {8, u"Command4", Kind::CommandButton, u"10,000", {4080, 7440, 1284, 615}, 12, true},
    {9,
     u"Label5",
     Kind::Label,
     u"Sesame seeds inside the circle are displayed in blue !",
     {360, 240, 6495, 375},
     11.25,
     true},
    {10, u"Command5", Kind::CommandButton, u"Exit", {960, 8760, 1095, 495}, 14.25, true},
    {11, u"Label6", Kind::Label, AuthorshipNotice, {4680, 9000, 2775, 255}, 11.25, false},
    {12, u"MMControl1", Kind::MultimediaControl, u"", {2520, 6480, 3540, 495}, 0, false},
    {13, u"Picture2", Kind::ImageBox, u"", {7440, 8760, 630, 615}, 0, false},
    {14, u"Command6", Kind::CommandButton, u"Init", {6960, 7440, 1284, 615}, 12, true},
    {15, u"Command7", Kind::CommandButton, u"50,000", {5520, 7440, 1284, 615}, 12, true},
    {16,
     u"Label7",
     Kind::Label,
     u"pi = 4×(Number of sesame seeds in a circle)÷(Total number of them) ",
     {360, 600, 7815, 375},
     11.25,
     true},
}};
// clang-format on

// The table lists the controls in their tab order; Form1 relies on it.
constexpr bool listedInTabOrder()
{
    for (std::size_t i = 0; i < Controls.size(); ++i)
        if (Controls[i].tabIndex != static_cast<int>(i))
            return false;
    return true;
}
static_assert(listedInTabOrder(), "FormLayout::Controls must be listed in tab order");

} // namespace FormLayout

} // namespace sesame
