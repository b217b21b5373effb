#pragma once
// The scene's noise source: its tones plus broadband noise (white, or low-passed at the scene's
// corner with its rms kept), one sample per call, in full-scale units.

#include "board/Biquad.h"
#include "board/Scene.h"
#include "board/SignalKit.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace kesto {

class NoiseSource {
public:
    NoiseSource(const Scene &scene, double rate, std::uint64_t seed)
        : broadband_(scene.broadband), noise_(seed) {
        for (const Tone &t : scene.tones) {
            step_.push_back(2 * std::numbers::pi * t.frequency / rate);
            amp_.push_back(t.amplitude);
            phase_.push_back(0.0);
        }
        if (scene.broadbandCorner > 0 && scene.broadbandCorner < 0.45 * rate) {
            colour_ = Biquad::secondOrder(false, scene.broadbandCorner, 0.7071, rate);
            const double g = 1.0 / std::sqrt(colour_.noisePowerGain());
            colour_.b0 *= g, colour_.b1 *= g, colour_.b2 *= g;
        }
    }

    double operator()() {
        double s = colour_(broadband_ * noise_());
        for (std::size_t k = 0; k < step_.size(); ++k) {
            s += amp_[k] * std::sin(phase_[k]);
            phase_[k] = std::fmod(phase_[k] + step_[k], 2 * std::numbers::pi);
        }
        return s;
    }

private:
    double broadband_;
    WhiteNoise noise_;
    Biquad colour_;
    std::vector<double> step_, amp_, phase_;
};

} // namespace kesto
