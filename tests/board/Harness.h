#pragma once
// A board core with the DSP program linked in, driven sample by sample from the test's thread:
// no sample thread, no clock, a fixed seed, so every run is the same.

#include "board/BoardCore.h"
#include "dsp/MemoryMap.h"

#include <cstdint>
#include <vector>

namespace kesto::test {

// A short, quiet scene at 20 kHz: one tone, little broadband noise, paths of a few taps with the
// noise reaching the error microphone well after the detection microphone.
Scene smallScene();

class Harness {
public:
    explicit Harness(Scene scene = smallScene(), std::uint64_t seed = 1);

    BoardCore core;

    void putLong(std::uint32_t address, std::int32_t v);
    void putSingle(std::uint32_t address, float v);
    std::int32_t getLong(std::uint32_t address) const;
    float getSingle(std::uint32_t address) const;

    // The PC's four-phase handshake, stepping the board one sample per poll.
    void send(std::int32_t code);
    void send(quiro::Cmd code) { send(static_cast<std::int32_t>(code)); }
    // Commands 12 and 17 with their argument words, and command 16 with its coefficients.
    void setParams(std::int32_t cTaps, std::int32_t wTaps, float betaC, float betaW,
                   float rate = 20000.0f);
    void setGains(float c, float w, float d);
    void loadD(const std::vector<float> &coefficients);
    // A fetch command, then words 0..n-1 of XferBuf.
    std::vector<float> fetch(quiro::Cmd code, int n);

    // Runs `seconds` of samples; returns the error microphone's mean square over them (counts^2).
    double run(double seconds);
};

// Normalised misalignment in dB of `estimate` against `truth`, counts to counts. Both count
// their tap 0 as the one sample of converter latency.
double misalignmentDb(const std::vector<float> &estimate, const std::vector<double> &truth);

} // namespace kesto::test
