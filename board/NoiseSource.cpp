#include "board/NoiseSource.h"

#include <algorithm>
#include <limits>
#include <numbers>

namespace kesto {

namespace {

// The loop's length: of those within `fade` of the longest (which leaves `fade` samples after
// it), the one whose run-on resembles the recording's start best, so that a tone in it crossfades
// with itself nearly in phase instead of beating against a shifted copy.
std::size_t loopLength(const std::vector<float> &x, std::size_t fade) {
    std::size_t best = x.size() - fade;
    double bestLikeness = -std::numeric_limits<double>::infinity();
    for (std::size_t length = x.size() - 2 * fade; length <= x.size() - fade; ++length) {
        double product = 0, energy = 1e-30;
        for (std::size_t i = 0; i < fade; ++i) {
            product += static_cast<double>(x[length + i]) * x[i];
            energy += static_cast<double>(x[length + i]) * x[length + i];
        }
        if (const double likeness = product / std::sqrt(energy); likeness > bestLikeness)
            bestLikeness = likeness, best = length;
    }
    return best;
}

} // namespace

std::vector<float> seamlessLoop(const std::vector<float> &x, std::size_t fade) {
    if (fade == 0 || x.size() < 3 * fade)
        return x;
    // The loop's end runs on into the samples after it, which fade out while its start fades in.
    const std::size_t length = loopLength(x, fade);
    std::vector<float> loop(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(length));
    for (std::size_t i = 0; i < fade; ++i) {
        const double in = static_cast<double>(i + 1) / static_cast<double>(fade + 1);
        loop[i] = static_cast<float>(in * x[i] + (1 - in) * x[length + i]);
    }
    return loop;
}

NoiseSource::NoiseSource(const Scene &scene, double rate, std::uint64_t seed)
    : rate_(rate), broadband_(scene.broadband), noise_(seed) {
    std::size_t slots = scene.tones.size();
    for (const SceneChange &c : scene.changes)
        slots = std::max(slots, c.tones ? c.tones->size() : 0);
    for (std::size_t k = 0; k < slots; ++k) {
        const Tone t = k < scene.tones.size() ? scene.tones[k] : Tone{};
        frequency_.push_back(t.frequency);
        amp_.push_back(t.amplitude);
        turn_.push_back(turnAt(t.frequency));
        phasor_.push_back({1.0, 0.0});
    }
    turnStep_.assign(slots, {1.0, 0.0});
    turnTarget_ = turn_;
    ampStep_.assign(slots, 0.0);
    ampTarget_ = amp_;
    if (scene.broadbandCorner > 0 && scene.broadbandCorner < 0.45 * rate) {
        colour_ = Biquad::secondOrder(false, scene.broadbandCorner, 0.7071, rate);
        const double g = 1.0 / std::sqrt(colour_.noisePowerGain());
        colour_.b0 *= g, colour_.b1 *= g, colour_.b2 *= g;
    }
    auto add = [&](const Recording *r) {
        if (r && std::find(sources_.begin(), sources_.end(), r) == sources_.end())
            sources_.push_back(r);
    };
    add(scene.noise.get());
    for (const SceneChange &c : scene.changes)
        add(c.noise.get());
    const auto fade = static_cast<std::size_t>(std::lround(LoopFadeSeconds * rate));
    for (const Recording *r : sources_)
        loops_.push_back(seamlessLoop(r->samples, std::min(fade, r->samples.size() / 4)));
    target_.tones.assign(scene.tones.begin(), scene.tones.end());
    target_.tones.reserve(slots);
    target_.broadband = scene.broadband;
    target_.recording = scene.noise && !loops_.front().empty() ? 0 : -1;
    target_.gain = scene.noiseGain;
    if (target_.recording == 0)
        current_ = {&loops_.front(), 0, scene.noiseGain, 0};
}

std::complex<double> NoiseSource::turnAt(double frequency) const {
    return std::polar(1.0, 2 * std::numbers::pi * frequency / rate_);
}

void NoiseSource::moveTo(const State &to, std::uint64_t samples, std::uint64_t done) {
    const std::uint64_t n = samples > done ? samples - done : 0;
    const double gone =
        samples > 0 ? static_cast<double>(std::min(done, samples)) / static_cast<double>(samples)
                    : 1;
    auto between = [&](double from, double target) { return from + (target - from) * gone; };
    auto step = [&](double now, double target) {
        return n > 0 ? (target - now) / static_cast<double>(n) : 0;
    };
    for (std::size_t k = 0; k < amp_.size(); ++k) {
        const Tone t = k < to.tones.size() ? to.tones[k] : Tone{frequency_[k], 0.0};
        // A silent tone takes its new frequency at once; a sounding one glides there.
        const double f = between(amp_[k] == 0 ? t.frequency : frequency_[k], t.frequency);
        amp_[k] = between(amp_[k], t.amplitude);
        turn_[k] = turnAt(f);
        turnStep_[k] = turnAt(step(f, t.frequency));
        ampStep_[k] = step(amp_[k], t.amplitude);
        turnTarget_[k] = turnAt(t.frequency);
        ampTarget_[k] = t.amplitude;
        frequency_[k] = t.frequency;
    }
    broadband_ = between(broadband_, to.broadband);
    broadbandStep_ = step(broadband_, to.broadband);
    const int recording =
        to.recording >= 0 && static_cast<std::size_t>(to.recording) < loops_.size() ? to.recording
                                                                                    : -1;
    if (recording !=
        target_.recording) { // the playing recording fades out, the new one in from its start
        leaving_ = current_;
        leaving_.gain = between(leaving_.gain, 0);
        leaving_.step = step(leaving_.gain, 0);
        current_ = {recording >= 0 ? &loops_[static_cast<std::size_t>(recording)] : nullptr, 0, 0,
                    0};
    }
    current_.gain = between(current_.gain, to.gain);
    current_.step = step(current_.gain, to.gain);
    target_.tones.assign(to.tones.begin(), to.tones.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                  to.tones.size(), amp_.size())));
    target_.broadband = to.broadband;
    target_.recording = recording;
    target_.gain = to.gain;
    left_ = n;
    if (n == 0)
        arrive();
}

double NoiseSource::glide() {
    const double s = leaving_.loop ? leaving_() : 0.0;
    for (std::size_t k = 0; k < amp_.size(); ++k) {
        amp_[k] += ampStep_[k];
        turn_[k] *= turnStep_[k];
    }
    broadband_ += broadbandStep_;
    current_.gain += current_.step;
    leaving_.gain += leaving_.step;
    if (--left_ == 0)
        arrive();
    return s;
}

void NoiseSource::arrive() {
    amp_ = ampTarget_;
    turn_ = turnTarget_;
    broadband_ = target_.broadband;
    current_.gain = target_.gain;
    current_.step = 0;
    leaving_ = {};
    left_ = 0;
}

void NoiseSource::renormalise() {
    for (auto &p : phasor_)
        p /= std::abs(p);
    if (left_ > 0)
        for (auto &t : turn_)
            t /= std::abs(t);
}

} // namespace kesto
