#include "params/Parameters.h"

namespace quiro {

void Parameters::setTexts(const ParameterTexts &texts) {
    texts_ = texts;
    emit changed(texts_);
}

} // namespace quiro
