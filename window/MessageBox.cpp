#include "window/MessageBox.h"

#include <QMessageBox>

namespace quiro {

void showMessageBox(MessageIcon icon, const QString &text, const QString &title) {
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Warning,
                    title, text, QMessageBox::Ok);
    box.exec();
}

} // namespace quiro
