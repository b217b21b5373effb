// The DSP program on the changing family at the default parameters, shortened to each scene's
// first change: identification before it, every mode through it. Seeded and stepped directly:
// the same every run.

#include "Rig.h"
#include "WienerBound.h"

#include "board/RegularFile.h"
#include "board/Scene.h"
#include "coeffile/CoefficientParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

using quiro::Cmd;
using quiros::test::Rig;

constexpr double Slice = 0.1; // s, the resolution of the error microphone's powers
constexpr double After = 12;  // s run after the change begins

std::vector<double> lowPass() {
    std::string text, error;
    EXPECT_TRUE(kesto::readRegularFile(QUIRO_SOURCE_DIR "/data/LPF.COF", 1 << 20, text, error))
        << error;
    return quiro::parseCoefficients<double>(text).coefficients;
}

double db(double ratio) {
    return 10 * std::log10(ratio);
}

// The attenuation over slices [from, to).
double attenuation(const std::vector<double> &off, const std::vector<double> &on, std::size_t from,
                   std::size_t to) {
    return db(std::accumulate(off.begin() + static_cast<long>(from),
                              off.begin() + static_cast<long>(to), 0.0) /
              std::accumulate(on.begin() + static_cast<long>(from),
                              on.begin() + static_cast<long>(to), 0.0));
}

enum class Change { SecondaryPath, Level, PrimaryPath, Source };

TEST(ChangingFamily, NoModeDoesHarmOrSaturatesAndMode82FollowsTheSecondaryPath) {
    const struct {
        const char *scene;
        Change change;
    } cases[] = {
        {"duct-moved-mic", Change::SecondaryPath}, {"duct-warm-speaker", Change::SecondaryPath},
        {"duct-switch-on", Change::Level},         {"room-door-opened", Change::PrimaryPath},
        {"duct-run-up", Change::Source},           {"duct-recorded-fan", Change::Source},
    };
    const auto d = lowPass();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.scene);
        std::string error;
        const auto loaded =
            kesto::loadScene(std::string(QUIRO_SOURCE_DIR "/data/scenes/") + c.scene, error);
        const auto scene = loaded ? kesto::sceneAt(*loaded, Rig::Rate, error) : std::nullopt;
        ASSERT_TRUE(scene.has_value()) << error;
        const auto stretches = kesto::sceneStretches(*scene);
        ASSERT_GE(stretches.size(), 2u);
        const kesto::SceneStretch &change = stretches[1];
        const double bound = quiros::test::wienerBoundDb(change.scene, Rig::Rate, 4);
        for (const Cmd mode : {Cmd::Mode1, Cmd::Mode2, Cmd::Mode3}) {
            SCOPED_TRACE(static_cast<int>(mode));
            Rig rig(*scene);
            rig.hearUncancelled();
            rig.loadD(d);
            rig.runEach({{Cmd::C1IdentStart, 5}, {Cmd::C2IdentStart, 5}});
            // Mode 83 holds the W that mode 81 reached.
            rig.send(mode == Cmd::Mode3 ? Cmd::Mode1 : mode);
            std::vector<double> off, on;
            double clipped = 0;
            const auto slices = static_cast<long>(std::lround((change.start + After - 10) / Slice));
            for (long i = 0; i < slices; ++i) {
                if (mode == Cmd::Mode3 && i == slices - std::lround((After + 2) / Slice))
                    rig.send(Cmd::Mode3);
                const auto r = rig.run(Slice);
                off.push_back(r.uncancelledPower), on.push_back(r.errorPower);
                clipped += r.clipped / static_cast<double>(slices);
            }
            EXPECT_LT(clipped, 0.001);
            const auto at = [](double seconds) {
                return static_cast<std::size_t>(std::lround((seconds - 10) / Slice));
            };
            const std::size_t start = at(change.start), second = at(11);
            // Do no harm: no second from half a second after the change on is 1 dB louder.
            for (std::size_t i = at(change.start + 0.5); i + second <= on.size(); ++i)
                ASSERT_GT(attenuation(off, on, i, i + second), -1.0)
                    << "the second from " << 10 + static_cast<double>(i) * Slice << " s";
            const double before = attenuation(off, on, start - at(15), start);
            if (mode != Cmd::Mode3 &&
                (c.change == Change::Level || c.change == Change::PrimaryPath)) {
                const double within = c.change == Change::Level ? 2 : 5;
                EXPECT_GT(attenuation(off, on, at(change.start + within),
                                      at(change.start + within) + second),
                          before - 3);
            }
            if (mode == Cmd::Mode2 && c.change == Change::SecondaryPath) {
                EXPECT_GT(attenuation(off, on, at(change.start + 9), at(change.start + 10)),
                          bound - 3)
                    << "bound " << bound << " dB";
            }
        }
    }
}

} // namespace
