#pragma once
// The lab bench's figures for a world that changes: the error microphone with and without
// cancellation in short slices, the tones' share of it by their known running frequencies, and,
// per change, the worst second after it, the time back, the gap to the new bound.

#include <cstddef>
#include <functional>
#include <vector>

namespace lab {

// The full linear convolution's first x.size() samples: y[n] = sum h[k] x[n - k] (by FFT).
std::vector<float> convolve(const std::vector<float> &x, const std::vector<double> &h);

// The power of a signal's tones over consecutive slices of `slice` samples, each tone's
// frequency known at every moment (frequency(tone, seconds), Hz): a least-squares fit of a
// cosine and a sine at the tone's running phase, less what the rest of the signal adds to such a
// fit. `floor` (≥ 0) is what the rest adds, summed over the tones, for the slices' "at the floor".
struct TonePowers {
    std::vector<double> power, floor;
};
TonePowers tonePowers(const std::vector<float> &x, double rate, std::size_t tones,
                      const std::function<double(std::size_t, double)> &frequency, int slice);

// One change, seen through slices of `sliceSeconds` of the error microphone with (`on`) and
// without (`off`) cancellation; times in seconds from the slices' start.
struct ChangeTimes {
    double modeStart;           // when the mode began (the attenuation before a change counts from
                                // 5 s after it)
    double start, settled, end; // the change began, finished gliding; the next one begins
};
struct ChangeFigures {
    double before = 0;       // dB: the attenuation over the 5 s before the change
    double worst = 0;        // dB: the lowest over any 1-s window from 0.5 s after it on
    double back = -1;        // s from the change until the 1-s attenuation stays within 3 dB of
                             // the attenuation before it, or of the new bound where that is lower;
                             // -1: never
    double after = 0;        // dB: the attenuation over the stretch's last 5 s
    double tonesGliding = 0; // dB: the tones' lowest over any 1-s window while they glide
    double tonesStill = 0;   // ... and once they hold still (0.5 s after settling)
    bool tonesAtFloor = false;
};
ChangeFigures measureChange(const std::vector<double> &off, const std::vector<double> &on,
                            const TonePowers &tonesOff, const TonePowers &tonesOn,
                            double sliceSeconds, const ChangeTimes &t, double newBound);

} // namespace lab
