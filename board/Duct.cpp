// The built-in scene: a straight duct with a fan at one end, modelled at any sampling rate.
//
// Plane waves travel along the duct at the speed of sound, losing a little per metre and
// reflecting partially at both ends (the fan housing at x = 0, the open outlet at x = L, which
// inverts the wave). Every arrival at a microphone is placed as a windowed-sinc fractional delay,
// then the responses of the loudspeaker (a closed-box driver: second-order high-pass) and of the
// microphones (DC-blocking high-pass and a capsule roll-off) are applied. The fan's tones and its
// broadband noise enter at x = 0; the loudspeaker sits in the duct wall and radiates both ways.
//
//   x = 0     0.25        1.0            2.0      2.4 m
//   fan ----- detection -- loudspeaker --- error --- outlet
//
// Noise reaches the error microphone 1.75 m after the detection microphone, the loudspeaker's
// sound only 1.0 m after leaving it: about 2 ms of acoustic head start, so that broadband
// cancellation is causal with room for the converters' latency.

#include "board/Biquad.h"
#include "board/Scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kesto {

namespace {

constexpr double SpeedOfSound = 343.0;   // m/s
constexpr double DuctLength = 2.4;       // m
constexpr double FanEndReflection = 0.2;
constexpr double OutletReflection = -0.4;
constexpr double LossPerMetre = 0.5;     // amplitude, nepers per metre (a lined duct)
constexpr double DetectionMic = 0.25, Loudspeaker = 1.0, ErrorMic = 2.0, Fan = 0.0;
constexpr double LoudspeakerGain = 0.35; // full-scale output to full-scale pressure, each way
constexpr double MaxSeconds = 0.06;

// Adds a band-limited impulse of height `a` at fractional delay `d` samples.
void placeArrival(std::vector<double> &h, double d, double a) {
    constexpr int Half = 12;
    const int centre = static_cast<int>(std::floor(d));
    for (int n = centre - Half + 1; n <= centre + Half; ++n) {
        if (n < 0 || n >= static_cast<int>(h.size()))
            continue;
        const double t = n - d;
        const double sinc = t == 0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        const double window = 0.5 + 0.5 * std::cos(std::numbers::pi * t / Half);
        h[static_cast<std::size_t>(n)] += a * sinc * window;
    }
}

// Follows a wave leaving `from` in direction `dir` (+1 towards the outlet) and records each time
// it passes `to`, until it has faded or outrun the response.
void trace(std::vector<double> &h, double rate, double from, int dir, double to, double gain) {
    const double maxPath = MaxSeconds * SpeedOfSound;
    double x = from, path = 0, amp = gain;
    while (path < maxPath && std::abs(amp) > 1e-5) {
        const double wall = dir > 0 ? DuctLength : 0.0;
        const bool passes = dir > 0 ? (to >= x && to <= wall) : (to <= x && to >= wall);
        if (passes && !(path > 0 && to == x)) {
            const double p = path + std::abs(to - x);
            placeArrival(h, p / SpeedOfSound * rate, amp * std::exp(-LossPerMetre * p));
        }
        path += std::abs(wall - x);
        amp *= dir > 0 ? OutletReflection : FanEndReflection;
        x = wall;
        dir = -dir;
    }
}

// Cuts the response where the rest holds less than 1e-4 of its energy (-40 dB).
void trimTail(std::vector<double> &h) {
    double total = 0;
    for (double v : h)
        total += v * v;
    double tail = 0;
    std::size_t n = h.size();
    while (n > 1 && tail + h[n - 1] * h[n - 1] < 1e-4 * total) {
        --n;
        tail += h[n] * h[n];
    }
    h.resize(n);
}

} // namespace

Scene builtInScene(double rate) {
    Scene s;
    s.builtIn = true;
    s.origin = "built-in";
    s.sampleRate = rate;
    // A fan: blade-pass tone and harmonics over broadband flow noise that falls off above 500 Hz.
    s.tones = {{110.0, 0.030}, {220.0, 0.020}, {330.0, 0.012}, {440.0, 0.006}};
    s.broadband = 0.015;
    s.broadbandCorner = 500.0;
    s.micNoise = 0.0004;

    const auto length = static_cast<std::size_t>(MaxSeconds * rate) + 32;
    const Biquad speaker = Biquad::secondOrder(true, 120.0, 0.8, rate);
    const Biquad micDc = Biquad::firstOrderHighPass(30.0, rate);
    const double capsule = std::min(8000.0, 0.42 * rate);
    const Biquad micTop = Biquad::secondOrder(false, capsule, 0.7071, rate);

    const struct {
        std::vector<double> *h;
        double from, to;
        bool fromSpeaker;
    } paths[] = {
        {&s.primaryRef, Fan, DetectionMic, false},
        {&s.primaryErr, Fan, ErrorMic, false},
        {&s.secondaryRef, Loudspeaker, DetectionMic, true},
        {&s.secondaryErr, Loudspeaker, ErrorMic, true},
    };
    for (const auto &p : paths) {
        std::vector<double> h(length, 0.0);
        if (p.fromSpeaker) {
            trace(h, rate, p.from, +1, p.to, LoudspeakerGain);
            trace(h, rate, p.from, -1, p.to, LoudspeakerGain);
            speaker.apply(h);
        } else {
            trace(h, rate, p.from, +1, p.to, 1.0 + FanEndReflection);
        }
        micDc.apply(h);
        micTop.apply(h);
        trimTail(h);
        *p.h = std::move(h);
    }
    return s;
}

} // namespace kesto
