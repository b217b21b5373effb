// The main function of widget tests: one QApplication for the whole run (on the platform the
// environment names, offscreen under CTest), with the program's font substitution.

#include "app/Fonts.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    quiro::installFontSubstitutions();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
