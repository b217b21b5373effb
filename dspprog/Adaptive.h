#pragma once
// The DSP program's filters as small value types: an FIR filter with fixed coefficients and an
// adaptive FIR filter trained by LMS (w += mu e x). Each works on a kesto::DelayLine whose
// recent()[k] is the input k samples ago. Neither allocates after construction.

#include "dspkit/SignalKit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace quiros {

// An FIR filter whose length can change up to a fixed capacity.
class Fir {
public:
    explicit Fir(std::size_t capacity) : w_(capacity, 0.0f) {}

    std::size_t taps() const { return taps_; }
    std::size_t capacity() const { return w_.size(); }
    // Changes the length; coefficients beyond it are zeroed so that growing again starts clean.
    void setTaps(std::size_t n) {
        taps_ = std::min(n, w_.size());
        std::fill(w_.begin() + static_cast<std::ptrdiff_t>(taps_), w_.end(), 0.0f);
    }
    void clear() { std::fill(w_.begin(), w_.end(), 0.0f); }
    float coefficient(std::size_t i) const { return i < w_.size() ? w_[i] : 0.0f; }
    void setCoefficient(std::size_t i, float v) {
        if (i < taps_)
            w_[i] = std::isfinite(v) ? v : 0.0f;
    }

    // Resets the filter to zero if any coefficient has gone non-finite.
    void resetIfNonFinite() {
        for (float v : w_)
            if (!std::isfinite(v))
                return clear();
    }

    // The filter's output for the inputs in `x` (newest first). A non-finite result means a
    // coefficient has gone non-finite: the filter is reset to zero and the output is 0.
    float operator()(const kesto::DelayLine &x) {
        const float y = leading(x, taps_);
        if (std::isfinite(y))
            return y;
        clear();
        return 0.0f;
    }

    // The output of the first `n` coefficients alone.
    float leading(const kesto::DelayLine &x, std::size_t n) const {
        return kesto::dot(w_.data(), x.recent(), std::min({n, taps_, x.capacity()}));
    }

protected:
    std::vector<float> w_;
    std::size_t taps_ = 0;
};

// An FIR filter adapted by least mean squares: after each sample, w += step * error * x, or with
// leakage w = keep * w + step * error * x.
class LmsFilter : public Fir {
public:
    using Fir::Fir;
    void adapt(const kesto::DelayLine &x, float stepTimesError) {
        if (std::isfinite(stepTimesError))
            kesto::addScaled(w_.data(), x.recent(), stepTimesError, std::min(taps_, x.capacity()));
    }
    void adapt(const kesto::DelayLine &x, float stepTimesError, float keep) {
        if (std::isfinite(stepTimesError))
            kesto::scaleAddScaled(w_.data(), keep, x.recent(), stepTimesError,
                                  std::min(taps_, x.capacity()));
    }
    void scale(float k) {
        for (float &v : w_)
            v *= k;
    }
    // The sum of the squared coefficients (non-finite when one is).
    float energy() const { return kesto::dot(w_.data(), w_.data(), taps_); }
};

// The energy of the newest `length` samples of a delay line, kept up to date one sample at a
// time (in double, so that the running sum does not drift). The line must hold length + 1.
class WindowEnergy {
public:
    void setLength(std::size_t n) { length_ = std::max<std::size_t>(n, 1); }
    std::size_t length() const { return length_; }
    // Call after each push onto `x`.
    double operator()(const kesto::DelayLine &x) {
        const double in = x.recent()[0], out = x.recent()[length_];
        e_ = std::max(0.0, e_ + in * in - out * out);
        if (!std::isfinite(e_))
            e_ = 0;
        return e_;
    }
    void clear() { e_ = 0; }
    // Sums the window afresh (after its length changed).
    void recompute(const kesto::DelayLine &x) {
        e_ = 0;
        for (std::size_t i = 0; i < length_ && i < x.capacity(); ++i)
            e_ += static_cast<double>(x.recent()[i]) * x.recent()[i];
    }

private:
    std::size_t length_ = 1;
    double e_ = 0;
};

// A second-order Butterworth high-pass (the bilinear transform of s^2 / (s^2 + sqrt(2) s + 1)),
// direct form I; a corner of 0 (cycles per sample) passes everything unchanged.
class HighPass {
public:
    void design(double corner) {
        b0_ = 1, b1_ = b2_ = a1_ = a2_ = 0;
        if (corner > 0 && corner < 0.5) {
            const double k = std::tan(3.14159265358979323846 * corner);
            const double norm = 1 / (1 + std::sqrt(2.0) * k + k * k);
            b0_ = b2_ = static_cast<float>(norm), b1_ = static_cast<float>(-2 * norm);
            a1_ = static_cast<float>(2 * (k * k - 1) * norm);
            a2_ = static_cast<float>((1 - std::sqrt(2.0) * k + k * k) * norm);
        }
        reset();
    }
    void reset() { x1_ = x2_ = y1_ = y2_ = 0; }
    float operator()(float x) {
        float y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        if (!std::isfinite(y))
            y = 0, x = 0;
        x2_ = x1_, x1_ = x, y2_ = y1_, y1_ = y;
        return y;
    }

private:
    float b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    float x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// Running mean square with a time constant of `length` samples (the normalised update's power).
class PowerMeter {
public:
    void setLength(std::size_t n) { k_ = 1.0f / static_cast<float>(std::max<std::size_t>(n, 1)); }
    float operator()(float x) {
        p_ += k_ * (x * x - p_);
        if (!std::isfinite(p_))
            p_ = 0.0f;
        return p_;
    }
    void clear() { p_ = 0.0f; }
    void set(float p) { p_ = std::isfinite(p) ? p : 0.0f; }
    float value() const { return p_; }

private:
    float k_ = 1.0f / 256.0f;
    float p_ = 0.0f;
};

} // namespace quiros
