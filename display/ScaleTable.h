#pragma once
// The twenty full scales a plot can show, in the 1-2-5 sequence from 0.001 to 2000, and the gain
// that brings each to the edge of the plot: the reciprocal of the full scale.

#include <array>
#include <cstdint>
#include <string_view>

namespace quiro {

struct ScaleEntry {
    std::string_view label; // the full scale as the operator reads it
    double gain;            // 1 / full scale
};

inline constexpr std::array<ScaleEntry, 20> ScaleSteps{{
    {"0.001", 1000}, {"0.002", 500}, {"0.005", 200}, {"0.01", 100},   {"0.02", 50},
    {"0.05", 20},    {"0.1", 10},    {"0.2", 5},     {"0.5", 2},      {"1", 1},
    {"2", 0.5},      {"5", 0.2},     {"10", 0.1},    {"20", 0.05},    {"50", 0.02},
    {"100", 0.01},   {"200", 0.005}, {"500", 0.002}, {"1000", 0.001}, {"2000", 0.0005},
}};

inline constexpr std::int16_t NarrowestStep = 0; // full scale 0.001: the largest trace
inline constexpr std::int16_t WidestStep = 19;   // full scale 2000: the smallest trace
inline constexpr std::int16_t StartUpStep = 7;   // full scale 0.2, gain 5

} // namespace quiro
