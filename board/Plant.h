#pragma once
// The acoustic plant and the converters, one sample at a time:
//
//   detection = s * primary_ref + y * secondary_ref + noise
//   error     = s * primary_err + y * secondary_err + noise
//
// with s the noise source and y the control output in full-scale units. The microphones reach
// the DSP program through 12-bit converters; the control output written for sample n reaches the
// loudspeaker at sample n + 1 (one sample of converter latency).

#include "board/NoiseSource.h"
#include "board/Scene.h"
#include "dspkit/SignalKit.h"

#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

namespace kesto {

// One impulse response applied to a delay line, sample by sample. Short responses are a plain
// dot product. A long one (PartitionedFrom taps or more) is split: its first Block taps stay a
// dot product over the newest samples, the rest is convolved by uniformly partitioned
// overlap-save FFT convolution (FFTW), once per Block samples, from inputs already in the line:
// the tail's output for the next Block samples depends only on samples at least Block old.
class PathFilter {
public:
    static constexpr std::size_t Block = 64;
    static constexpr std::size_t PartitionedFrom = 512;

    explicit PathFilter(std::vector<float> h);
    ~PathFilter();
    PathFilter(const PathFilter &) = delete;
    PathFilter &operator=(const PathFilter &) = delete;

    std::size_t size() const { return h_.size(); }
    // The output for the line's newest sample; call once per sample, after each push.
    float operator()(const DelayLine &x);

private:
    struct Fft;
    void runTail(const DelayLine &x);

    std::vector<float> h_;
    std::unique_ptr<Fft> fft_; // null: a plain dot product
    std::size_t phase_ = 0;    // samples since the tail's last block
};

class Plant {
public:
    // `scene` must already be at `rate` (see sceneAt).
    Plant(const Scene &scene, double rate, std::uint64_t seed);

    struct Inputs {
        std::int32_t detection, error;
    };
    // The converters' readings for the current sample.
    Inputs sense();
    // The control output (counts) written for the current sample; advances to the next sample.
    void drive(std::int32_t counts);

    double rate() const { return rate_; }
    // Scales the noise source from the next sample on (a fan speeding up, in tests).
    void setSourceGain(float g) { sourceGain_ = g; }

private:
    static std::vector<float> toFloat(const std::vector<double> &h);

    double rate_;
    PathFilter primaryRef_, primaryErr_, secondaryRef_, secondaryErr_;
    DelayLine source_, control_;
    NoiseSource noise_;
    float micNoise_;
    float sourceGain_ = 1.0f;
    WhiteNoise detNoise_, errNoise_;
};

} // namespace kesto
