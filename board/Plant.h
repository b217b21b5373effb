#pragma once
// The acoustic plant and the converters, one sample at a time:
//
//   detection = s * primary_ref + y * secondary_ref + noise
//   error     = s * primary_err + y * secondary_err + noise
//
// with s the noise source and y the control output in full-scale units. The microphones reach
// the DSP program through 12-bit converters; the control output written for sample n reaches the
// loudspeaker at sample n + 1 (one sample of converter latency).
//
// The plant follows the scene's timeline by itself as samples run, counting from its first
// sample: the source moves (see NoiseSource), the microphones' noise glides, and a response that
// changes is crossfaded, the outputs of the old and the new one mixed over the change's glide.

#include "board/NoiseSource.h"
#include "board/Scene.h"
#include "board/Timeline.h"
#include "dspkit/SignalKit.h"

#include <array>
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
    // Makes a filter that has not been called for a while (or never) give from its next call on
    // what it would give had it been called at every sample. The line must hold size() + 2 Block
    // samples. Allocates nothing.
    void prime(const DelayLine &x);
    // The delay line a filter of `taps` taps needs.
    static std::size_t lineFor(std::size_t taps) { return taps + 2 * Block + 1; }

private:
    struct Fft;
    void runTail(const DelayLine &x);

    std::vector<float> h_;
    std::unique_ptr<Fft> fft_; // null: a plain dot product
    std::size_t phase_ = 0;    // samples since the tail's last block
};

// One path of the plant: the responses it may take, the one in use, and while a change moves,
// the one it leaves, their outputs crossfaded.
class PlantPath {
public:
    PlantPath(const std::vector<const std::vector<double> *> &responses);
    std::size_t capacity() const; // of the delay line the responses need
    float operator()(const DelayLine &x) {
        if (!leaving_)
            return (*now_)(x);
        const float out = mix(x);
        if (--left_ == 0)
            leaving_ = nullptr;
        return out;
    }
    // Takes response `index` over `samples` samples, `done` of them already gone: primes it from
    // `x`. Allocates nothing.
    void take(std::size_t index, std::uint64_t samples, std::uint64_t done, const DelayLine &x);

private:
    float mix(const DelayLine &x);

    std::vector<std::unique_ptr<PathFilter>> filters_;
    PathFilter *now_, *leaving_ = nullptr;
    std::uint64_t left_ = 0, length_ = 0; // of the crossfade
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

    // Simulated time: seconds since the plant's first sample, whatever the timeline's repeat.
    double seconds() const { return static_cast<double>(elapsed_) / rate_; }
    // Puts the timeline at `seconds` from its start, in the state it has there, at once (a run
    // that starts again, a plant that replaces one at another rate). Allocates nothing.
    void seek(double seconds);

private:
    void beginChange();
    void moveTo(std::size_t stretch, std::uint64_t samples, std::uint64_t done);

    static constexpr std::uint64_t Never = ~std::uint64_t{0};
    double rate_;
    NoiseSource noise_;
    Timeline timeline_;
    std::array<PlantPath, Timeline::Paths>
        paths_; // primary_ref, primary_err, secondary_ref, secondary_err
    DelayLine source_, control_;
    float micNoise_, micStep_ = 0, micTarget_;
    std::uint64_t micLeft_ = 0;
    float sourceGain_ = 1.0f;
    WhiteNoise detNoise_, errNoise_;
    std::uint64_t elapsed_ = 0; // samples since the first
    std::uint64_t time_ = 0;    // samples into the timeline's period
    std::size_t next_ = 0;      // the next of the timeline's changes
    std::uint64_t nextStart_ = Never;
};

} // namespace kesto
