#include "window/Fonts.h"

#include <QStringList>

namespace quiro {

void installFontSubstitutions() {
    if (!QFont::substitutes(CaptionFace).contains(SubstituteFace))
        QFont::insertSubstitution(CaptionFace, SubstituteFace);
}

QFont controlFont(ControlFont font) {
    QFont f(CaptionFace);
    f.setPointSizeF(pointSizeOf(font));
    f.setWeight(isBold(font) ? QFont::Bold : QFont::Normal);
    return f;
}

} // namespace quiro
