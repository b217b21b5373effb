// quiro: the operator's console for the active-noise-control demonstration.

#include "app/Console.h"
#include "app/Fonts.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    quiro::installFontSubstitutions();
    quiro::Console console(QCoreApplication::applicationDirPath());
    console.start();
    return app.exec();
}
