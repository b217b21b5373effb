#include "window/FieldText.h"

#include <QComboBox>
#include <QLineEdit>

#include <iterator>
#include <stdexcept>
#include <string>

namespace quiro {

static_assert(std::size(parameterFields) == ParameterFieldCount);

namespace {

std::size_t indexOf(QString ParameterTexts::*text) {
    for (std::size_t i = 0; i < ParameterFieldCount; ++i)
        if (parameterFields[i].text == text)
            return i;
    throw std::logic_error("a parameter text without a field");
}

} // namespace

ParameterFields::ParameterFields(const QWidget &form) {
    for (std::size_t i = 0; i < ParameterFieldCount; ++i) {
        const char *name = parameterFields[i].objectName;
        Field &f = fields_[i];
        f.edit = form.findChild<QLineEdit *>(QString::fromLatin1(name));
        if (!f.edit)
            f.combo = form.findChild<QComboBox *>(QString::fromLatin1(name));
        if (!f.edit && !f.combo)
            throw std::logic_error(std::string("no parameter field named ") + name);
    }
}

QWidget &ParameterFields::widget(QString ParameterTexts::*text) const {
    const Field &f = fields_[indexOf(text)];
    return f.edit ? static_cast<QWidget &>(*f.edit) : *f.combo;
}

QString ParameterFields::text(QString ParameterTexts::*text) const {
    const Field &f = fields_[indexOf(text)];
    return f.edit ? f.edit->text() : f.combo->currentText();
}

ParameterTexts ParameterFields::texts() const {
    ParameterTexts texts;
    for (const ParameterField &p : parameterFields)
        texts.*p.text = text(p.text);
    return texts;
}

void ParameterFields::show(const ParameterTexts &texts) {
    for (std::size_t i = 0; i < ParameterFieldCount; ++i) {
        const Field &f = fields_[i];
        const QString &text = texts.*parameterFields[i].text;
        if (f.edit)
            f.edit->setText(text);
        else
            f.combo->setEditText(text);
    }
}

} // namespace quiro
