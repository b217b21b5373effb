#pragma once
// The DSP program, through the entry table the board loads, against a plant with nothing in
// between: no board thread, no recorder. The test plays the PC's side of the mailbox and the
// program answers at its next service(); samples run in a plain loop, seeded and as fast as the
// machine allows.

#include "board/BoardCore.h"
#include "board/DspMemory.h"
#include "board/Plant.h"
#include "contract/BoardContract.h"
#include "dspkit/KestoDsp.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

extern "C" const KestoDspProgram *kesto_dsp_program(void);

namespace quiros::test {

// One tone, little broadband noise; it reaches the error microphone well after the detection one.
inline kesto::Scene smallScene() {
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

struct Rig {
    static constexpr double Rate = 20000;

    // Scenes at Rate (see kesto::sceneAt).
    explicit Rig(const kesto::Scene &scene = smallScene(), std::uint64_t seed = 1)
        : plant(std::make_unique<kesto::Plant>(scene, Rate, seed)), seed_(seed), scene_(scene),
          dsp(entry.create(&host, seed), entry.destroy) {}

    // From now on the rig also hears the error microphone as it would be without any output: a
    // second plant on the same noise and timeline, fed silence (Run::uncancelledPowers).
    void hearUncancelled() { uncancelled_ = silent(); }
    // Puts the timeline of every plant the rig runs back to its start, as a board run that starts
    // again does, the program running on.
    void rewind() {
        for (auto *p : {&plant, &uncancelled_})
            if (*p)
                (*p)->seek(0);
    }
    // Scales the noise source of every plant the rig runs (a fan speeding up).
    void setSourceGain(float g) {
        for (auto *p : {&plant, &uncancelled_})
            if (*p)
                (*p)->setSourceGain(g);
        gains_.emplace_back(samples_, g);
    }

    void put(std::uint32_t a, std::int32_t v) { memory.store(a, quiro::wordOfLong(v)); }
    void put(std::uint32_t a, float v) { memory.store(a, quiro::wordOfSingle(v)); }
    std::int32_t getLong(std::uint32_t a) const { return quiro::longOfWord(memory.load(a)); }
    std::int32_t trips() const { return getLong(quiro::dspmem::GuardTrips); }

    // The PC's four-phase handshake, a phase at a time or whole.
    void post(quiro::Cmd code) {
        put(quiro::dspmem::CmdCode, static_cast<std::int32_t>(code));
        put(quiro::dspmem::CmdRequest, 1);
        entry.service(dsp.get());
    }
    void release() {
        put(quiro::dspmem::CmdRequest, 0);
        entry.service(dsp.get());
    }
    void send(quiro::Cmd code) {
        post(code);
        release();
    }
    void setParams(std::int32_t cTaps, std::int32_t wTaps, float betaC, float betaW,
                   float rate = static_cast<float>(Rate)) {
        put(quiro::dspmem::CmdArg1, cTaps);
        put(quiro::dspmem::CmdArg2, wTaps);
        setFloats(betaC, betaW, rate, quiro::Cmd::SetParams);
    }
    void setFloats(float a4, float a5, float a6, quiro::Cmd code) {
        put(quiro::dspmem::CmdArg4, a4);
        put(quiro::dspmem::CmdArg5, a5);
        put(quiro::dspmem::CmdArg6, a6);
        send(code);
    }
    void loadD(const std::vector<double> &d) {
        for (std::size_t i = 0; i < d.size(); ++i)
            put(quiro::dspmem::XferBuf + 4 * static_cast<std::uint32_t>(i),
                static_cast<float>(d[i]));
        put(quiro::dspmem::CmdArg1, static_cast<std::int32_t>(d.size()));
        send(quiro::Cmd::LoadDFilter);
    }
    // A fetch command, then words 0..n-1 of XferBuf.
    std::vector<float> fetch(quiro::Cmd code, std::uint32_t n) {
        send(code);
        std::vector<float> v(n);
        for (std::uint32_t i = 0; i < n; ++i)
            v[i] = quiro::singleOfWord(memory.load(quiro::dspmem::XferBuf + 4 * i));
        return v;
    }
    // Each command in turn, running for its seconds, then the stop.
    void runEach(std::initializer_list<std::pair<quiro::Cmd, double>> commands) {
        for (const auto &[start, seconds] : commands) {
            send(start);
            run(seconds);
        }
        send(quiro::Cmd::IdentStop);
    }

    // What some samples did at the error microphone and the output; the mailbox's turn follows,
    // as on the board after a block.
    struct Run {
        double errorPower = 0;                 // counts^2
        double uncancelledPower = 0;           // without any output (hearUncancelled)
        double clipped = 0;                    // share of output samples at the converter's limits
        std::vector<double> secondPowers;      // the error microphone's, each second
        std::vector<double> uncancelledPowers; // the same without any output (hearUncancelled)
    };
    Run run(double seconds) { return step(std::lround(seconds * Rate)); }
    Run step(long n) {
        Run r;
        double second = 0, secondWithout = 0;
        long clipped = 0;
        for (long i = 0; i < n; ++i) {
            const auto in = plant->sense();
            last = {in.detection, in.error, entry.sample(dsp.get(), in.detection, in.error)};
            plant->drive(last.control);
            ++samples_;
            if (uncancelled_) {
                const double without = uncancelled_->sense().error;
                uncancelled_->drive(0);
                secondWithout += without * without / Rate;
                r.uncancelledPower += without * without / static_cast<double>(n);
            }
            const double e2 = static_cast<double>(in.error) * in.error;
            r.errorPower += e2 / static_cast<double>(n);
            second += e2 / Rate;
            clipped += last.control <= quiro::ConverterMin || last.control >= quiro::ConverterMax;
            if ((i + 1) % static_cast<long>(Rate) == 0) {
                r.secondPowers.push_back(std::exchange(second, 0.0));
                if (uncancelled_)
                    r.uncancelledPowers.push_back(std::exchange(secondWithout, 0.0));
            }
        }
        r.clipped = static_cast<double>(clipped) / static_cast<double>(std::max(n, 1L));
        entry.service(dsp.get());
        return r;
    }
    kesto::BoardCore::Frame last; // the converters' values at the last sample run

    kesto::DspMemory memory;
    std::unique_ptr<kesto::Plant> plant;

private:
    // A plant of the rig's scene that has run every sample so far, fed silence.
    std::unique_ptr<kesto::Plant> silent() const {
        auto p = std::make_unique<kesto::Plant>(scene_, Rate, seed_);
        auto gain = gains_.begin();
        for (std::size_t i = 0; i < samples_; ++i) {
            for (; gain != gains_.end() && gain->first == i; ++gain)
                p->setSourceGain(gain->second);
            p->sense();
            p->drive(0);
        }
        for (; gain != gains_.end(); ++gain)
            p->setSourceGain(gain->second);
        return p;
    }

    std::uint64_t seed_;
    kesto::Scene scene_;
    std::unique_ptr<kesto::Plant> uncancelled_;
    // The samples run and every change of the source's gain, for a plant that joins later.
    std::size_t samples_ = 0;
    std::vector<std::pair<std::size_t, float>> gains_;

    KestoDspHost host{
        this, [](void *ctx, std::uint32_t a) { return static_cast<Rig *>(ctx)->memory.load(a); },
        [](void *ctx, std::uint32_t a, std::uint32_t w) {
            static_cast<Rig *>(ctx)->memory.store(a, w);
        },
        nullptr};
    const KestoDspProgram &entry = *kesto_dsp_program();
    std::unique_ptr<void, void (*)(void *)> dsp;
};

} // namespace quiros::test
