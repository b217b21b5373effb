#pragma once
// The scene's noise source: its tones plus broadband noise (white, or low-passed at the scene's
// corner with its rms kept), one sample per call, in full-scale units.

#include "board/Biquad.h"
#include "board/Scene.h"
#include "dspkit/SignalKit.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace kesto {

class NoiseSource {
public:
    NoiseSource(const Scene &scene, double rate, std::uint64_t seed)
        : broadband_(scene.broadband), noise_(seed) {
        for (const Tone &t : scene.tones) {
            const double step = 2 * std::numbers::pi * t.frequency / rate;
            turn_.push_back({std::cos(step), std::sin(step)});
            amp_.push_back(t.amplitude);
            phasor_.push_back({1.0, 0.0});
        }
        if (scene.broadbandCorner > 0 && scene.broadbandCorner < 0.45 * rate) {
            colour_ = Biquad::secondOrder(false, scene.broadbandCorner, 0.7071, rate);
            const double g = 1.0 / std::sqrt(colour_.noisePowerGain());
            colour_.b0 *= g, colour_.b1 *= g, colour_.b2 *= g;
        }
    }

    // Each tone is a phasor turned by its step every sample (cheaper than a sine), brought back
    // to unit length now and then so that rounding cannot change its amplitude.
    double operator()() {
        double s = colour_(broadband_ * noise_());
        for (std::size_t k = 0; k < turn_.size(); ++k) {
            s += amp_[k] * phasor_[k].imag();
            phasor_[k] *= turn_[k];
        }
        if (++count_ % 4096 == 0)
            for (auto &p : phasor_)
                p /= std::abs(p);
        return s;
    }

private:
    double broadband_;
    WhiteNoise noise_;
    Biquad colour_;
    std::vector<std::complex<double>> turn_, phasor_;
    std::vector<double> amp_;
    std::uint64_t count_ = 0;
};

} // namespace kesto
