#pragma once
// The one QApplication of a widget test: the one already running, or one made on first use, on
// the offscreen platform unless the environment names another. It is never destroyed, since Qt's
// own globals may be gone by the time static objects are.

#include <QApplication>
#include <QEvent>

namespace quiro::test {

// Put first among bases or members, so the application exists before any widget.
struct UsesQt {
    UsesQt() {
        if (QCoreApplication::instance())
            return;
        static int argc = 1;
        static char name[] = "quiro_tests";
        static char *argv[] = {name, nullptr};
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
    }
};

// Counts the paints a widget receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace quiro::test
