#pragma once
// The one QApplication the window tests share, with the program's font substitution. It is never
// destroyed: Qt's own globals may be gone by the time static objects are.

#include "app/Fonts.h"

#include <QApplication>

namespace quiro::test {

inline QApplication &application() {
    static int argc = 1;
    static char name[] = "quiro_app_tests";
    static char *argv[] = {name, nullptr};
    static auto *app = new QApplication(argc, argv);
    static const bool fonts = (installFontSubstitutions(), true);
    (void)fonts;
    return *app;
}

} // namespace quiro::test
