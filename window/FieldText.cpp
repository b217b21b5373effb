#include "window/FieldText.h"

#include <QComboBox>
#include <QLineEdit>

#include <stdexcept>
#include <string>

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

ParameterTexts textsOf(const QWidget &form) {
    ParameterTexts texts;
    for (const ParameterField &f : parameterFields)
        texts.*f.text = fieldText(form, QString::fromLatin1(f.objectName));
    return texts;
}

void showTexts(QWidget &form, const ParameterTexts &texts) {
    for (const ParameterField &f : parameterFields)
        setFieldText(form, QString::fromLatin1(f.objectName), texts.*f.text);
}

void requireParameterFields(const QWidget &form) {
    for (const ParameterField &f : parameterFields) {
        const QString name = QString::fromLatin1(f.objectName);
        if (!form.findChild<QLineEdit *>(name) && !form.findChild<QComboBox *>(name))
            throw std::logic_error(std::string("no parameter field named ") + f.objectName);
    }
}

} // namespace quiro
