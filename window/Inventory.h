#pragma once
// The main window's control inventory: every control with its name, kind, container, caption or
// initial text, place and size, alignment, font and enabled state at creation. MainForm is built
// by looping over this table (the parameter dialog over a table of the same rows).
//
// Places are in twips (1/1440 inch), 15 twips to a pixel, relative to the window's client area or
// to the enclosing frame.

#include <QRect>
#include <QString>

#include <vector>

namespace quiro {

enum class ControlKind { Button, Label, TextBox, Combo, Frame, Picture };

// The faces a control can carry. Window: no font of its own, it shows the window's font.
enum class ControlFont { Window, Regular, Small, Smaller, Heading, Title, DialogTitle };

enum class TextAlign { Left, Centre, Right };

struct ControlSpec {
    const char *name;
    ControlKind kind;
    const char *container; // "" for the window itself, otherwise the name of a frame
    QString text;          // caption, or the initial text of a text box or combo box
    QRect twips;           // left, top, width, height
    ControlFont font = ControlFont::Regular;
    TextAlign align = TextAlign::Left;
    bool enabled = true;
};

constexpr int TwipsPerPixel = 15;
// Twips to the nearest pixel (the 1000-twip buttons are 66.7 pixels wide).
constexpr int pixelsOf(int twips) {
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}
constexpr QRect pixelsOf(const QRect &twips) {
    return {pixelsOf(twips.x()), pixelsOf(twips.y()), pixelsOf(twips.width()),
            pixelsOf(twips.height())};
}

// The main window's client area: 13725 x 9900 twips, 915 x 660 pixels.
constexpr int ClientWidth = pixelsOf(13725);
constexpr int ClientHeight = pixelsOf(9900);

// The face the captions ask for. installFontSubstitutions() maps it to a face that is installed.
inline const QString CaptionFace = QStringLiteral("ＭＳ Ｐゴシック");

// The window's own font, shown by the controls that carry none: the caption face at 9 pt.
constexpr double WindowPointSize = 9.0;

// Point size and weight of each ControlFont.
double pointSizeOf(ControlFont font);
bool isBold(ControlFont font);

// Every control of the main window, containers before the controls inside them.
const std::vector<ControlSpec> &inventory();

} // namespace quiro
