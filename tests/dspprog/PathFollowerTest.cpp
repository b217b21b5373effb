// The path follower on its own: a known path, white noise around it, and the model it keeps.

#include "Decibels.h"
#include "dspprog/PathFollower.h"

#include "dspkit/SignalKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using quiros::test::db;
using quiros::PathFollower;

constexpr std::size_t Taps = 64;
constexpr long Rate = 20000; // samples per second of the runs below

std::vector<float> path(int delay, float gain) {
    std::vector<float> h(Taps, 0.0f);
    for (std::size_t k = static_cast<std::size_t>(delay); k < Taps; ++k)
        h[k] =
            gain * static_cast<float>(
                       std::exp(-0.2 * static_cast<double>(k - static_cast<std::size_t>(delay))) *
                       std::cos(0.9 * static_cast<double>(k)));
    return h;
}

double misalignmentDb(const quiros::Fir &model, const std::vector<float> &truth) {
    double num = 0, den = 0;
    for (std::size_t k = 0; k < Taps; ++k)
        num += std::pow(model.coefficient(k) - truth[k], 2), den += truth[k] * truth[k];
    return db(num / den);
}

// Runs the follower on `truth` from `model` for `seconds`, the microphone also hearing white
// noise of `otherRms` counts; returns the share of the noise heard over the error's power, and
// keeps in `loudest` the largest share the noise was set to.
double follow(PathFollower &follower, quiros::LmsFilter &model, const std::vector<float> &truth,
              double otherRms, double seconds, float *loudest = nullptr) {
    quiros::Fir shape(1);
    shape.setTaps(1);
    shape.setCoefficient(0, 1.0f);
    kesto::DelayLine sent(Taps);
    kesto::WhiteNoise other(17);
    double heard = 0, error = 0;
    const long n = std::lround(seconds * Rate);
    for (long i = 0; i < n; ++i) {
        const float fromPath = kesto::dot(truth.data(), sent.recent(), Taps);
        const float e = fromPath + static_cast<float>(otherRms) * other();
        follower.follow(model, e, Taps);
        sent.push(follower.next(shape));
        if (i % 256 == 255)
            follower.adjustLevel();
        if (loudest)
            *loudest = std::max(*loudest, follower.share());
        if (i >= n / 2)
            heard += static_cast<double>(fromPath) * fromPath, error += static_cast<double>(e) * e;
    }
    return heard / error;
}

// A path that moved calls for the noise's full share; one that held still, after a second of
// holding, for its quiet share.
TEST(PathFollower, FollowsAPathThatMovedWithItsNoiseAShareOfTheError) {
    const struct {
        const char *name;
        std::vector<float> before, after; // the model starts right for `before`
        double seconds, maxDb;            // the model's misalignment after so long, at most
    } cases[] = {
        {"a path that holds still stays modelled", path(3, 0.5f), path(3, 0.5f), 5, -15},
        {"a path 6 samples later", path(3, 0.5f), path(9, 0.5f), 5, -12},
        {"a path 3 samples earlier and 6 dB louder", path(6, 0.25f), path(3, 0.5f), 5, -12},
        {"a path of the other sign", path(3, 0.5f), path(3, -0.5f), 5, -12},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        PathFollower follower(Taps, 1, 3);
        follower.restart(0.0);
        quiros::LmsFilter model(Taps);
        model.setTaps(Taps);
        for (std::size_t k = 0; k < Taps; ++k)
            model.setCoefficient(k, c.before[k]);
        const double share = follow(follower, model, c.after, 30.0, c.seconds);
        EXPECT_LT(misalignmentDb(model, c.after), c.maxDb);
        const bool held = c.before == c.after;
        EXPECT_NEAR(db(share), db(held ? PathFollower::QuietShare : PathFollower::Share), 1.5)
            << "the noise's share of the error";
        // Settled, or falling back from the largest step a path that moved called for.
        EXPECT_LE(follower.step(), held ? PathFollower::SmallestStep : PathFollower::LargestStep / 3);
        // Its step still falling or not, a model that fits again is trusted: W runs at full speed.
        EXPECT_EQ(follower.confidence(), 1.0f);
    }
}

// A path that changes by less than a quiet noise's block can tell (a gain 20 % lower): the
// running fit notices within seconds, the noise is loud again, and the model follows at its smallest
// step, neither doubted nor slowing W.
TEST(PathFollower, ASmallChangeUnderAQuietNoiseMakesItLoudAgainAndIsFollowed) {
    PathFollower follower(Taps, 1, 7);
    follower.restart(0.0);
    quiros::LmsFilter model(Taps);
    model.setTaps(Taps);
    const auto before = path(3, 0.5f), after = path(3, 0.4f);
    for (std::size_t k = 0; k < Taps; ++k)
        model.setCoefficient(k, before[k]);
    follow(follower, model, before, 30.0, 3);
    ASSERT_EQ(follower.share(), PathFollower::QuietShare);
    float loudest = 0;
    follow(follower, model, after, 30.0, 3, &loudest);
    EXPECT_EQ(loudest, PathFollower::Share);
    EXPECT_EQ(follower.confidence(), 1.0f); // never doubted
    follow(follower, model, after, 30.0, 10);
    EXPECT_LT(misalignmentDb(model, after), -15);
}

// Below the corner the noise tells the model nothing: a departure there from the model the mode
// began with is taken back, while the path above the corner stays modelled.
TEST(PathFollower, HoldsTheModelBelowTheCornerWhereTheNoiseIsNotHeard) {
    constexpr double Corner = 0.02; // cycles per sample
    const auto truth = path(3, 0.5f);
    PathFollower follower(Taps, 1, 5);
    follower.restart(Corner);
    quiros::LmsFilter model(Taps);
    model.setTaps(Taps);
    for (std::size_t k = 0; k < Taps; ++k)
        model.setCoefficient(k, truth[k]);
    follower.anchor(model, Taps);
    // A departure at 0 Hz only: the same offset on every tap.
    constexpr float Offset = 0.02f;
    for (std::size_t k = 0; k < Taps; ++k)
        model.setCoefficient(k, truth[k] + Offset);
    auto offsetAtZeroHz = [&] {
        double sum = 0;
        for (std::size_t k = 0; k < Taps; ++k)
            sum += model.coefficient(k) - truth[k];
        return sum;
    };
    const double before = offsetAtZeroHz();
    follow(follower, model, truth, 30.0, 5);
    EXPECT_LT(std::abs(offsetAtZeroHz()), 0.2 * before);
    EXPECT_LT(misalignmentDb(model, truth), -15);
}

} // namespace
