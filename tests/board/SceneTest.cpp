// Scenes: the coefficient-file format, scene directories and their errors, resampling, the
// built-in duct; the plant's converters.

#include "board/Plant.h"
#include "board/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>

namespace {

using namespace kesto;
namespace fs = std::filesystem;

TEST(CoefficientFormat, ReadsCountsItemsAndRefusesBadOnesWithTheLine) {
    const struct {
        const char *text;
        std::vector<double> values; // expected on success
        int line;                   // expected line on failure, 0 = success
    } cases[] = {
        {"3\n0.5\n-0.25\n0.125\n", {0.5, -0.25, 0.125}, 0},
        {"3,0.5,-0.25,0.125,9.9", {0.5, -0.25, 0.125}, 0},
        {" 2 , ,1e-3 \r\n", {0.0, 1e-3}, 0},
        {"0", {}, 0},
        {"2\n1\n", {}, 3},
        {"2\n1\nabc\n", {}, 3},
        {"-1\n", {}, 1},
        {"1.5\n1\n2\n", {}, 1},
        {"", {}, 1},
        {"1\ninf\n", {}, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        int line = 0;
        std::string error;
        const auto v = parseCoefficients(c.text, line, error);
        if (c.line == 0) {
            ASSERT_TRUE(v.has_value()) << error;
            EXPECT_EQ(*v, c.values);
        } else {
            EXPECT_FALSE(v.has_value());
            EXPECT_EQ(line, c.line) << error;
            EXPECT_FALSE(error.empty());
        }
    }
}

class SceneDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kesto-scene-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        files = {{"scene.ini", "sample_rate = 10000\ntone = 100 0.1  # the fan\nbroadband = 0.01\n"
                               "mic_noise = 0.001\n"},
                 {"primary_ref.cof", "2\n0\n1\n"},
                 {"primary_err.cof", "3,0,0,1"},
                 {"secondary_ref.cof", "1\n0.5\n"},
                 {"secondary_err.cof", "2\n0\n0.5\n"}};
    }
    void TearDown() override { fs::remove_all(dir); }
    void write() {
        for (const auto &[name, text] : files)
            if (text != "<missing>")
                std::ofstream(dir / name) << text;
    }
    fs::path dir;
    std::map<std::string, std::string> files;
};

TEST_F(SceneDir, ReadsAGoodScene) {
    write();
    std::string error;
    const auto s = loadScene(dir.string(), error);
    ASSERT_TRUE(s.has_value()) << error;
    EXPECT_EQ(s->sampleRate, 10000);
    ASSERT_EQ(s->tones.size(), 1u);
    EXPECT_EQ(s->tones[0].frequency, 100);
    EXPECT_EQ(s->broadband, 0.01);
    EXPECT_EQ(s->micNoise, 0.001);
    EXPECT_EQ(s->primaryErr, (std::vector<double>{0, 0, 1}));
}

TEST_F(SceneDir, NamesTheFileAndLineOfWhatIsWrong) {
    const struct {
        const char *file, *text, *where;
    } cases[] = {
        {"scene.ini", "sample_rate = 10000\nloudness = 3\n", "scene.ini:2: unknown key"},
        {"scene.ini", "\n\ntone = 100\n", "scene.ini:3: tone takes 2"},
        {"scene.ini", "broadband = -1\n", "scene.ini:1: broadband must not be negative"},
        {"scene.ini", "sample_rate = fast\n", "scene.ini:1: \"fast\" is not"},
        {"scene.ini", "sample_rate 10000\n", "scene.ini:1: expected key = value"},
        {"scene.ini", "sample_rate = 5\n", "scene.ini:1: sample_rate must lie"},
        {"secondary_err.cof", "3\n1\n2\n", "secondary_err.cof:4: the file ends"},
        {"primary_ref.cof", "2\n1\nx\n", "primary_ref.cof:3: \"x\" is not"},
        {"primary_err.cof", "<missing>", "primary_err.cof:0: cannot be read"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.where);
        SetUp();
        files[c.file] = c.text;
        write();
        std::string error;
        EXPECT_FALSE(loadScene(dir.string(), error).has_value());
        EXPECT_NE(error.find(c.where), std::string::npos) << error;
        TearDown();
    }
}

double sum(const std::vector<double> &h) { return std::accumulate(h.begin(), h.end(), 0.0); }

std::size_t peak(const std::vector<double> &h) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < h.size(); ++i)
        if (std::abs(h[i]) > std::abs(h[k]))
            k = i;
    return k;
}

TEST(Resampling, KeepsGainAndDelay) {
    // A smooth pulse at 10 ms, resampled 10 kHz -> 20 kHz, 44.1 kHz and 8 kHz.
    std::vector<double> h(400, 0.0);
    for (int i = -8; i <= 8; ++i)
        h[static_cast<std::size_t>(100 + i)] = 0.5 + 0.5 * std::cos(M_PI * i / 8);
    for (double to : {20000.0, 44100.0, 8000.0}) {
        const auto r = resampleResponse(h, 10000, to);
        EXPECT_NEAR(sum(r), sum(h), 0.02 * sum(h)) << to;
        EXPECT_NEAR(static_cast<double>(peak(r)), 0.01 * to, 1.5) << to;
    }
}

TEST(BuiltInDuct, IsCausalForCancellationAtEveryRate) {
    // The noise must reach the error microphone later than it reaches the detection microphone
    // plus the loudspeaker's own path plus a sample of converter latency each way.
    for (double rate : {8000.0, 20000.0, 48000.0}) {
        SCOPED_TRACE(rate);
        const Scene s = builtInScene(rate);
        const double primaryRef = static_cast<double>(peak(s.primaryRef));
        const double primaryErr = static_cast<double>(peak(s.primaryErr));
        const double secondaryErr = static_cast<double>(peak(s.secondaryErr));
        EXPECT_NEAR(secondaryErr / rate, 1.0 / 343.0, 0.4e-3);
        EXPECT_GT(primaryErr - primaryRef - secondaryErr, 2.0 + 0.001 * rate);
        for (const auto *p : {&s.primaryRef, &s.primaryErr, &s.secondaryRef, &s.secondaryErr})
            EXPECT_LT(p->size(), static_cast<std::size_t>(0.06 * rate + 40));
    }
}

TEST(Converters, ClipTo12BitsAndDelayTheOutputOneSample) {
    Scene s;
    s.secondaryErr = {1.0};
    s.secondaryRef = {0.5};
    Plant p(s, 20000, 1);
    const struct {
        std::int32_t out;         // written at sample n
        std::int32_t err, det;    // read at sample n + 1
    } cases[] = {{1000, 1000, 500}, {-2048, -2048, -1024}, {5000, 2047, 1024}, {-9999, -2048, -1024}};
    EXPECT_EQ(p.sense().error, 0);
    for (const auto &c : cases) {
        p.drive(c.out);
        const auto in = p.sense();
        EXPECT_EQ(in.error, c.err) << c.out;
        EXPECT_EQ(in.detection, c.det) << c.out;
    }
    Scene loud;
    loud.tones = {{50, 3.0}};
    loud.primaryErr = {1.0};
    Plant q(loud, 20000, 1);
    std::int32_t lo = 0, hi = 0;
    for (int i = 0; i < 800; ++i) {
        const auto in = q.sense();
        q.drive(0);
        lo = std::min(lo, in.error);
        hi = std::max(hi, in.error);
    }
    EXPECT_EQ(lo, -2048);
    EXPECT_EQ(hi, 2047);
}

} // namespace
