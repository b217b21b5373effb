// The plant follows a scene's timeline as samples run: tones glide, levels move, responses and
// recordings crossfade, nothing steps, and a repeating timeline comes back to its base. Times are
// counted in samples at the plant's rate.

#include "board/NoiseSource.h"
#include "board/Plant.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

using namespace kesto;

constexpr double Rate = 10000;

std::size_t at(double seconds) {
    return static_cast<std::size_t>(std::lround(seconds * Rate));
}

// The error microphone (counts) over `seconds`, the control output silent.
std::vector<double> errorOf(Plant &plant, double seconds) {
    std::vector<double> e;
    for (std::size_t n = at(seconds); n > 0; --n) {
        e.push_back(plant.sense().error);
        plant.drive(0);
    }
    return e;
}

// A source heard unchanged at the error microphone: the plant's other paths silent.
Scene heard() {
    Scene s;
    s.sampleRate = Rate;
    s.primaryErr = {1.0};
    s.primaryRef = s.secondaryRef = s.secondaryErr = {0.0};
    return s;
}

SceneChange changeAt(double t, double glide) {
    SceneChange c;
    c.at = t;
    c.glide = glide;
    return c;
}

std::shared_ptr<const Recording> sine(double frequency, double seconds) {
    auto r = std::make_shared<Recording>();
    r->sampleRate = Rate;
    for (std::size_t n = 0; n < at(seconds); ++n)
        r->samples.push_back(
            static_cast<float>(std::sin(2 * std::numbers::pi * frequency * n / Rate)));
    return r;
}

enum class Measure { Rms, Frequency, LargestStep };

// Over samples [from, to): the rms, the frequency (rising zero crossings over the time between
// the first and the last) or the largest step from a sample to the next.
double measure(const std::vector<double> &e, Measure what, std::size_t from, std::size_t to) {
    double sum = 0, largest = 0;
    std::size_t rises = 0, first = 0, last = 0;
    for (std::size_t n = from + 1; n < to; ++n) {
        sum += e[n] * e[n];
        if (e[n - 1] < 0 && e[n] >= 0)
            (rises++ == 0 ? first : last) = n;
        largest = std::max(largest, std::abs(e[n] - e[n - 1]));
    }
    if (what == Measure::Frequency)
        return rises > 1 ? static_cast<double>(rises - 1) * Rate / static_cast<double>(last - first)
                         : 0;
    return what == Measure::Rms ? std::sqrt(sum / static_cast<double>(to - from - 1)) : largest;
}

TEST(PlantTimeline, FollowsTheChangesAsSamplesRun) {
    struct Window {
        double from, to; // s
        Measure what;
        double expected, tolerance;
    };
    // A tone of amplitude 0.5 is 1024 counts; its largest step at f Hz is 2 pi f / Rate of that.
    const double step100 = 2 * std::numbers::pi * 100 / Rate * 1024;
    const struct {
        const char *name;
        std::function<void(Scene &)> timeline;
        double seconds;
        std::vector<Window> windows;
    } cases[] = {
        {"a tone glides up with a continuous phase",
         [](Scene &s) {
             s.tones = {{100, 0.5}};
             s.changes = {changeAt(0.2, 0.4)};
             s.changes[0].tones = {{{200, 0.5}}};
         },
         1.0,
         {{0, 0.2, Measure::Frequency, 100, 2},
          {0.35, 0.45, Measure::Frequency, 150, 5},
          {0.7, 1.0, Measure::Frequency, 200, 2},
          {0, 1.0, Measure::LargestStep, 2 * step100, 3}}},
        {"a level rises 12 dB at once, within 20 ms",
         [](Scene &s) {
             s.broadband = 0.05;
             s.changes = {changeAt(0.2, 0)};
             s.changes[0].broadband = 0.2;
         },
         0.5,
         {{0, 0.2, Measure::Rms, 102.4, 8}, {0.22, 0.5, Measure::Rms, 409.6, 25}}},
        {"a tone left out fades out, the one kept holds",
         [](Scene &s) {
             s.tones = {{100, 0.3}, {250, 0.3}};
             s.changes = {changeAt(0.1, 0.1)};
             s.changes[0].tones = {{{100, 0.3}}};
         },
         0.5,
         {{0, 0.1, Measure::Rms, 614, 10},
          {0.2, 0.5, Measure::Rms, 434, 5},
          {0.2, 0.5, Measure::Frequency, 100, 2}}},
        {"a response replaced at once is crossfaded, never stepped",
         [](Scene &s) {
             s.tones = {{100, 0.5}};
             s.changes = {changeAt(0.2025, 0)}; // at the tone's peak
             s.changes[0].primaryErr =
                 std::make_shared<const std::vector<double>>(std::vector<double>{-1.0});
         },
         0.5,
         {{0, 0.5, Measure::LargestStep, step100, 12}, {0.25, 0.5, Measure::Rms, 724, 5}}},
        {"the end of a period brings the base back, without a step",
         [](Scene &s) {
             s.tones = {{100, 0.1}};
             s.repeat = 0.3;
             s.changes = {changeAt(0.1, 0)};
             s.changes[0].tones = {{{100, 0.5}}};
         },
         0.7,
         {{0.32, 0.4, Measure::Rms, 145, 3},
          {0.42, 0.58, Measure::Rms, 724, 5},
          {0.62, 0.7, Measure::Rms, 145, 3},
          {0, 0.7, Measure::LargestStep, step100, 12}}},
        {"the microphones' noise glides",
         [](Scene &s) {
             s.micNoise = 0.01;
             s.changes = {changeAt(0.1, 0.1)};
             s.changes[0].micNoise = 0.1;
         },
         0.5,
         {{0, 0.1, Measure::Rms, 20.5, 2}, {0.2, 0.5, Measure::Rms, 205, 10}}},
        {"a recording loops at its gain, and another crossfades in",
         [](Scene &s) {
             s.noise = sine(100, 0.2);
             s.noiseGain = 0.25;
             s.changes = {changeAt(0.3, 0.1)};
             s.changes[0].noise = sine(200, 0.2);
             s.changes[0].noiseGain = 0.5;
         },
         1.0,
         {{0, 0.3, Measure::Frequency, 100, 2},
          {0, 0.3, Measure::Rms, 362, 5},
          {0.5, 1.0, Measure::Frequency, 200, 2},
          {0.5, 1.0, Measure::Rms, 724, 8}}},
    };
    for (const auto &c : cases) {
        Scene scene = heard();
        c.timeline(scene);
        Plant plant(scene, Rate, 1);
        const auto e = errorOf(plant, c.seconds);
        for (const Window &w : c.windows)
            EXPECT_NEAR(measure(e, w.what, at(w.from), at(w.to)), w.expected, w.tolerance)
                << c.name << ", " << w.from << " to " << w.to << " s";
    }
}

// Long responses run partly by FFT: one crossfaded in must, once the crossfade is over, give
// exactly what a plant holding it from the start gives, on both delay lines.
TEST(PlantTimeline, ALongResponseTakenOverGivesWhatItGivesAlone) {
    Scene scene = heard();
    scene.broadband = 0.05;
    scene.secondaryErr = {0.5};
    std::vector<double> longer(700);
    WhiteNoise noise(3);
    for (std::size_t k = 0; k < longer.size(); ++k)
        longer[k] = 0.5 * noise() * std::exp(-static_cast<double>(k) / 200);
    scene.changes = {changeAt(0.1, 0)};
    scene.changes[0].primaryErr = std::make_shared<const std::vector<double>>(longer);
    scene.changes[0].secondaryErr = scene.changes[0].primaryErr;
    Plant changing(scene, Rate, 5), settled(sceneStretches(scene).back().scene, Rate, 5);
    WhiteNoise drive(4);
    int worst = 0;
    for (std::size_t n = 0; n < at(0.5); ++n) {
        const int e = changing.sense().error, f = settled.sense().error;
        if (n > at(0.1 + MinGlide))
            worst = std::max(worst, std::abs(e - f));
        const auto y = static_cast<std::int32_t>(200 * drive());
        changing.drive(y);
        settled.drive(y);
    }
    EXPECT_LE(worst, 1);
}

// A plant that seeks is, at once, where the timeline is there: mid-glide, and back at the base.
TEST(PlantTimeline, SeekingPutsTheTimelineWhereItIsThen) {
    Scene scene = heard();
    scene.tones = {{100, 0.1}};
    scene.changes = {changeAt(0.2, 0.2)};
    scene.changes[0].tones = {{{100, 0.5}}};
    Plant plant(scene, Rate, 1);
    const struct {
        double seek, rms; // rms over the next 20 ms, counts
    } cases[] = {{0.3, 463}, {0.5, 724}, {0, 145}, {0.1, 145}};
    for (const auto &c : cases) {
        plant.seek(c.seek);
        EXPECT_NEAR(plant.seconds(), c.seek, 1 / Rate);
        EXPECT_NEAR(measure(errorOf(plant, 0.02), Measure::Rms, 0, at(0.02)), c.rms, 0.06 * c.rms)
            << c.seek;
    }
}

// Played round and round, a recording never steps by more than it does itself, whatever its end
// holds against its start.
TEST(RecordedNoise, TheLoopSeamNeverStepsMoreThanTheNoiseItself) {
    auto lowPassedNoise = [](std::size_t n, double drift) {
        std::vector<float> x(n);
        WhiteNoise w(9);
        Biquad lp = Biquad::secondOrder(false, 500, 0.7071, Rate);
        for (std::size_t i = 0; i < n; ++i)
            x[i] = static_cast<float>(0.2 * lp(w()) + drift * (static_cast<double>(i) / n - 0.5));
        return x;
    };
    const struct {
        const char *name;
        std::vector<float> samples;
    } cases[] = {
        {"noise that drifts from -0.4 to 0.4", lowPassedNoise(at(1.0), 0.8)},
        {"noise without drift", lowPassedNoise(at(0.5), 0)},
        {"a tone a quarter of a cycle off the recording's length", sine(125, 0.298)->samples},
        {"the shortest recording, its fade a quarter of it",
         lowPassedNoise(at(SceneLimits::MinSoundSeconds), 0.8)},
    };
    for (const auto &c : cases) {
        double own = 0;
        for (std::size_t i = 1; i < c.samples.size(); ++i)
            own = std::max(own, static_cast<double>(std::abs(c.samples[i] - c.samples[i - 1])));
        Scene scene;
        auto r = std::make_shared<Recording>();
        r->sampleRate = Rate;
        r->samples = c.samples;
        scene.noise = r;
        NoiseSource source(scene, Rate, 1);
        double previous = source(), largest = 0;
        for (std::size_t n = 0; n < 3 * c.samples.size(); ++n) {
            const double v = source();
            largest = std::max(largest, std::abs(v - previous));
            previous = v;
        }
        EXPECT_LE(largest, own * 1.001) << c.name;
    }
}

} // namespace
