#pragma once
// The eigenvalue spread an adaptive filter's input presents: the largest eigenvalue of its
// correlation over its mean power (1 for white noise, taps / 2 for a single tone), by power
// iteration. Every few samples the input vector is projected on the eigenvector's estimate;
// after a block the estimate becomes what the block made of it, and the largest eigenvalue is
// its Rayleigh quotient, which approaches it from below.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quiros {

class SpreadTracker {
public:
    // Until this many blocks have passed, the spread stays at its largest.
    static constexpr std::int32_t SettlingBlocks = 4;

    explicit SpreadTracker(std::size_t capacity) : vector_(capacity), next_(capacity) {}

    // Every sample: the input's newest value, for the block's power.
    void addPower(float x0) { blockPower_ += static_cast<double>(x0) * x0; }
    // Every few samples: the input vector (newest first, `taps` values).
    void sample(const float *x, std::size_t taps);
    // After `blockSamples` samples: the new estimate of the spread.
    float endBlock(std::size_t taps, std::int32_t blockSamples);
    // Starts again from the first tap, the spread at its largest.
    void reset(std::size_t taps);
    float spread() const { return spread_; }

private:
    std::vector<float> vector_, next_;
    double eigenSum_ = 0, blockPower_ = 0;
    std::int32_t count_ = 0, blocks_ = 0;
    float spread_ = 1.0f;
};

} // namespace quiros
