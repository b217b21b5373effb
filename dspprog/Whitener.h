#pragma once
// The whitening filter: the prediction-error filter of its input, designed by Levinson-Durbin
// from a running autocorrelation whose zero lag is raised by a tenth (a floor 10 dB under the
// input's power), so that it flattens the spectrum but lifts no frequency by more than 10 dB.

#include "dspkit/SignalKit.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace quiros {

class Whitener {
public:
    static constexpr std::size_t Order = 16;
    // The autocorrelation is a running mean at first, then exponential over this many samples.
    static constexpr float Memory = 5000.0f;
    // Added to the zero lag, relative to it: the floor under the spectrum the filter flattens.
    static constexpr double Floor = 0.1;

    // Takes the input's newest sample into the autocorrelation (x[k]: k samples ago, Order + 1
    // of them).
    void observe(const float *x) {
        const float weight = 1.0f / std::min(++count_, Memory);
        for (std::size_t k = 0; k <= Order; ++k)
            autocorrelation_[k] += (x[0] * x[k] - autocorrelation_[k]) * weight;
    }
    // Designs the filter from the autocorrelation so far.
    void design();
    // The filter's output for the input x (newest first, Order + 1 samples).
    float operator()(const float *x) const { return kesto::dot(a_.data(), x, a_.size()); }
    // The power of the input's prediction error: what the output's power will be.
    float predictionError() const { return predictionError_; }
    // A unit filter and no history.
    void reset() {
        a_ = {1.0f};
        autocorrelation_ = {};
        count_ = 0;
    }

private:
    std::array<float, Order + 1> a_{1.0f};
    std::array<float, Order + 1> autocorrelation_{};
    float count_ = 0, predictionError_ = 0;
};

} // namespace quiros
