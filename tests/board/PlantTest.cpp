// The plant's long responses: the partitioned FFT convolution gives what the plain sum gives.

#include "board/Plant.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(PathFilter, EveryLengthMatchesTheDirectSum) {
    const std::size_t lengths[] = {1, 100, 511, 512, 513, 700, 2400};
    for (std::size_t n : lengths) {
        SCOPED_TRACE(n);
        kesto::WhiteNoise noise(n);
        std::vector<float> h(n);
        for (std::size_t k = 0; k < n; ++k)
            h[k] = noise() * std::exp(-static_cast<float>(k) / 600.0f);
        kesto::PathFilter filter(h);
        kesto::DelayLine line(std::max(n, 2 * kesto::PathFilter::Block + 1));
        double worst = 0, scale = 0;
        for (int t = 0; t < 5000; ++t) {
            line.push(t == 1234 ? 50.0f : noise()); // an impulse among noise
            const float direct = kesto::dot(h.data(), line.recent(), n);
            worst = std::max(worst, static_cast<double>(std::abs(filter(line) - direct)));
            scale = std::max(scale, static_cast<double>(std::abs(direct)));
        }
        EXPECT_LT(worst, 1e-5 * scale);
    }
}

} // namespace
