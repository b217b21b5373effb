#pragma once
// The text of a parameter field found by its object name: a QLineEdit's text, or the edit text of
// an editable QComboBox. The main window and the parameter dialog name their fields alike.

#include <QString>

class QWidget;

namespace quiro {

// The field's text; empty when the form has no such field.
QString fieldText(const QWidget &form, const QString &name);
// Sets the field's text, whether or not the field is enabled.
void setFieldText(QWidget &form, const QString &name, const QString &text);

} // namespace quiro
