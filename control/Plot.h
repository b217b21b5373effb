#pragma once
// The six plots of the console, as the activities name them: the coefficients of C1, C2 and W,
// and the primary input, error input and control output of the latest capture.

#include <cstddef>

namespace quiro {

enum class Plot { C1, C2, W, Prim, Error, Ctrl };

constexpr std::size_t plotIndex(Plot plot) {
    return static_cast<std::size_t>(plot);
}

} // namespace quiro
