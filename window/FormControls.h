#pragma once
// The controls of a form, built from its table of ControlSpec rows: each a child of the form or of
// its frame, with its object name, its place in pixels, its font and its enabled state, and kept
// by name so that the form finds each control once.

#include "window/Inventory.h"

#include <QHash>
#include <QString>

#include <span>
#include <stdexcept>
#include <string>

class QWidget;

namespace quiro {

// Where a label's caption stands in its box, top to bottom.
enum class CaptionPlacement { Top, Middle };

class FormControls {
public:
    // Builds the rows on `form`, frames before the controls inside them.
    FormControls(QWidget &form, std::span<const ControlSpec> rows, CaptionPlacement captions);

    // The control of that name, or nullptr if there is none of that kind.
    QWidget *control(const QString &name) const { return controls_.value(name); }
    template <class T> T *control(const QString &name) const {
        return qobject_cast<T *>(controls_.value(name));
    }
    // The control of that name and kind; throws std::logic_error naming it if there is none.
    template <class T> T &required(const char *name) const {
        if (T *found = control<T>(QString::fromLatin1(name)))
            return *found;
        throw std::logic_error(std::string("the form has no control named ") + name);
    }

private:
    QHash<QString, QWidget *> controls_;
};

} // namespace quiro
