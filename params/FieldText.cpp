#include "params/FieldText.h"

#include <QComboBox>
#include <QLineEdit>

namespace quiro {

QString fieldText(const QWidget &form, const QString &name) {
    if (const auto *edit = form.findChild<QLineEdit *>(name))
        return edit->text();
    if (const auto *combo = form.findChild<QComboBox *>(name))
        return combo->currentText();
    return {};
}

void setFieldText(QWidget &form, const QString &name, const QString &text) {
    if (auto *edit = form.findChild<QLineEdit *>(name))
        edit->setText(text);
    else if (auto *combo = form.findChild<QComboBox *>(name))
        combo->setEditText(text);
}

} // namespace quiro
