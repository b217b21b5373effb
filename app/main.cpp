// quiro: the operator's console for the active-noise-control demonstration.

#include "app/Console.h"
#include "window/Fonts.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // The desktop matches the window to the menu entry and icon installed under this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUIRO_APP_ID));
    quiro::installFontSubstitutions();
    quiro::Console console(QCoreApplication::applicationDirPath());
    const quiro::StartupResult result = console.start();
    // Refusal and a failed library end the process inside start-up; should that ever return,
    // there is no window to wait for.
    if (result == quiro::StartupResult::Refused || result == quiro::StartupResult::LibraryFailed)
        return 1;
    return app.exec();
}
