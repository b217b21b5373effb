#pragma once
// The application the window tests share, with the program's font substitution.

#include "QtApplication.h"
#include "app/Fonts.h"

namespace quiro::test {

inline QApplication &fontedApplication() {
    static const bool fonts = (application(), installFontSubstitutions(), true);
    (void)fonts;
    return application();
}

} // namespace quiro::test
