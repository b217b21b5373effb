#pragma once
// The captions ask for the face "ＭＳ Ｐゴシック", which Linux does not have. IPA P Gothic has the
// same proportional Japanese metrics the window was laid out for, so the face is substituted once
// at application start, by the program and the tests alike.

#include "window/Inventory.h"

#include <QFont>

namespace quiro {

// The installed face that stands in for CaptionFace.
inline const QString SubstituteFace = QStringLiteral("IPAPGothic");

void installFontSubstitutions();

// The font of a control of the main window (for ControlFont::Window: the window's own font).
QFont controlFont(ControlFont font);

} // namespace quiro
