#pragma once
// The one QApplication of a widget test, made on first use on the offscreen platform. It is never
// destroyed: Qt's own globals may be gone by the time static objects are.

#include <QApplication>

namespace quiro::test {

inline QApplication &application() {
    static int argc = 1;
    static char name[] = "params_tests";
    static char *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static auto *app = new QApplication(argc, argv);
    return *app;
}

// A fixture base that makes the application before any widget member of the fixture.
struct UsesQt {
    UsesQt() { application(); }
};

} // namespace quiro::test
