#pragma once
// The scene's noise source, one sample per call, in full-scale units: its tones, broadband noise
// (white, or low-passed at the scene's corner with its rms kept) and recorded noise (looped).
// It starts as the scene's base and moves, when told, to another state: tones glide in frequency
// with a continuous phase and linearly in amplitude, the broadband rms and the recording's gain
// linearly, and another recording crossfades in.

#include "board/Biquad.h"
#include "board/Scene.h"
#include "dspkit/SignalKit.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace kesto {

// A recording is looped over its first samples, the `fade` samples after them crossfaded
// (linearly) into its start: playing the result round and round never steps. The loop ends
// between `2 fade` and `fade` samples before the recording does, where what follows it is most
// like the start. A recording shorter than 3 `fade` is played round as it is.
inline constexpr double LoopFadeSeconds = 0.05;
std::vector<float> seamlessLoop(const std::vector<float> &x, std::size_t fade);

class NoiseSource {
public:
    // Where the source moves to. Tones go slot by slot (the k-th to the k-th); a slot beyond the
    // list fades to 0 at its frequency. `recording` indexes recordings() (-1: none).
    struct State {
        std::vector<Tone> tones;
        double broadband = 0;
        int recording = -1;
        double gain = 1;
    };

    // The scene's base state; room for every tone and recording of its timeline. The scene must
    // be at `rate` (see sceneAt).
    NoiseSource(const Scene &scene, double rate, std::uint64_t seed);

    // The scene's distinct recordings, the base's first: what State::recording indexes.
    const std::vector<const Recording *> &recordings() const { return sources_; }
    std::size_t toneSlots() const { return amp_.size(); }

    // Moves to `to` over `samples` samples (0: at once), `done` of them already gone. A state
    // with more tones than toneSlots() is cut to them. Allocates nothing.
    void moveTo(const State &to, std::uint64_t samples, std::uint64_t done = 0);

    // Each tone is a phasor turned by its step every sample (cheaper than a sine), brought back
    // to unit length now and then so that rounding cannot change its amplitude.
    double operator()() {
        double s = colour_(broadband_ * noise_());
        for (std::size_t k = 0; k < turn_.size(); ++k) {
            s += amp_[k] * phasor_[k].imag();
            phasor_[k] *= turn_[k];
        }
        if (current_.loop)
            s += current_();
        if (left_ > 0)
            s += glide();
        if (++count_ % 4096 == 0)
            renormalise();
        return s;
    }

private:
    // One recording's loop, played from `position` at `gain`.
    struct Player {
        const std::vector<float> *loop = nullptr;
        std::size_t position = 0;
        double gain = 0, step = 0;
        double operator()() {
            const double v = gain * (*loop)[position];
            if (++position == loop->size())
                position = 0;
            return v;
        }
    };
    double glide(); // a sample of the move: the steps taken, the leaving recording's output
    void arrive();
    void renormalise();
    std::complex<double> turnAt(double frequency) const;

    double rate_;
    double broadband_, broadbandStep_ = 0;
    WhiteNoise noise_;
    Biquad colour_;
    std::vector<std::complex<double>> turn_, phasor_, turnStep_, turnTarget_;
    std::vector<double> amp_, ampStep_, ampTarget_, frequency_;
    std::vector<const Recording *> sources_;
    std::vector<std::vector<float>> loops_;
    Player current_, leaving_; // the recording playing, and one fading out
    State target_;             // sized at construction, so that moving allocates nothing
    std::uint64_t left_ = 0;   // samples of the move still to go
    std::uint64_t count_ = 0;
};

} // namespace kesto
