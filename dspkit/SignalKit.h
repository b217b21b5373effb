#pragma once
// Small building blocks shared by the simulated board and the DSP program: a delay line whose
// recent samples are always contiguous, the dot product and update of an FIR filter, white noise.

#include "contract/BoardContract.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kesto {

// Delay line of `capacity` samples stored twice, so that recent()[0] is the newest sample and
// recent()[k] the one k samples older, as one contiguous array a filter can run over.
class DelayLine {
public:
    explicit DelayLine(std::size_t capacity = 1) : cap_(capacity ? capacity : 1), buf_(2 * cap_) {}
    void push(float x) {
        pos_ = pos_ == 0 ? cap_ - 1 : pos_ - 1;
        buf_[pos_] = x;
        buf_[pos_ + cap_] = x;
    }
    const float *recent() const { return buf_.data() + pos_; }
    std::size_t capacity() const { return cap_; }
    void clear() { std::fill(buf_.begin(), buf_.end(), 0.0f); }

private:
    std::size_t cap_;
    std::vector<float> buf_;
    std::size_t pos_ = 0;
};

inline float dot(const float *__restrict a, const float *__restrict b, std::size_t n) {
    float s = 0.0f;
    for (std::size_t i = 0; i < n; ++i)
        s += a[i] * b[i];
    return s;
}

// w += k x, the LMS update.
inline void addScaled(float *__restrict w, const float *__restrict x, float k, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        w[i] += k * x[i];
}

// w = keep w + k x, the leaky LMS update.
inline void scaleAddScaled(float *__restrict w, float keep, const float *__restrict x, float k,
                           std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        w[i] = keep * w[i] + k * x[i];
}

// White noise, uniform on [-sqrt(3), sqrt(3)] (unit rms), from a 64-bit xorshift* generator.
class WhiteNoise {
public:
    explicit WhiteNoise(std::uint64_t seed = 1) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    float operator()() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        const std::uint64_t r = state_ * 0x2545F4914F6CDD1Dull;
        const float u = static_cast<float>(r >> 40) * (1.0f / 16777216.0f); // [0, 1)
        return (2.0f * u - 1.0f) * 1.7320508f;
    }

private:
    std::uint64_t state_;
};

// Round to counts and clip to the 12-bit converter range.
inline std::int32_t toCounts(float v) {
    constexpr auto Min = static_cast<float>(quiro::ConverterMin);
    constexpr auto Max = static_cast<float>(quiro::ConverterMax);
    if (!(v > Min)) // also catches NaN
        return v != v ? 0 : quiro::ConverterMin;
    if (v >= Max)
        return quiro::ConverterMax;
    return static_cast<std::int32_t>(v >= 0 ? v + 0.5f : v - 0.5f);
}

} // namespace kesto
