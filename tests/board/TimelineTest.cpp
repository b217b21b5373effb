// Scenes with a timeline: the sections scene.ini may hold, what is refused and where, the frozen
// stretches between the changes, and the timeline at another rate.

#include "SceneDir.h"
#include "board/Plant.h"
#include "board/Scene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using namespace kesto;

// The scene's timeline in one line: what each section sets.
std::string summary(const Scene &s) {
    std::ostringstream o;
    o << "taps " << s.primaryErr.size() << "/" << s.secondaryErr.size() << " repeat " << s.repeat;
    if (s.noise)
        o << " noise " << s.noise->name << " " << s.noise->samples.size() << " first "
          << s.noise->samples[0] << " gain " << s.noiseGain;
    for (const SceneChange &c : s.changes) {
        o << " | at " << c.at << " glide " << c.glide;
        if (c.tones)
            for (const Tone &t : *c.tones)
                o << " tone " << t.frequency << "/" << t.amplitude;
        const std::pair<const char *, std::optional<double>> levels[] = {
            {"broadband", c.broadband}, {"mic_noise", c.micNoise}, {"noise_gain", c.noiseGain}};
        for (const auto &[name, v] : levels)
            if (v)
                o << " " << name << " " << *v;
        if (c.primaryErr)
            o << " primary_err " << c.primaryErr->size();
        if (c.secondaryErr)
            o << " secondary_err " << c.secondaryErr->size();
        if (c.noise)
            o << " noise " << c.noise->name << " " << c.noise->samples.size();
    }
    return o.str();
}

// A scene directory with the good files, scene.ini holding `ini`, and the files sections name.
struct TimelineDir {
    explicit TimelineDir(const std::string &ini)
        : dir({{"scene.ini", ini.c_str()},
               {"moved.cof", "3\n0\n0\n0.4\n"},
               {"bad.cof", "2\n1\n"},
               {"text.wav", "RIFF, but not really"}}) {
        test::writeWav(dir.file("fan.wav"), std::vector<float>(5000, 0.25f), 10000);
        test::writeWav(dir.file("short.wav"), std::vector<float>(500, 0.25f), 10000);
        std::vector<float> board(3 * 2000, 0.5f); // a recording of the board: three channels
        for (std::size_t i = 0; i < board.size(); i += 3)
            board[i] = -0.125f;
        test::writeWav(dir.file("board.wav"), board, 20000, 3);
    }
    test::SceneDir dir;
};

TEST(Timeline, SectionsReadAsWritten) {
    const struct {
        const char *name, *ini, *summary;
    } cases[] = {
        {"a scene without sections holds still", "tone = 100 0.1\n", "taps 3/2 repeat 0"},
        {"a section sets tones, levels and a response, the next at once",
         "repeat = 60\n[at 30]\nglide = 10\ntone = 165 0.045\ntone = 330 0.02\nbroadband = 0.06\n"
         "secondary_err = moved.cof\n[ at 45 ]  # down again\ntone = 110 0.03\nmic_noise = 0.002\n",
         "taps 3/2 repeat 60 | at 30 glide 10 tone 165/0.045 tone 330/0.02 broadband 0.06 "
         "secondary_err 3"
         " | at 45 glide 0 tone 110/0.03 mic_noise 0.002"},
        {"recordings in the base and in a section, the board's own giving its first channel",
         "noise_file = board.wav\nnoise_gain = 2\n[at 1]\nnoise_file = fan.wav\nnoise_gain = 0.5\n",
         "taps 3/2 repeat 0 noise board.wav 2000 first -0.125 gain 2 | at 1 glide 0 noise_gain 0.5 "
         "noise fan.wav 5000"},
        {"the base names its own files, one of them twice",
         "primary_err = moved.cof\nsecondary_err = moved.cof\n[at 2]\nprimary_err = "
         "primary_err.cof\n",
         "taps 3/3 repeat 0 | at 2 glide 0 primary_err 3"},
        {"a glide may end as the next section starts",
         "[at 1]\nglide = 2\nbroadband = 0\n[at 3]\nbroadband = 1\n",
         "taps 3/2 repeat 0 | at 1 glide 2 broadband 0 | at 3 glide 0 broadband 1"},
        {"the last glide may end as the return to the base begins",
         "repeat = 10\n[at 9]\nglide = 0.98\nbroadband = 0\n",
         "taps 3/2 repeat 10 | at 9 glide 0.98 broadband 0"},
    };
    for (const auto &c : cases) {
        const TimelineDir d(c.ini);
        std::string error;
        const auto scene = loadScene(d.dir.path(), error);
        ASSERT_TRUE(scene.has_value()) << c.name << ": " << error;
        EXPECT_EQ(summary(*scene), c.summary) << c.name;
    }
}

TEST(Timeline, RefusesWithTheFileTheLineAndTheReason) {
    const struct {
        const char *name, *ini, *where, *also = "";
    } cases[] = {
        {"sections out of time order", "[at 10]\n[at 5]\n",
         "scene.ini:2: sections must come in increasing time"},
        {"two sections at one time", "[at 10]\n\n[at 10]\n",
         "scene.ini:3: sections must come in increasing time"},
        {"a negative glide", "[at 1]\nglide = -1\n", "scene.ini:2: glide must not be negative"},
        {"a glide past the next section", "[at 1]\nglide = 5\n[at 3]\n",
         "scene.ini:2: the change at 1 s, moving over 5 s, runs past the next section at 3 s"},
        {"a change at once too close to the next", "[at 1]\n[at 1.01]\n",
         "scene.ini:1: the change at 1 s, moving over 0.02 s, runs past the next section at 1.01 "
         "s"},
        {"a glide past the return to the base", "repeat = 10\n[at 8]\nglide = 1.99\n",
         "scene.ini:3: the change at 8 s, moving over 1.99 s, runs past 9.98 s"},
        {"a section at repeat", "repeat = 10\n[at 10]\n",
         "scene.ini:2: the section at 10 s does not come before repeat"},
        {"sample_rate in a section", "[at 1]\nsample_rate = 8000\n",
         "scene.ini:2: sample_rate belongs in the base"},
        {"repeat in a section", "[at 1]\nrepeat = 8\n", "scene.ini:2: repeat belongs in the base"},
        {"glide in the base", "glide = 1\n", "scene.ini:1: glide belongs in a timed section"},
        {"a repeat of 0", "repeat = 0\n", "scene.ini:1: repeat must lie between 0.1 and"},
        {"an unknown key in a section", "[at 1]\nspeed = 3\n",
         "scene.ini:2: unknown key \"speed\""},
        {"a section without its time", "[at]\n",
         "scene.ini:1: expected a section header [at SECONDS]"},
        {"a section of another word", "tone = 1 1\n[from 3]\n",
         "scene.ini:2: expected a section header"},
        {"an unclosed section", "[at 3\n", "scene.ini:1: expected a section header"},
        {"a section at 0", "[at 0]\n", "scene.ini:1: a section's time must lie after 0"},
        {"a section's time not a number", "[at soon]\n",
         "scene.ini:1: \"soon\" is not a finite number"},
        {"a tone of a section at half the rate", "sample_rate = 10000\n[at 1]\ntone = 5000 0.1\n",
         "scene.ini:3: tone frequencies must lie below half"},
        {"a negative noise gain", "noise_gain = -1\n",
         "scene.ini:1: noise_gain must not be negative"},
        {"a missing response file", "[at 1]\nsecondary_err = gone.cof\n",
         "gone.cof:0: cannot be read", "(named at scene.ini:2)"},
        {"a bad response file", "[at 1]\n\nprimary_ref = bad.cof\n", "bad.cof:3: the file ends",
         "(named at scene.ini:3)"},
        {"a file outside the directory", "[at 1]\nprimary_err = ../primary_err.cof\n",
         "scene.ini:2: \"../primary_err.cof\" is not the name of a file in the scene directory"},
        {"a file name missing", "noise_file =\n", "scene.ini:1: a file name is missing"},
        {"a recording that is no sound file", "noise_file = text.wav\n",
         "text.wav:0: not a sound file"},
        {"a recording too short to loop", "[at 1]\nnoise_file = short.wav\n",
         "short.wav:0: it holds less than 0.1 s of sound", "(named at scene.ini:2)"},
        {"a recording that is a directory", "noise_file = .\n",
         "scene.ini:1: \".\" is not the name of a file"},
    };
    for (const auto &c : cases) {
        const TimelineDir d(c.ini);
        std::string error;
        EXPECT_FALSE(loadScene(d.dir.path(), error).has_value()) << c.name;
        EXPECT_NE(error.find(c.where), std::string::npos) << c.name << ": " << error;
        EXPECT_NE(error.find(c.also), std::string::npos) << c.name << ": " << error;
    }
}

// Each stretch holds what its change set and what the ones before it left; the base holds again
// after the return at the end of the period.
TEST(Timeline, StretchesAreTheFrozenScenesBetweenTheChanges) {
    const TimelineDir d(
        "repeat = 60\ntone = 100 0.1\ntone = 200 0.1\nbroadband = 0.01\n"
        "[at 10]\nglide = 5\ntone = 150 0.2\nbroadband = 0.02\nsecondary_err = moved.cof\n"
        "[at 30]\nmic_noise = 0.5\nnoise_file = fan.wav\n");
    std::string error;
    const auto scene = loadScene(d.dir.path(), error);
    ASSERT_TRUE(scene.has_value()) << error;
    const auto stretches = sceneStretches(*scene);
    const struct {
        double start, settled, end;
        std::size_t tones, secondaryTaps;
        double broadband, micNoise;
        bool recorded;
    } expected[] = {
        {0, 0, 10, 2, 2, 0.01, 0, false},
        {10, 15, 30, 1, 3, 0.02, 0, false},
        {30, 30.02, 59.98, 1, 3, 0.02, 0.5, true},
    };
    ASSERT_EQ(stretches.size(), std::size(expected));
    for (std::size_t k = 0; k < stretches.size(); ++k) {
        const auto &e = expected[k];
        const Scene &s = stretches[k].scene;
        SCOPED_TRACE(k);
        EXPECT_NEAR(stretches[k].start, e.start, 1e-9);
        EXPECT_NEAR(stretches[k].settled, e.settled, 1e-9);
        EXPECT_NEAR(stretches[k].end, e.end, 1e-9);
        EXPECT_EQ(std::tuple(s.tones.size(), s.secondaryErr.size(), s.broadband, s.micNoise,
                             s.noise != nullptr),
                  std::tuple(e.tones, e.secondaryTaps, e.broadband, e.micNoise, e.recorded));
        EXPECT_TRUE(s.changes.empty());
    }
    EXPECT_EQ(stretches[1].what, "tone = 150 0.2; broadband = 0.02; secondary_err = moved.cof");
}

// At another rate the sections' responses and the recordings are resampled as the base's are,
// and a section's tone is checked against the new rate.
TEST(Timeline, AnotherRateResamplesTheTimelineToo) {
    const TimelineDir d(
        "sample_rate = 10000\n[at 1]\nsecondary_err = moved.cof\nnoise_file = fan.wav\n"
        "[at 2]\ntone = 4500 0.1\n");
    std::string error;
    const auto scene = loadScene(d.dir.path(), error);
    ASSERT_TRUE(scene.has_value()) << error;
    const auto at = sceneAt(*scene, 20000, error);
    ASSERT_TRUE(at.has_value()) << error;
    const SceneChange &c = at->changes[0];
    EXPECT_GT(c.secondaryErr->size(), 2 * scene->changes[0].secondaryErr->size());
    EXPECT_EQ(c.noise->sampleRate, 20000);
    EXPECT_NEAR(static_cast<double>(c.noise->samples.size()), 10000, 16);
    EXPECT_FALSE(sceneAt(*scene, 8000, error).has_value());
    EXPECT_NE(error.find("the tone at 4500 Hz is not below half of 8000 Hz"), std::string::npos)
        << error;
}

// All that a frozen scene plays.
auto settled(const Scene &s) {
    std::ostringstream o;
    for (const Tone &t : s.tones)
        o << t.frequency << "/" << t.amplitude << " ";
    o << s.broadband << " " << s.micNoise << " " << (s.noise ? s.noise->name : "") << " "
      << s.noiseGain;
    return std::tuple(o.str(), s.primaryRef, s.primaryErr, s.secondaryRef, s.secondaryErr);
}

// The shipped family: every scene loads and runs at the DSP program's rate; six or more have a
// timeline, one repeats, and every change changes something. A plant runs across each change's
// end.
TEST(Timeline, EveryShippedSceneLoadsAndItsChangesRun) {
    int changing = 0, repeating = 0;
    for (const auto &entry : std::filesystem::directory_iterator(QUIRO_SOURCE_DIR "/data/scenes")) {
        const std::string name = entry.path().filename().string();
        std::string error;
        const auto loaded = loadScene(entry.path().string(), error);
        ASSERT_TRUE(loaded.has_value()) << error;
        const auto scene = sceneAt(*loaded, 20000, error);
        ASSERT_TRUE(scene.has_value()) << name << ": " << error;
        changing += !scene->changes.empty();
        repeating += scene->repeat > 0;
        const auto stretches = sceneStretches(*scene);
        // A run passes every change and, where the timeline repeats, the return to the base.
        const auto changes = sceneChanges(*scene);
        const bool returns = scene->repeat > 0 && stretches.size() > 1;
        ASSERT_EQ(changes.size(), stretches.size() - 1 + (returns ? 1 : 0)) << name;
        if (returns) {
            EXPECT_EQ(changes.back().what, "repeat") << name;
            EXPECT_DOUBLE_EQ(changes.back().start, scene->repeat - MinGlide) << name;
            EXPECT_EQ(settled(changes.back().scene), settled(stretches.front().scene)) << name;
        }
        Plant plant(*scene, 20000, 1);
        for (std::size_t k = 1; k < stretches.size(); ++k) {
            EXPECT_NE(settled(stretches[k - 1].scene), settled(stretches[k].scene))
                << name << ": change " << k << " changes nothing";
            plant.seek(stretches[k].settled - 0.05);
            for (int n = 0; n < 2000; ++n)
                plant.drive(plant.sense().error / 4);
        }
    }
    EXPECT_GE(changing, 6);
    EXPECT_GE(repeating, 1);
}

} // namespace
