#pragma once
// The parameter download without Qt: the eight numeric texts converted to values, and the values
// written as words and sent as commands 12, 17 and 16 through the command link. The console and
// the lab bench both send their parameters through here.

#include "dsp/CommandLink.h"
#include "coeffile/NumberText.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quiro {

struct ParameterValues {
    std::int32_t cTapSize = 0;
    std::int32_t wTapSize = 0;
    float cBeta = 0.0f;
    float wBeta = 0.0f;
    float cFreq = 0.0f;
    float cGain = 0.0f;
    float wGain = 0.0f;
    float dGain = 0.0f;
    bool loadsDFilter = false; // a known filter type: its file's coefficients are sent
    std::vector<float> dCoefficients;
};

// The numeric parameters, in the order their words are written.
enum class NumberField { CTapSize, WTapSize, CBeta, WBeta, CFreq, CGain, WGain, DGain };
inline constexpr std::size_t NumberFieldCount = 8;
static_assert(static_cast<std::size_t>(NumberField::DGain) + 1 == NumberFieldCount);

// Whether a table's rows name every field once, in NumberField order, so that it can be indexed
// by NumberField.
template <class Rows> constexpr bool inFieldOrder(const Rows &rows) {
    std::size_t i = 0;
    for (const auto &row : rows)
        if (static_cast<std::size_t>(row.field) != i++)
            return false;
    return i == NumberFieldCount;
}

// A tap count is converted to an integer, the other fields to single precision.
constexpr bool isTapCount(NumberField field) {
    return field == NumberField::CTapSize || field == NumberField::WTapSize;
}

struct NumberProblem {
    NumberField field;
    NumberStatus status;
};

// Converts the texts (in NumberField order) into `values`: tap counts to the nearest integer,
// halves to even, within [MinTapCount, MaxTapCount]; the rest to single precision. Returns a
// problem for each text that is not a number or out of range; those values are left as they were.
std::vector<NumberProblem> convertNumbers(const std::array<std::string_view, NumberFieldCount> &texts,
                                          ParameterValues &values);

// Writes the words and sends commands 12 and 17 and, when a filter was chosen, fills the
// transfer buffer with its coefficients and sends 16.
void sendParameters(CommandLink &link, const ParameterValues &values);

} // namespace quiro
