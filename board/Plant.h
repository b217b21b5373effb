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
#include "board/SignalKit.h"

#include <cstdint>
#include <vector>

namespace kesto {

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
    std::vector<float> primaryRef_, primaryErr_, secondaryRef_, secondaryErr_;
    DelayLine source_, control_;
    NoiseSource noise_;
    float micNoise_;
    float sourceGain_ = 1.0f;
    WhiteNoise detNoise_, errNoise_;
};

} // namespace kesto
