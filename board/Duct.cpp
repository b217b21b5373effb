// The duct model: plane waves travel along the duct at the speed of sound, losing a little per
// metre and reflecting partially at both ends (the source housing at x = 0, the outlet at
// x = length, which inverts the wave when open). Every arrival at a microphone is placed as a
// windowed-sinc fractional delay, then the responses of the loudspeaker (a closed-box driver:
// second-order high-pass, plus its own latency), of a lined duct's walls and of the microphones
// (DC-blocking high-pass and a capsule roll-off) are applied. The loudspeaker sits in the duct
// wall and radiates both ways.
//
// The built-in scene:
//
//   x = 0     0.25        1.0            2.0      2.4 m
//   fan ----- detection -- loudspeaker --- error --- outlet
//
// Noise reaches the error microphone 1.75 m after the detection microphone, the loudspeaker's
// sound only 1.0 m after leaving it: about 2 ms of acoustic head start, so that broadband
// cancellation is causal with room for the converters' latency.

#include "board/Duct.h"

#include "board/Biquad.h"
#include "board/Scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kesto {

namespace {

// Follows a wave leaving `from` in direction `dir` (+1 towards the outlet) and records each time
// it passes `to`, until it has faded or outrun the response.
void trace(std::vector<double> &h, const DuctModel &m, double rate, double from, int dir,
           double to, double gain, double extraDelay) {
    const double maxPath = m.maxSeconds * m.speedOfSound;
    double x = from, path = 0, amp = gain;
    while (path < maxPath && std::abs(amp) > 1e-5) {
        const double wall = dir > 0 ? m.length : 0.0;
        const bool passes = dir > 0 ? (to >= x && to <= wall) : (to <= x && to >= wall);
        if (passes && !(path > 0 && to == x)) {
            const double p = path + std::abs(to - x);
            placeArrival(h, (p / m.speedOfSound + extraDelay) * rate,
                         amp * std::exp(-m.lossPerMetre * p));
        }
        path += std::abs(wall - x);
        amp *= dir > 0 ? m.outletReflection : m.sourceEndReflection;
        x = wall;
        dir = -dir;
    }
}

} // namespace

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

void trimTail(std::vector<double> &h, double fraction) {
    double total = 0;
    for (double v : h)
        total += v * v;
    double tail = 0;
    std::size_t n = h.size();
    while (n > 1 && tail + h[n - 1] * h[n - 1] < fraction * total) {
        --n;
        tail += h[n] * h[n];
    }
    h.resize(n);
}

void applyMicrophone(std::vector<double> &h, double rate, double corner) {
    Biquad::firstOrderHighPass(corner, rate).apply(h);
    Biquad::secondOrder(false, std::min(8000.0, 0.42 * rate), 0.7071, rate).apply(h);
}

PathResponses ductResponses(const DuctModel &m, double rate) {
    const auto length = static_cast<std::size_t>((m.maxSeconds + m.speakerDelay) * rate) + 32;
    const Biquad speaker = Biquad::secondOrder(true, m.speakerCorner, m.speakerQ, rate);
    PathResponses r;
    const struct {
        std::vector<double> *h;
        double from, to;
        bool fromSpeaker;
    } paths[] = {
        {&r.primaryRef, m.source, m.detection, false},
        {&r.primaryErr, m.source, m.error, false},
        {&r.secondaryRef, m.loudspeaker, m.detection, true},
        {&r.secondaryErr, m.loudspeaker, m.error, true},
    };
    for (const auto &p : paths) {
        std::vector<double> h(length, 0.0);
        if (p.fromSpeaker) {
            trace(h, m, rate, p.from, +1, p.to, m.speakerGain, m.speakerDelay);
            trace(h, m, rate, p.from, -1, p.to, m.speakerGain, m.speakerDelay);
            speaker.apply(h);
        } else {
            trace(h, m, rate, p.from, +1, p.to, 1.0 + m.sourceEndReflection, 0.0);
        }
        if (m.liningCorner > 0 && m.liningCorner < 0.45 * rate) {
            const double k = std::exp(-2 * std::numbers::pi * m.liningCorner / rate);
            double y = 0;
            for (double &v : h)
                v = y = (1 - k) * v + k * y;
        }
        applyMicrophone(h, rate, m.micCorner);
        trimTail(h);
        *p.h = std::move(h);
    }
    return r;
}

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
    PathResponses r = ductResponses(DuctModel{}, rate);
    s.primaryRef = std::move(r.primaryRef);
    s.primaryErr = std::move(r.primaryErr);
    s.secondaryRef = std::move(r.secondaryRef);
    s.secondaryErr = std::move(r.secondaryErr);
    return s;
}

} // namespace kesto
