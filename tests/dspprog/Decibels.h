#pragma once
// A power ratio in decibels, as the DSP program's tests judge their runs.

#include <cmath>

namespace quiros::test {

inline double db(double ratio) { return 10 * std::log10(ratio); }

} // namespace quiros::test
