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
      noise_(scene, rate, seed * 3 + 1), micNoise_(static_cast<float>(scene.micNoise)),
      detNoise_(seed * 5 + 2), errNoise_(seed * 7 + 3) {}

Plant::Inputs Plant::sense() {
    source_.push(sourceGain_ * static_cast<float>(noise_()));
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
