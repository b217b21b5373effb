// The DSP program on the changing family at the default parameters, through every change of
// every scene (and, for a timeline that repeats, the return to its start), as the lab bench runs
// it: identification and the mode begun in a first run, then the timeline from its start again
// with the program running on. Seeded and stepped directly: the same every run.

#include "Decibels.h"
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

using quiros::test::db;
using quiro::Cmd;
using quiros::test::Rig;

constexpr double Slice = 0.1;  // s, the resolution of the error microphone's powers
constexpr double After = 12;   // s run after the last change begins
constexpr double Ident = 10;   // s of identification per path, from the timeline's start
constexpr double HoldLead = 5; // s before the first change mode 83 holds W

std::vector<double> lowPass() {
    std::string text, error;
    EXPECT_TRUE(kesto::readRegularFile(QUIRO_SOURCE_DIR "/data/LPF.COF", 1 << 20, text, error))
        << error;
    return quiro::parseCoefficients<double>(text).coefficients;
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

// The error microphone's power in slices from the mode's start on, with the output and without.
struct Session {
    std::vector<double> off, on;
    double clipped = 0; // share of output samples at the converter's limits
    // The slice at `seconds` of the run.
    static std::size_t at(double seconds) {
        return static_cast<std::size_t>(std::lround(seconds / Slice));
    }
    double attenuation(double from, double to) const {
        return ::attenuation(off, on, at(from), std::min(at(to), on.size()));
    }
};

// Identification and `mode` begun, then the timeline again from its start until `seconds` (83
// holds the W that 81 has reached HoldLead seconds before the first change).
Session run(const kesto::Scene &scene, const std::vector<double> &d, Cmd mode, double firstChange,
            double seconds) {
    Rig rig(scene);
    rig.hearUncancelled();
    rig.loadD(d);
    rig.runEach({{Cmd::C1IdentStart, Ident}, {Cmd::C2IdentStart, Ident}});
    rig.send(mode == Cmd::Mode3 ? Cmd::Mode1 : mode);
    rig.rewind();
    Session s;
    const auto slices = static_cast<long>(Session::at(seconds));
    const auto hold = static_cast<long>(Session::at(firstChange - HoldLead));
    for (long i = 0; i < slices; ++i) {
        if (mode == Cmd::Mode3 && i == hold)
            rig.send(Cmd::Mode3);
        const auto r = rig.run(Slice);
        s.off.push_back(r.uncancelledPower), s.on.push_back(r.errorPower);
        s.clipped += r.clipped / static_cast<double>(slices);
    }
    return s;
}

// Do no harm: no second from half a second after the change until the next is 1 dB louder than
// without the output. The first such second, if any.
void expectNoHarm(const Session &s, double from, double to) {
    for (double t = from + 0.5; t + 1 <= to + 1e-9; t += Slice)
        if (s.attenuation(t, t + 1) <= -1.0) {
            ADD_FAILURE() << "the second from " << t << " s: " << s.attenuation(t, t + 1) << " dB";
            return;
        }
}

const char *nameOf(Cmd mode) {
    return mode == Cmd::Mode1 ? "81" : mode == Cmd::Mode2 ? "82" : "83";
}

TEST(ChangingFamily, NoModeDoesHarmOrSaturatesAndMode82FollowsTheSecondaryPath) {
    const struct {
        const char *scene;
        Change change; // what each of its changes (and the return) moves
    } cases[] = {
        {"duct-moved-mic", Change::SecondaryPath}, {"duct-warm-speaker", Change::SecondaryPath},
        {"duct-switch-on", Change::Level},         {"room-door-opened", Change::PrimaryPath},
        {"duct-run-up", Change::Source},           {"duct-recorded-fan", Change::Source},
    };
    const auto d = lowPass();
    for (const auto &c : cases) {
        std::string error;
        const auto loaded =
            kesto::loadScene(std::string(QUIRO_SOURCE_DIR "/data/scenes/") + c.scene, error);
        const auto scene = loaded ? kesto::sceneAt(*loaded, Rig::Rate, error) : std::nullopt;
        ASSERT_TRUE(scene.has_value()) << c.scene << ": " << error;
        const auto changes = kesto::sceneChanges(*scene);
        ASSERT_FALSE(changes.empty()) << c.scene;
        const double seconds = changes.back().start + After;
        for (const Cmd mode : {Cmd::Mode1, Cmd::Mode2, Cmd::Mode3}) {
            const Session s = run(*scene, d, mode, changes.front().start, seconds);
            EXPECT_LT(s.clipped, 0.001) << c.scene << "/" << nameOf(mode);
            for (std::size_t k = 0; k < changes.size(); ++k) {
                const kesto::SceneStretch &change = changes[k];
                SCOPED_TRACE(std::string(c.scene) + "/" + nameOf(mode) + "/at " +
                             std::to_string(std::lround(change.start)) + " s: " + change.what);
                const double next = k + 1 < changes.size() ? changes[k + 1].start : seconds;
                expectNoHarm(s, change.start, next);
                const double before = s.attenuation(change.start - 5, change.start);
                if (mode != Cmd::Mode3 &&
                    (c.change == Change::Level || c.change == Change::PrimaryPath)) {
                    const double within = c.change == Change::Level ? 2 : 5;
                    EXPECT_GT(s.attenuation(change.start + within, change.start + within + 1),
                              before - 3);
                }
                if (mode == Cmd::Mode2 && c.change == Change::SecondaryPath) {
                    const double bound = quiros::test::wienerBoundDb(change.scene, Rig::Rate, 4);
                    EXPECT_GT(s.attenuation(change.start + 9, change.start + 10), bound - 3)
                        << "bound " << bound << " dB";
                }
            }
        }
    }
}

} // namespace
