#include "board/Plant.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kesto {

std::vector<float> Plant::toFloat(const std::vector<double> &h) {
    return {h.begin(), h.end()};
}

Plant::Plant(const Scene &scene, double rate, std::uint64_t seed)
    : rate_(rate), primaryRef_(toFloat(scene.primaryRef)), primaryErr_(toFloat(scene.primaryErr)),
      secondaryRef_(toFloat(scene.secondaryRef)), secondaryErr_(toFloat(scene.secondaryErr)),
      source_(std::max({primaryRef_.size(), primaryErr_.size(), std::size_t{1}})),
      control_(std::max({secondaryRef_.size(), secondaryErr_.size(), std::size_t{1}})),
      broadband_(static_cast<float>(scene.broadband)), micNoise_(static_cast<float>(scene.micNoise)),
      sourceNoise_(seed * 3 + 1), detNoise_(seed * 5 + 2), errNoise_(seed * 7 + 3) {
    for (const Tone &t : scene.tones) {
        toneStep_.push_back(2 * std::numbers::pi * t.frequency / rate);
        toneAmp_.push_back(t.amplitude);
        tonePhase_.push_back(0.0);
    }
    if (scene.broadbandCorner > 0 && scene.broadbandCorner < 0.45 * rate) {
        colour_ = Biquad::secondOrder(false, scene.broadbandCorner, 0.7071, rate);
        const double g = 1.0 / std::sqrt(colour_.noisePowerGain());
        colour_.b0 *= g, colour_.b1 *= g, colour_.b2 *= g;
    }
}

Plant::Inputs Plant::sense() {
    double s = colour_(broadband_ * sourceNoise_());
    for (std::size_t k = 0; k < toneStep_.size(); ++k) {
        s += toneAmp_[k] * std::sin(tonePhase_[k]);
        tonePhase_[k] = std::fmod(tonePhase_[k] + toneStep_[k], 2 * std::numbers::pi);
    }
    source_.push(static_cast<float>(s));
    const float *src = source_.recent();
    const float *ctl = control_.recent(); // newest entry: last sample's output
    const float det = dot(primaryRef_.data(), src, primaryRef_.size()) +
                      dot(secondaryRef_.data(), ctl, secondaryRef_.size()) +
                      micNoise_ * detNoise_();
    const float err = dot(primaryErr_.data(), src, primaryErr_.size()) +
                      dot(secondaryErr_.data(), ctl, secondaryErr_.size()) +
                      micNoise_ * errNoise_();
    return {toCounts(2048.0f * det), toCounts(2048.0f * err)};
}

void Plant::drive(std::int32_t counts) {
    control_.push(static_cast<float>(std::clamp(counts, -2048, 2047)) / 2048.0f);
}

} // namespace kesto
