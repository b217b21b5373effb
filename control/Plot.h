#pragma once
// The six plots of the console, as the activities name them: the coefficients of C1, C2 and W,
// and the primary input, error input and control output of the latest capture; and what a plot
// is handed to draw.

#include <cstddef>
#include <iterator>
#include <vector>

namespace quiro {

enum class Plot { C1, C2, W, Prim, Error, Ctrl };

constexpr std::size_t plotIndex(Plot plot) {
    return static_cast<std::size_t>(plot);
}

inline constexpr std::size_t PlotCount = plotIndex(Plot::Ctrl) + 1;

// Whether a table of rows with a `plot` member holds every plot once, in order, so that it can
// be indexed by Plot.
template <class Table> constexpr bool indexedByPlot(const Table &table) {
    for (std::size_t i = 0; i < std::size(table); ++i)
        if (plotIndex(table[i].plot) != i)
            return false;
    return std::size(table) == PlotCount;
}

// What a plot draws: the values read from the transfer buffer, point i at x = i / span.
struct Trace {
    double span = 0.0;
    std::vector<float> values;
};

} // namespace quiro
