#pragma once
// The one QApplication the window tests share, with the program's font substitution.

#include "app/Fonts.h"

#include <QApplication>

namespace quiro::test {

inline QApplication &application() {
    static int argc = 1;
    static char name[] = "quiro_app_tests";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    static const bool fonts = (installFontSubstitutions(), true);
    (void)fonts;
    return app;
}

} // namespace quiro::test
