#pragma once
// The operating parameters as the console holds them: the nine texts, kept as typed and
// converted only when they are sent. The window shows them; the parameter dialog edits a copy
// and, on "OK", sets it here.

#include "params/ParameterCheck.h"

#include <QObject>

namespace quiro {

class Parameters : public QObject {
    Q_OBJECT
public:
    const ParameterTexts &texts() const { return texts_; }
    void setTexts(const ParameterTexts &texts);

signals:
    void changed(const quiro::ParameterTexts &texts);

private:
    ParameterTexts texts_;
};

} // namespace quiro
