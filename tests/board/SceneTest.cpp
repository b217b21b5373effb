// Scene directories and their errors, resampling of responses, and the plant's converters and
// long responses.

#include "SceneDir.h"
#include "board/Plant.h"
#include "board/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numeric>
#include <tuple>

namespace {

using namespace kesto;

// Loads a scene directory of good files, `file` holding `text` instead (nullptr: left out).
std::optional<Scene> load(std::string &error, const char *file = "", const char *text = "") {
    const test::SceneDir dir(*file ? std::map<std::string, const char *>{{file, text}}
                                   : std::map<std::string, const char *>{});
    return loadScene(dir.path(), error);
}

TEST(SceneDir, ReadsAGoodScene) {
    std::string error;
    const auto s = load(error);
    ASSERT_TRUE(s.has_value()) << error;
    EXPECT_EQ(std::tuple(s->sampleRate, s->tones.size(), s->tones.at(0).frequency, s->broadband,
                         s->micNoise),
              std::tuple(10000.0, std::size_t{1}, 100.0, 0.01, 0.001));
    EXPECT_EQ(s->primaryRef, (std::vector<double>{0, 1e-3}));
    EXPECT_EQ(s->primaryErr, (std::vector<double>{0, 0, 1}));
}

TEST(SceneDir, NamesTheFileAndLineOfWhatIsWrong) {
    const struct {
        const char *file, *text, *where;
    } cases[] = {
        {"scene.ini", "sample_rate = 10000\nloudness = 3\n", "scene.ini:2: unknown key"},
        {"scene.ini", "\n\ntone = 100\n", "scene.ini:3: tone takes 2"},
        {"scene.ini", "broadband = -1\n", "scene.ini:1: broadband must not be negative"},
        {"scene.ini", "sample_rate 10000\n", "scene.ini:1: expected key = value"},
        {"scene.ini", "sample_rate = 5\n", "scene.ini:1: sample_rate must lie"},
        {"scene.ini", "sample_rate = 384000.03\n", "must lie between 1000 and 384000 (not 384000.03)"},
        {"scene.ini", "mic_noise = 2e6\n", "scene.ini:1: mic_noise must lie between 0 and 1000000"},
        {"scene.ini", "tone = 100 2e6\n", "scene.ini:1: tone must lie between 0 and 1000000"},
        {"scene.ini", "tone = 5000 0.1\nsample_rate = 10000\n", "scene.ini:1: tone frequencies must"},
        {"scene.ini", "sample_rate = 8000\ntone = 4000 0.1\n", "scene.ini:2: tone frequencies must lie below half"},
        {"scene.ini", "tone = 200 -0.5\n", "scene.ini:1: tone must not be negative"},
        {"scene.ini", "broadband = 1e39\n", "scene.ini:1: broadband must lie between 0 and 1000000"},
        {"scene.ini", "tone = 200 0,05\n", "scene.ini:1: \"0,05\" is not a finite number"},
        {"primary_ref.cof", "1\n-2e6\n", "primary_ref.cof:0: coefficient 1 lies outside"},
        {"secondary_err.cof", "3\n1\n2\n", "secondary_err.cof:4: the file ends"},
        {"primary_ref.cof", "2\r\n1\r\nx\r\n", "primary_ref.cof:3: the coefficient \"x\" is not"},
        {"secondary_ref.cof", "-1\n", "secondary_ref.cof:1: the count \"-1\" is not a whole number"},
        {"primary_err.cof", nullptr, "primary_err.cof:0: cannot be read"},
    };
    for (const auto &c : cases) {
        std::string error;
        EXPECT_FALSE(load(error, c.file, c.text).has_value()) << c.where;
        EXPECT_NE(error.find(c.where), std::string::npos) << error;
    }
}

// A smooth pulse at 10 kHz, 199 ms in and ending two samples before the response does, so that
// the resampler's tail must be let out: every rate keeps its sum (the DC gain) within 1 % and its
// centre of mass (the delay) within one sample.
TEST(Resampling, KeepsGainWithinOnePercentAndDelayWithinOneSample) {
    std::vector<double> h(2000, 0.0);
    for (int i = -8; i <= 8; ++i)
        h[static_cast<std::size_t>(1990 + i)] = 0.5 + 0.5 * std::cos(M_PI * i / 8);
    const double gain = std::accumulate(h.begin(), h.end(), 0.0);
    for (double to : {20000.0, 44100.0, 8000.0, 1000.0, 96000.0}) {
        const auto r = resampleResponse(h, 10000, to);
        const double sum = std::accumulate(r.begin(), r.end(), 0.0);
        double moment = 0;
        for (std::size_t i = 0; i < r.size(); ++i)
            moment += static_cast<double>(i) * r[i];
        EXPECT_NEAR(sum, gain, 0.01 * gain) << to;
        EXPECT_NEAR(moment / sum, 0.199 * to, 1.0) << to;
    }
}

// A rate the scene cannot run at is refused with the reason; the caller keeps its previous plant.
TEST(Resampling, ARateTheSceneCannotRunAtIsRefused) {
    const struct {
        double sceneRate;
        std::size_t taps;
        double tone, to;
        const char *why;
    } cases[] = {
        {48000, 10, 15000, 20000, "the tone at 15000 Hz is not below half of 20000 Hz"},
        {1000, 4000, 100, 20000, "primary_ref would hold more than 65536 taps at 20000 Hz"},
        {384000, 10, 100, 1000, "the resampler refuses the ratio"},
        {20000, 10, 100, 500, "the rate 500 Hz lies outside"},
        {48000, 10, 100, 20000, nullptr},
    };
    for (const auto &c : cases) {
        Scene s;
        s.sampleRate = c.sceneRate;
        s.tones = {{c.tone, 0.1}};
        s.primaryRef = s.primaryErr = s.secondaryRef = s.secondaryErr = std::vector<double>(c.taps, 0.1);
        std::string error;
        const auto at = sceneAt(s, c.to, error);
        EXPECT_EQ(at.has_value(), c.why == nullptr) << c.to;
        EXPECT_NE(error.find(c.why ? c.why : ""), std::string::npos) << error;
    }
}

TEST(Converters, ClipTo12BitsAndDelayTheOutputOneSample) {
    Scene s; // silent but for the loudspeaker
    s.secondaryErr = {2.0};
    s.secondaryRef = {0.5};
    Plant p(s, 20000, 1);
    const struct {
        std::int32_t out;      // written at sample n
        std::int32_t err, det; // read at sample n + 1
    } cases[] = {
        {1000, 2000, 500}, {-1500, -2048, -750}, {5000, 2047, 1024}, {-9999, -2048, -1024}};
    EXPECT_EQ(p.sense().error, 0);
    for (const auto &c : cases) {
        p.drive(c.out);
        const auto in = p.sense();
        EXPECT_EQ(in.error, c.err) << c.out;
        EXPECT_EQ(in.detection, c.det) << c.out;
    }
}

// The partitioned FFT convolution gives what the plain sum gives.
TEST(PathFilter, EveryLengthMatchesTheDirectSum) {
    const std::size_t lengths[] = {1, 100, 511, 512, 513, 700, 2400};
    for (std::size_t n : lengths) {
        SCOPED_TRACE(n);
        WhiteNoise noise(n);
        std::vector<float> h(n);
        for (std::size_t k = 0; k < n; ++k)
            h[k] = noise() * std::exp(-static_cast<float>(k) / 600.0f);
        PathFilter filter(h);
        DelayLine line(std::max(n, 2 * PathFilter::Block + 1));
        double worst = 0, scale = 0;
        for (int t = 0; t < 5000; ++t) {
            line.push(t == 1234 ? 50.0f : noise()); // an impulse among noise
            const float direct = dot(h.data(), line.recent(), n);
            worst = std::max(worst, static_cast<double>(std::abs(filter(line) - direct)));
            scale = std::max(scale, static_cast<double>(std::abs(direct)));
        }
        EXPECT_LT(worst, 1e-5 * scale);
    }
}

} // namespace
