#pragma once
// A board core with the DSP program linked in, stepped by hand with a fixed seed: reproducible.

#include "board/BoardCore.h"
#include "contract/BoardContract.h"

#include <utility>
#include <vector>

extern "C" const KestoDspProgram *kesto_dsp_program(void);

namespace kesto::test {

// One tone, little broadband noise; it reaches the error microphone well after the detection one.
inline Scene smallScene() {
    return {.sampleRate = 20000,
            .tones = {{300.0, 0.02}},
            .broadband = 0.002,
            .micNoise = 0.0002,
            .primaryRef = {0.0, 0.9, 0.2},
            .primaryErr = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.7, 0.3, -0.1},
            .secondaryRef = {0.0, 0.12, 0.05, -0.02},
            .secondaryErr = {0.0, 0.0, 0.35, 0.2, -0.1, 0.05},
            .origin = "small test scene"};
}

struct Harness {
    BoardCore core;
    explicit Harness(Scene scene = smallScene()) : core(BoardConfig{std::move(scene), Clock::Free, "", 1}) {
        std::string error;
        core.attach(kesto_dsp_program(), error);
        core.settle();
    }

    void put(std::uint32_t a, std::int32_t v) { core.pcPut(a, quiro::wordOfLong(v)); }
    void put(std::uint32_t a, float v) { core.pcPut(a, quiro::wordOfSingle(v)); }
    std::int32_t getLong(std::uint32_t a) const { return quiro::longOfWord(core.pcGet(a)); }

    // The PC's four-phase handshake: post() and release() let the program answer from its mailbox
    // alone; send() steps the board one sample per poll.
    void post(quiro::Cmd code) {
        put(quiro::dspmem::CmdCode, static_cast<std::int32_t>(code));
        put(quiro::dspmem::CmdRequest, 1);
        core.service();
    }
    void release() {
        put(quiro::dspmem::CmdRequest, 0);
        core.service();
    }
    void send(quiro::Cmd code) {
        post(code);
        while (getLong(quiro::dspmem::CmdAck) != 1)
            core.step(1);
        release();
        while (getLong(quiro::dspmem::CmdAck) != 0)
            core.step(1);
    }
    void setParams(std::int32_t cTaps, std::int32_t wTaps, float betaC, float betaW,
                   float rate = 20000.0f) {
        put(quiro::dspmem::CmdArg1, cTaps);
        put(quiro::dspmem::CmdArg2, wTaps);
        setFloats(betaC, betaW, rate, quiro::Cmd::SetParams);
    }
    void setGains(float c, float w, float d) { setFloats(c, w, d, quiro::Cmd::SetGains); }
    void setFloats(float a4, float a5, float a6, quiro::Cmd code) {
        put(quiro::dspmem::CmdArg4, a4);
        put(quiro::dspmem::CmdArg5, a5);
        put(quiro::dspmem::CmdArg6, a6);
        send(code);
    }
    void loadD(const std::vector<float> &d) {
        for (std::size_t i = 0; i < d.size(); ++i)
            put(quiro::dspmem::XferBuf + 4 * static_cast<std::uint32_t>(i), d[i]);
        put(quiro::dspmem::CmdArg1, static_cast<std::int32_t>(d.size()));
        send(quiro::Cmd::LoadDFilter);
    }
    // A fetch command, then words 0..n-1 of XferBuf.
    std::vector<float> fetch(quiro::Cmd code, std::uint32_t n) {
        send(code);
        std::vector<float> v(n);
        for (std::uint32_t i = 0; i < n; ++i)
            v[i] = quiro::singleOfWord(core.pcGet(quiro::dspmem::XferBuf + 4 * i));
        return v;
    }
    // Runs `seconds` of samples; returns the error microphone's mean square (counts^2).
    double run(double seconds) {
        const auto n = static_cast<std::uint32_t>(seconds * core.rate());
        double sum = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            core.step(1);
            sum += static_cast<double>(core.lastFrame().error) * core.lastFrame().error;
        }
        return sum / n;
    }
};

} // namespace kesto::test
