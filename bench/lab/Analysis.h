#pragma once
// The lab bench's measurements: misalignment of an identified path, spectra split into the
// scene's tones and its broadband rest, convergence time, and the Wiener bound.

#include "board/Scene.h"

#include <vector>

namespace lab {

// Normalised misalignment (dB) of `estimate` against `truth`, both with tap 0 = one sample of
// latency, at the shift in [-3, 3] samples that fits best. `bandWeight` (|D|^2 on a 4096-point
// grid from 0 to the sampling rate, or empty) weights the error over frequency.
struct Misalignment {
    double wholeDb = 0, bandDb = 0;
    int shift = 0;
};
Misalignment misalignment(const std::vector<float> &estimate, const std::vector<double> &truth,
                          const std::vector<double> &excitation);

// Mean-square power spectrum (Welch, Hann, `size` points) of x; bin k is k * rate / size Hz.
std::vector<double> spectrum(const std::vector<float> &x, int size = 4096);

// Power in the scene's tones (a few bins around each) and in everything else.
struct Split {
    double tones = 0, broadband = 0, total = 0;
    bool tonesAtFloor = false; // a tone sank into the broadband floor: its figure is a bound
};
Split split(const std::vector<double> &power, const kesto::Scene &scene, double rate);

// Mean square of x over consecutive slices of `slice` samples.
std::vector<double> slicePowers(const std::vector<float> &x, int slice);

// Level in dB of x over consecutive windows of `window` samples.
std::vector<double> levelDb(const std::vector<float> &x, int window);

// Seconds until the windowed level stays within 3 dB of its final level (mean of the last
// quarter), -1 if it never settles.
double settleSeconds(const std::vector<double> &levels, double windowSeconds);

// The best a causal FIR filter of `taps` taps can do on the scene with perfect feedback removal
// and one sample of converter latency: the error microphone's signal without and with it, over
// `seconds` of simulated noise, in counts / 2048.
struct Bound {
    std::vector<float> without, with;
};
Bound wienerBound(const kesto::Scene &scene, double rate, int taps, double seconds);

double powerDb(double ratio);

} // namespace lab
