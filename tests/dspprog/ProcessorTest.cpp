// The DSP program's processors on real signals, each on its own: the whitening filter, the
// spread tracker, the least-squares fit and the divergence guard.

#include "Decibels.h"
#include "dspprog/DivergenceGuard.h"
#include "dspprog/LeastSquaresFit.h"
#include "dspprog/SpreadTracker.h"
#include "dspprog/Whitener.h"

#include "dspkit/SignalKit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numbers>
#include <vector>

namespace {

using quiros::test::db;
using quiros::DivergenceGuard;
using Signal = std::function<float(long)>; // sample n

constexpr double Pi = std::numbers::pi;
// Noise low-passed by one pole at `pole`, and a tone of `amplitude` at `cycles` per sample.
Signal lowPassed(double pole, std::uint64_t seed = 3) {
    return [pole, noise = kesto::WhiteNoise(seed), y = 0.0](long) mutable {
        return static_cast<float>(y = pole * y + noise());
    };
}
Signal toneOverNoise(double cycles, double amplitude, double noiseRms, std::uint64_t seed = 5) {
    return [=, noise = kesto::WhiteNoise(seed)](long n) mutable {
        return static_cast<float>(amplitude * std::sin(2 * Pi * cycles * static_cast<double>(n)) +
                                  noiseRms * noise());
    };
}

TEST(Whitener, FlattensTheSpectrumButLiftsNothingByMoreThanTenDb) {
    constexpr double None = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char *name;
        Signal signal;
        double pole;       // of the noise's one-pole filter: its spectrum is known (None: not)
        double maxRangeDb; // of the output's spectrum, highest over lowest
        double maxLiftDb;  // a frequency's gain over the prediction error's, at most
    } cases[] = {
        {"white noise", lowPassed(0.0), 0.0, 1.5, 10.2},
        {"noise low-passed by a pole at 0.9 (26 dB of range)", lowPassed(0.9), 0.9, 6.0, 10.2},
        {"noise high-passed by a pole at -0.7 (15 dB of range)", lowPassed(-0.7), -0.7, 4.0, 10.2},
        // The filter's order cannot follow a line exactly: its notch overshoots the floor.
        {"a tone 40 dB over white noise", toneOverNoise(0.015, 1.0, 0.007), None, None, 14.0},
    };
    constexpr std::size_t Order = quiros::Whitener::Order;
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        quiros::Whitener whiten;
        kesto::DelayLine in(Order + 1);
        double power = 0;
        for (long n = 0; n < 40000; ++n) {
            in.push(c.signal(n));
            whiten.observe(in.recent());
            if (n % 256 == 255)
                whiten.design();
            power +=
                n >= 20000 ? static_cast<double>(in.recent()[0]) * in.recent()[0] / 20000 : 0.0;
        }
        kesto::DelayLine impulse(Order + 1);
        impulse.push(1.0f);
        std::vector<float> a(Order + 1);
        for (float &v : a) {
            v = whiten(impulse.recent());
            impulse.push(0.0f);
        }
        double lift = 0, highest = 0, lowest = 1e30;
        for (int k = 0; k <= 512; ++k) {
            const double omega = Pi * k / 512;
            std::complex<double> g = 0;
            for (std::size_t i = 0; i <= Order; ++i)
                g += static_cast<double>(a[i]) * std::polar(1.0, -omega * static_cast<double>(i));
            lift = std::max(lift, std::norm(g));
            const double out = std::norm(g) / std::norm(1.0 - std::polar(c.pole, -omega));
            highest = std::max(highest, out), lowest = std::min(lowest, out);
        }
        if (!std::isnan(c.pole)) {
            EXPECT_LT(db(highest / lowest), c.maxRangeDb);
        }
        // The floor: no frequency gets more than ten times the gain the input's power has on
        // average through the filter (the prediction error over the power).
        EXPECT_LT(db(lift * power / whiten.predictionError()), c.maxLiftDb);
    }
}

TEST(SpreadTracker, FindsTheLargestEigenvalueOverThePower) {
    constexpr std::size_t Taps = 64;
    const struct {
        const char *name;
        Signal signal;
        double low, high; // where the spread must end
    } cases[] = {
        {"white noise", lowPassed(0.0), 1.0, 1.5},
        {"one tone", toneOverNoise(0.05, 1.0, 0.0), 0.9 * Taps / 2, Taps / 2.0},
        {"two tones of equal power",
         [](long n) { return static_cast<float>(std::sin(0.4 * n) + std::sin(1.9 * n)); },
         0.8 * Taps / 4, 1.2 * Taps / 4},
        {"noise low-passed by a pole at 0.9", lowPassed(0.9), 8, 20},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        quiros::SpreadTracker tracker(Taps);
        tracker.reset(Taps);
        kesto::DelayLine x(Taps);
        for (long n = 0; n < 40 * 256; ++n) {
            x.push(c.signal(n));
            tracker.addPower(x.recent()[0]);
            if (n % 4 == 0)
                tracker.sample(x.recent(), Taps);
            if (n % 256 == 255) {
                const float spread = tracker.endBlock(Taps, 256);
                if (n / 256 + 1 < quiros::SpreadTracker::SettlingBlocks) {
                    EXPECT_EQ(spread, Taps / 2.0f) << "held at its largest while settling";
                }
            }
        }
        EXPECT_GE(tracker.spread(), c.low);
        EXPECT_LE(tracker.spread(), c.high);
    }
}

// The misalignment (dB) of the first `n` taps of a model against the truth.
double misalignmentDb(const quiros::Fir &model, const std::vector<float> &truth, std::size_t n) {
    double num = 0, den = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double t = k < truth.size() ? truth[k] : 0.0;
        num += std::pow(model.coefficient(k) - t, 2), den += t * t;
    }
    return db(num / den);
}

TEST(LeastSquaresFit, RecoversAPathFromWhatItHeard) {
    // A decaying path of 24 taps with alternating signs.
    std::vector<float> path(24);
    for (std::size_t k = 0; k < path.size(); ++k)
        path[k] = static_cast<float>((k % 3 == 1 ? -0.5 : 0.8) *
                                     std::exp(-0.15 * static_cast<double>(k)));
    const struct {
        const char *name;
        Signal input;
        double noiseRms;       // at the predicted signal, against an input of about unit rms
        std::size_t fit, keep; // taps fitted, taps kept
        bool priorIsTruth;     // else the prior is zero
        double maxDb;          // the kept taps' misalignment
    } cases[] = {
        {"white input, no noise", lowPassed(0.0), 0.0, 24, 24, false, -50},
        {"white input, noise 20 dB under the signal", lowPassed(0.0), 0.1, 24, 24, false, -35},
        {"a path twice the model's length: its first taps stay right", lowPassed(0.0), 0.0, 24, 12,
         false, -50},
        {"low-passed input, the prior right where it was weak", lowPassed(0.95), 0.01, 24, 24, true,
         -40},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        quiros::LeastSquaresFit fit(64);
        quiros::Fir model(64);
        model.setTaps(c.keep);
        for (std::size_t k = 0; k < c.keep && c.priorIsTruth; ++k)
            model.setCoefficient(k, path[k]);
        kesto::DelayLine x(64);
        kesto::WhiteNoise noise(9);
        for (long n = 0; n < 40000; ++n) {
            x.push(c.input(n));
            fit.add(x.recent(),
                    kesto::dot(path.data(), x.recent(), path.size()) +
                        static_cast<float>(c.noiseRms) * noise(),
                    c.fit);
        }
        fit.flush(c.fit);
        ASSERT_TRUE(fit.solve(c.fit, model, c.keep));
        EXPECT_LT(misalignmentDb(model, path, c.keep), c.maxDb);
    }
    // Nothing heard: the model stays.
    quiros::LeastSquaresFit fit(64);
    quiros::Fir model(64);
    model.setTaps(4);
    model.setCoefficient(2, 0.5f);
    EXPECT_FALSE(fit.solve(4, model, 4));
    EXPECT_EQ(model.coefficient(2), 0.5f);
}

TEST(DivergenceGuard, TripsOnARunawayAndOnlyThen) {
    constexpr double Rate = 20000;
    constexpr float Nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char *name;
        double errorDb; // the error's level over what it would be without the output
        long clipEvery; // an output at the converter's limits every so many samples (0: none)
        float energy;   // the filter's energy; the reference is 100 counts rms
        double tripFrom, tripBy; // seconds: the first trip in this span, or none when < 0
        // From 1.5 s on: every signal louder by riseDb, and the yardstick (what the error would
        // be without the output, as the model has it) by yardstickDb more.
        double riseDb = 0, yardstickDb = 0;
        bool followed = false;  // the model is being followed: a risen yardstick keeps the step
        double errorRiseDb = 0; // from 1.5 s on, the error louder by so much more
        bool doubted() const { return yardstickDb > 3 && (!followed || errorRiseDb > 2); }
    } cases[] = {
        {"cancelling", -20, 0, 1, -1, -1},
        {"0.3 dB louder than without the output", 0.3, 0, 1, -1, -1},
        {"1 dB louder: caught once the mode has run a second", 1, 0, 1, 1.0, 1.7},
        {"10 dB louder: caught within three checks", 10, 0, 1, 0.02, 0.06},
        {"output at the limits in 2 % of samples", -20, 50, 1, -1, -1},
        {"output at the limits in 10 % of samples", -20, 10, 1, 0.01, 0.15},
        {"a filter at half the energy that could drive the converter to its limits", -20, 0, 800,
         -1, -1},
        {"a filter at twice that energy", -20, 0, 4000, 0.0, 0.02},
        {"a filter gone non-finite", -20, 0, Nan, 0.0, 0.02},
        {"the noise 12 dB louder, the yardstick with it", -20, 0, 1, -1, -1, 12, 0},
        {"the yardstick 1.5 dB up on its own: a primary path that changed", -20, 0, 1, -1, -1, 0,
         1.5},
        {"the yardstick 6 dB up on its own: a model that no longer holds", -20, 0, 1, 1.5, 1.6, 0,
         6},
        {"the same 9 dB up: caught within three checks", -20, 0, 1, 1.5, 1.54, 0, 9.5},
        {"the same while the model is followed, the error rising with it: a trip, the step kept",
         -20, 0, 1, 1.5, 1.6, 0, 6, true, 6},
        {"the same while the model is followed, the error as low as before: the model moved, "
         "the filter did not run away",
         -20, 0, 1, -1, -1, 0, 6, true, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DivergenceGuard guard(Rate);
        guard.restart();
        kesto::WhiteNoise noise(4);
        auto gain = [](double decibels) {
            return static_cast<float>(std::pow(10.0, decibels / 20));
        };
        double firstTrip = -1;
        bool doubted = false;
        for (long n = 0; n < static_cast<long>(3 * Rate) && firstTrip < 0; ++n) {
            const bool risen = n >= static_cast<long>(1.5 * Rate);
            const float uncancelled = 100 * noise() * (risen ? gain(c.riseDb) : 1.0f);
            if (n % DivergenceGuard::ListenEvery == 0)
                guard.listen(gain(c.errorDb) * (risen ? gain(c.errorRiseDb) : 1.0f) * uncancelled,
                             uncancelled * (risen ? gain(c.yardstickDb) : 1.0f), uncancelled);
            guard.output(c.clipEvery > 0 && n % c.clipEvery == 0 ? quiros::FullScale : 10.0f);
            if ((n + 1) % DivergenceGuard::Block == 0) {
                if (guard.check(c.energy, c.followed ? DivergenceGuard::Model::Followed
                                                     : DivergenceGuard::Model::Identified))
                    firstTrip = static_cast<double>(n) / Rate;
                doubted = doubted || guard.modelDoubted();
            }
        }
        EXPECT_EQ(doubted, c.doubted());
        if (c.tripFrom < 0) {
            EXPECT_EQ(guard.trips(), 0);
            EXPECT_EQ(guard.stepScale(), 1.0f);
        } else {
            EXPECT_EQ(guard.trips(), 1);
            EXPECT_GE(firstTrip, c.tripFrom);
            EXPECT_LE(firstTrip, c.tripBy);
            EXPECT_EQ(guard.stepScale(), c.followed ? 1.0f : DivergenceGuard::StepCut);
        }
    }
}

// After a trip the step scale is cut, and each calm spell doubles it back, up to 1.
TEST(DivergenceGuard, CalmSpellsGiveTheStepBack) {
    constexpr double Rate = 20000;
    DivergenceGuard guard(Rate);
    guard.restart();
    ASSERT_TRUE(guard.check(std::numeric_limits<float>::infinity()));
    ASSERT_TRUE(guard.check(std::numeric_limits<float>::infinity()));
    EXPECT_EQ(guard.stepScale(), DivergenceGuard::StepCut * DivergenceGuard::StepCut);
    const long blocksPerSpell =
        static_cast<long>(DivergenceGuard::CalmSeconds * Rate) / DivergenceGuard::Block + 1;
    const float expected[] = {0.125f, 0.25f, 0.5f, 1.0f, 1.0f};
    for (float scale : expected) {
        for (long b = 0; b < blocksPerSpell; ++b)
            ASSERT_FALSE(guard.check(1.0f));
        EXPECT_EQ(guard.stepScale(), scale);
    }
}

} // namespace
