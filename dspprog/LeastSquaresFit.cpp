#include "dspprog/LeastSquaresFit.h"

#include "dspkit/SignalKit.h"

#include <algorithm>
#include <cmath>

namespace quiros {

LeastSquaresFit::LeastSquaresFit(std::size_t capacity)
    : autocorrelation_(capacity), correlation_(capacity), x_(capacity), y_(capacity), z_(capacity),
      blockAutocorrelation_(capacity), blockCorrelation_(capacity) {}

void LeastSquaresFit::add(const float *x, float target, std::size_t taps) {
    kesto::addScaled(blockAutocorrelation_.data(), x, x[0], taps);
    kesto::addScaled(blockCorrelation_.data(), x, target, taps);
    if (++blockCount_ == Block)
        flush(taps);
}

void LeastSquaresFit::flush(std::size_t taps) {
    for (std::size_t i = 0; i < taps; ++i) {
        autocorrelation_[i] += blockAutocorrelation_[i];
        correlation_[i] += blockCorrelation_[i];
        blockAutocorrelation_[i] = blockCorrelation_[i] = 0.0f;
    }
    blockCount_ = 0;
}

void LeastSquaresFit::restart() {
    std::fill(autocorrelation_.begin(), autocorrelation_.end(), 0.0);
    std::fill(correlation_.begin(), correlation_.end(), 0.0);
}

// Levinson's recursion (Golub and Van Loan, 4.7.3): x solves the system, y the Yule-Walker one.
bool LeastSquaresFit::solve(std::size_t n, Fir &model, std::size_t keep) {
    if (n == 0 || n > x_.size() || !(autocorrelation_[0] > 0))
        return false;
    const double ridge = Ridge * autocorrelation_[0], t0 = autocorrelation_[0] + ridge;
    auto t = [&](std::size_t k) { return autocorrelation_[k] / t0; };
    auto b = [&](std::size_t k) { return (correlation_[k] + ridge * model.coefficient(k)) / t0; };
    double *x = x_.data(), *y = y_.data(), *z = z_.data();
    const double first = n > 1 ? -t(1) : 0.0;
    y[0] = first, x[0] = b(0);
    double beta = 1, alpha = first;
    for (std::size_t k = 1; k < n; ++k) {
        beta *= 1 - alpha * alpha;
        if (!(beta > 0))
            return false;
        double acc = b(k);
        for (std::size_t i = 0; i < k; ++i)
            acc -= t(i + 1) * x[k - 1 - i];
        const double mu = acc / beta;
        for (std::size_t i = 0; i < k; ++i)
            z[i] = x[i] + mu * y[k - 1 - i];
        std::copy_n(z, k, x);
        x[k] = mu;
        if (k + 1 < n) {
            double a = -t(k + 1);
            for (std::size_t i = 0; i < k; ++i)
                a -= t(i + 1) * y[k - 1 - i];
            alpha = a / beta;
            for (std::size_t i = 0; i < k; ++i)
                z[i] = y[i] + alpha * y[k - 1 - i];
            std::copy_n(z, k, y);
            y[k] = alpha;
        }
    }
    for (std::size_t k = 0; k < n; ++k)
        if (!std::isfinite(x[k]))
            return false;
    for (std::size_t k = 0; k < std::min(keep, n); ++k)
        model.setCoefficient(k, static_cast<float>(x[k]));
    return true;
}

} // namespace quiros
