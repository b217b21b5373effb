#pragma once
// The least-squares fit of an FIR model that predicts a signal from an input: the input's
// autocorrelation and its correlation with the signal are summed over everything seen (in float
// over short blocks, then in double), and the normal equations, with the autocorrelation as a
// Toeplitz matrix, are solved by Levinson's recursion, ridge-regularised towards the model as it
// stands so that where the input was too weak to tell, the coefficients stay what they were.

#include "dspprog/Adaptive.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quiros {

class LeastSquaresFit {
public:
    // Samples summed in float before they go into the double sums.
    static constexpr std::int32_t Block = 64;
    // The ridge, relative to the input's power.
    static constexpr double Ridge = 1e-3;

    explicit LeastSquaresFit(std::size_t capacity);

    // One sample: the input (newest first, `taps` values; x[0] is the input that goes with
    // this sample) and the signal to predict.
    void add(const float *x, float target, std::size_t taps);
    // Moves the float sums over `taps` into the double ones (before the fit's length changes).
    void flush(std::size_t taps);
    // Forgets everything (after a flush).
    void restart();
    // Fits `taps` coefficients and puts the first `keep` of them into `model`, which is also
    // the ridge's target. False, with the model untouched, when nothing was heard or the
    // equations are not positive definite.
    bool solve(std::size_t taps, Fir &model, std::size_t keep);

private:
    std::vector<double> autocorrelation_, correlation_, x_, y_, z_;
    std::vector<float> blockAutocorrelation_, blockCorrelation_;
    std::int32_t blockCount_ = 0;
};

} // namespace quiros
