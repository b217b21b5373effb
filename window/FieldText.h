#pragma once
// The parameter fields of a form, found by their object names: a QLineEdit's text, or the edit
// text of an editable QComboBox. The main window and the parameter dialog name their fields alike.

#include "params/ParameterCheck.h"

#include <QString>

class QWidget;

namespace quiro {

// Which control holds which text, in the order the dialog tests its fields for emptiness.
struct ParameterField {
    const char *objectName;
    QString ParameterTexts::*text;
};
inline const ParameterField parameterFields[] = {
    {"TextCFreq", &ParameterTexts::cFreq},       {"ComboDFilter", &ParameterTexts::dFilter},
    {"TextDGain", &ParameterTexts::dGain},       {"TextCTapSize", &ParameterTexts::cTapSize},
    {"TextCBeta", &ParameterTexts::cBeta},       {"TextCGain", &ParameterTexts::cGain},
    {"TextWTapSize", &ParameterTexts::wTapSize}, {"TextWBeta", &ParameterTexts::wBeta},
    {"TextWGain", &ParameterTexts::wGain},
};

// The field's text; empty when the form has no such field.
QString fieldText(const QWidget &form, const QString &name);
// Sets the field's text, whether or not the field is enabled.
void setFieldText(QWidget &form, const QString &name, const QString &text);

// The nine texts as the form's fields hold them, and the texts shown in them.
ParameterTexts textsOf(const QWidget &form);
void showTexts(QWidget &form, const ParameterTexts &texts);
// Throws std::logic_error naming the first parameter field the form lacks.
void requireParameterFields(const QWidget &form);

} // namespace quiro
