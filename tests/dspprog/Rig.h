#pragma once
// The DSP program against a plant with nothing in between: no board thread, no recorder.
// Commands go through the program's own execute() with their arguments in its memory, and
// samples run in a plain loop, seeded and as fast as the machine allows.

#include "board/DspMemory.h"
#include "board/Plant.h"
#include "contract/BoardContract.h"
#include "dspprog/Quiros.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

namespace quiros::test {

struct Rig {
    static constexpr double Rate = 20000;

    explicit Rig(const kesto::Scene &scene, std::uint64_t seed = 1)
        : plant(std::make_unique<kesto::Plant>(atRate(scene), Rate, seed)), program(host(), seed) {}

    static kesto::Scene atRate(const kesto::Scene &scene) {
        std::string error;
        auto at = kesto::sceneAt(scene, Rate, error);
        return at ? *at : kesto::builtInScene(Rate);
    }

    // Moves the program to another plant (the program keeps everything it has learnt).
    void movePlant(const kesto::Scene &scene) {
        plant = std::make_unique<kesto::Plant>(atRate(scene), Rate, 2);
    }

    void put(std::uint32_t a, std::int32_t v) { memory.store(a, quiro::wordOfLong(v)); }
    void put(std::uint32_t a, float v) { memory.store(a, quiro::wordOfSingle(v)); }
    void send(quiro::Cmd code) { program.execute(static_cast<std::int32_t>(code)); }
    void setParams(float betaC, float betaW) {
        put(quiro::dspmem::CmdArg1, 256);
        put(quiro::dspmem::CmdArg2, 256);
        put(quiro::dspmem::CmdArg4, betaC);
        put(quiro::dspmem::CmdArg5, betaW);
        put(quiro::dspmem::CmdArg6, static_cast<float>(Rate));
        send(quiro::Cmd::SetParams);
    }
    void loadD(const std::vector<double> &d) {
        for (std::size_t i = 0; i < d.size(); ++i)
            put(quiro::dspmem::XferBuf + 4 * static_cast<std::uint32_t>(i), static_cast<float>(d[i]));
        put(quiro::dspmem::CmdArg1, static_cast<std::int32_t>(d.size()));
        send(quiro::Cmd::LoadDFilter);
    }
    // Each path's identification in turn, for its seconds, then the stop.
    void identify(std::initializer_list<std::pair<quiro::Cmd, double>> paths) {
        for (const auto &[start, seconds] : paths) {
            send(start);
            run(seconds);
        }
        send(quiro::Cmd::IdentStop);
    }
    std::int32_t trips() const { return quiro::longOfWord(memory.load(quiro::dspmem::GuardTrips)); }

    // What `seconds` of samples did at the error microphone and the output.
    struct Run {
        double errorPower = 0; // counts^2
        double clipped = 0;    // share of output samples at the converter's limits
        std::vector<double> secondPowers; // the error microphone's, each second
    };
    Run run(double seconds) {
        Run r;
        const auto n = static_cast<long>(seconds * Rate);
        double second = 0;
        long clipped = 0;
        for (long i = 0; i < n; ++i) {
            const auto in = plant->sense();
            const std::int32_t out = program.sample(in.detection, in.error);
            plant->drive(out);
            const double e2 = static_cast<double>(in.error) * in.error;
            r.errorPower += e2 / static_cast<double>(n);
            second += e2 / Rate;
            clipped += out <= -2048 || out >= 2047;
            if ((i + 1) % static_cast<long>(Rate) == 0)
                r.secondPowers.push_back(std::exchange(second, 0.0));
        }
        r.clipped = static_cast<double>(clipped) / static_cast<double>(std::max(n, 1L));
        return r;
    }

    kesto::DspMemory memory;
    std::unique_ptr<kesto::Plant> plant;
    Quiros program;

private:
    KestoDspHost host() {
        return {this,
                [](void *ctx, std::uint32_t a) { return static_cast<Rig *>(ctx)->memory.load(a); },
                [](void *ctx, std::uint32_t a, std::uint32_t w) { static_cast<Rig *>(ctx)->memory.store(a, w); },
                nullptr};
    }
};

} // namespace quiros::test
