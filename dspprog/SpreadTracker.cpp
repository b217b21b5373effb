#include "dspprog/SpreadTracker.h"

#include "dspkit/SignalKit.h"

#include <algorithm>
#include <cmath>

namespace quiros {

void SpreadTracker::sample(const float *x, std::size_t taps) {
    const float z = kesto::dot(vector_.data(), x, taps);
    eigenSum_ += static_cast<double>(z) * z;
    ++count_;
    kesto::addScaled(next_.data(), x, z, taps);
}

float SpreadTracker::endBlock(std::size_t taps, std::int32_t blockSamples) {
    const float norm = std::sqrt(kesto::dot(next_.data(), next_.data(), taps));
    const double power = blockPower_ / blockSamples;
    const double lambda = count_ > 0 ? eigenSum_ / count_ : 0.0;
    if (norm > 0 && std::isfinite(norm)) {
        for (std::size_t i = 0; i < taps; ++i)
            vector_[i] = next_[i] / norm;
        ++blocks_;
    }
    const float most = static_cast<float>(taps) / 2.0f;
    spread_ = blocks_ < SettlingBlocks || !(power > 0)
                  ? most
                  : std::clamp(static_cast<float>(lambda / power), 1.0f, most);
    std::fill(next_.begin(), next_.end(), 0.0f);
    eigenSum_ = blockPower_ = 0;
    count_ = 0;
    return spread_;
}

void SpreadTracker::reset(std::size_t taps) {
    std::fill(vector_.begin(), vector_.end(), 0.0f);
    std::fill(next_.begin(), next_.end(), 0.0f);
    vector_[0] = 1.0f;
    eigenSum_ = blockPower_ = 0;
    count_ = blocks_ = 0;
    spread_ = static_cast<float>(taps) / 2.0f;
}

} // namespace quiros
