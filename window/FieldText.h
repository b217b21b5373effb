#pragma once
// The parameter fields of a form, found once by their object names: a QLineEdit, or an editable
// QComboBox for the filter type. The main window and the parameter dialog name their fields alike.

#include "params/ParameterCheck.h"

#include <QString>

#include <array>

class QComboBox;
class QLineEdit;
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
inline constexpr std::size_t ParameterFieldCount = 9;

class ParameterFields {
public:
    // Finds the fields among the form's children; throws std::logic_error naming the first
    // field the form lacks.
    explicit ParameterFields(const QWidget &form);

    // The nine texts as the fields hold them, and the texts shown in them (whether or not the
    // fields are enabled).
    ParameterTexts texts() const;
    void show(const ParameterTexts &texts);

    // The field that holds `text`, and what it holds.
    QWidget &widget(QString ParameterTexts::*text) const;
    QString text(QString ParameterTexts::*text) const;

private:
    struct Field {
        QLineEdit *edit = nullptr;
        QComboBox *combo = nullptr;
    };
    std::array<Field, ParameterFieldCount> fields_{};
};

} // namespace quiro
