// The board runs a scene's timeline on its own samples: from the start of each run, and on
// across a plant built for a new rate.

#include "board/BoardCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace kesto {
namespace {

// A silent program at `rate`, which the test changes through the host the board gave it.
double rate = 20000;
const KestoDspHost *host = nullptr;
const KestoDspProgram Silent{
    KESTO_DSP_ABI,
    "silent",
    [](const KestoDspHost *h, std::uint64_t) -> void * { return (host = h, &rate); },
    [](void *) {},
    [](void *, std::int32_t, std::int32_t) { return std::int32_t{0}; },
    [](void *) { return std::int32_t{0}; },
    [](void *) { return rate; }};

// A silent program that notes the loudest error it is given over its first 200 samples.
std::int32_t loudestEarly = 0;
int early = 0;
const KestoDspProgram Listener{
    KESTO_DSP_ABI,
    "listener",
    [](const KestoDspHost *, std::uint64_t) -> void * { return &early; },
    [](void *) {},
    [](void *, std::int32_t, std::int32_t error) {
        if (early < 200)
            ++early, loudestEarly = std::max(loudestEarly, std::abs(error));
        return std::int32_t{0};
    },
    [](void *) { return std::int32_t{0}; },
    [](void *) { return 20000.0; }};

// The error microphone's largest reading over the next `samples` samples.
std::int32_t loudest(BoardCore &core, int samples) {
    std::int32_t peak = 0;
    for (int i = 0; i < samples; ++i) {
        core.step(1);
        peak = std::max(peak, std::abs(core.lastFrame().error));
    }
    return peak;
}

TEST(BoardTimeline, RunsFromEachStartAndGoesOnAcrossANewRate) {
    // A 100 Hz tone heard 5 ms late, 20 dB louder from 1 s on.
    Scene scene;
    scene.tones = {{100, 0.05}};
    scene.primaryErr.assign(101, 0.0);
    scene.primaryErr.back() = 1.0;
    scene.primaryRef = scene.secondaryRef = scene.secondaryErr = {0.0};
    scene.changes.resize(1);
    scene.changes[0].at = 1.0;
    scene.changes[0].tones = {{{100, 0.5}}};
    constexpr std::int32_t Quiet = 102, Loud = 1024; // counts
    BoardCore core(BoardConfig{scene, Clock::Free, "", 1});
    rate = 20000;
    std::string error;
    ASSERT_TRUE(core.attach(&Silent, error)) << error;
    core.settle();
    EXPECT_NEAR(loudest(core, 400), Quiet, 2);
    core.step(20000);
    EXPECT_NEAR(loudest(core, 400), Loud, 2);

    rate = 40000; // a plant for the new rate takes over at 1.04 s: it stays loud
    host->set_rate(host->ctx, rate);
    core.settle();
    EXPECT_NEAR(loudest(core, 800), Loud, 2);

    // A new run starts the timeline again; the samples its thread ran before it stopped count.
    std::string warning;
    ASSERT_TRUE(core.start(warning));
    core.stop();
    if (core.samples() + 1200 < 0.98 * rate) {
        core.step(400); // what the path still holds of the loud tone
        EXPECT_NEAR(loudest(core, 800), Quiet, 2) << core.samples() << " samples run";
    }
}

// On the free clock a run waits for its plant: the microphones hear the scene from its first
// sample, however long the plant takes to build (here a second-long response), and the timeline
// is not late.
TEST(BoardTimeline, OnTheFreeClockTheFirstSampleHearsThePlant) {
    Scene scene;
    scene.tones = {{100, 0.05}}; // 102 counts, its first peak at the 50th sample
    scene.primaryErr.assign(20000, 0.0);
    scene.primaryErr.front() = 1.0;
    scene.primaryErr.back() = 1e-6;
    scene.primaryRef = scene.secondaryRef = scene.secondaryErr = scene.primaryErr;
    BoardCore core(BoardConfig{scene, Clock::Free, "", 1});
    std::string error, warning;
    ASSERT_TRUE(core.attach(&Listener, error)) << error;
    early = loudestEarly = 0;
    ASSERT_TRUE(core.start(warning)) << warning;
    while (core.samples() < 400)
        std::this_thread::yield();
    core.stop();
    EXPECT_NEAR(loudestEarly, 102, 2);
}

} // namespace
} // namespace kesto
