#include "dspprog/Whitener.h"

#include <cmath>

namespace quiros {

void Whitener::design() {
    constexpr std::size_t p = Order;
    std::array<double, p + 1> a{1.0}, prev{};
    double err = autocorrelation_[0] * (1 + Floor);
    for (std::size_t i = 1; i <= p && err > 0; ++i) {
        double acc = autocorrelation_[i];
        for (std::size_t j = 1; j < i; ++j)
            acc += a[j] * autocorrelation_[i - j];
        const double k = -acc / err;
        prev = a;
        for (std::size_t j = 1; j < i; ++j)
            a[j] = prev[j] + k * prev[i - j];
        a[i] = k;
        err *= 1 - k * k;
    }
    predictionError_ = std::isfinite(err) && err > 0 ? static_cast<float>(err) : 0.0f;
    for (std::size_t i = 0; i <= p; ++i)
        a_[i] = std::isfinite(a[i]) && err > 0 ? static_cast<float>(a[i]) : (i == 0 ? 1.0f : 0.0f);
}

} // namespace quiros
