// The changing family: scenes of the family's models with a timeline, each change one an audience
// remembers and an ANC system is judged by. The first change comes 30 s in, after identification.

#include "ChangingScenes.h"

#include "SceneModel.h"
#include "board/Biquad.h"
#include "board/NoiseSource.h"
#include "dspkit/SignalKit.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <sstream>

namespace scenes {

namespace {

using kesto::PathResponses;

// What a scene's timeline adds to it: the sections of scene.ini and the files they name.
struct Timeline {
    std::string sections;
    std::vector<std::pair<std::string, std::vector<double>>> responses{};
    std::vector<std::pair<std::string, std::vector<float>>> recordings{};
};

struct ChangingRecipe {
    SceneRecipe base;
    std::function<Timeline(const SceneRecipe &, const Modelled &)> timeline;
};

// The responses of `changed` (the base's recipe with its model changed) as the base's are written.
PathResponses responsesOf(const SceneRecipe &changed, const Modelled &base) {
    PathResponses p =
        changed.room ? roomResponses(changed.roomModel) : kesto::ductResponses(changed.duct, Rate);
    foldSourceColour(p, changed);
    applyPreamp(p, base.preamp);
    return p;
}

// The tones of the base at the source, frequencies and amplitudes scaled.
std::string tones(const SceneRecipe &s, const Modelled &m, double frequency, double amplitude) {
    std::ostringstream o;
    o.precision(6);
    for (const kesto::Tone &t : s.tones)
        o << "tone = " << frequency * t.frequency << " " << amplitude * m.toneScale * t.amplitude
          << "\n";
    return o.str();
}

// A fan as a microphone near it hears it: the blade-pass tone and its harmonics, their frequency
// wobbling 1 % with the shaft speed once a second, over turbulent broadband noise (low-passed
// at 800 Hz) that the passing blades modulate. Its power grows with the fifth power of the speed.
// The tones and the wobble repeat every 2 s (whole cycles at 900 and 1140 rpm); the recording
// runs on for a loop's crossfade and a half, so that looping finds that period.
std::vector<float> fanRecording(double rpm, std::uint64_t seed) {
    constexpr int Blades = 7;
    constexpr double Harmonics[] = {1.0, 0.5, 0.3, 0.15, 0.08};
    const double bladePass = Blades * rpm / 60, level = 0.1 * std::pow(rpm / 900, 2.5);
    const auto n = static_cast<std::size_t>((2.0 + 1.5 * kesto::LoopFadeSeconds) * Rate);
    kesto::WhiteNoise noise(seed);
    kesto::Biquad turbulence = kesto::Biquad::secondOrder(false, 800, 0.7071, Rate);
    std::vector<float> x(n);
    double phase = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double v = 0;
        for (std::size_t h = 0; h < std::size(Harmonics); ++h)
            v += Harmonics[h] * std::sin(static_cast<double>(h + 1) * phase);
        v += 0.8 * turbulence(noise()) * (1 + 0.3 * std::cos(phase));
        x[i] = static_cast<float>(level * v);
        const double wobble =
            1 + 0.01 * std::sin(2 * std::numbers::pi * static_cast<double>(i) / Rate);
        phase = std::fmod(phase + 2 * std::numbers::pi * bladePass * wobble / Rate,
                          2 * std::numbers::pi);
    }
    return x;
}

SceneRecipe ductRecipe(const char *name, const char *summary, std::vector<kesto::Tone> tones,
                       double share, double level) {
    return {name,  summary, false, duct(2.4, 0.25, 1.0, 2.0), {}, std::move(tones),
            share, level,   0.0003};
}

std::vector<ChangingRecipe> changingFamily() {
    const std::vector<kesto::Tone> fan = {{110, 1.0}, {220, 0.6}, {330, 0.4}, {440, 0.2}};
    const std::vector<kesto::Tone> blower = {
        {95, 1.0}, {190, 0.8}, {285, 0.5}, {380, 0.3}, {475, 0.2}};
    std::vector<ChangingRecipe> f;

    f.push_back(
        {ductRecipe(
             "duct-run-up",
             "the built-in duct's geometry; the fan runs up by half and back, again and again", fan,
             0.7, -32),
         [](const SceneRecipe &s, const Modelled &m) {
             return Timeline{
                 "repeat = 90\n[at 30]  # every tone half as high again, over 20 s\nglide = 20\n" +
                 tones(s, m, 1.5, 1) + "[at 60]  # and back down\nglide = 20\n" +
                 tones(s, m, 1, 1)};
         }});

    f.push_back(
        {ductRecipe("duct-switch-on",
                    "the built-in duct's geometry; a second machine switches on, 12 dB louder", fan,
                    0.6, -38),
         [](const SceneRecipe &s, const Modelled &m) {
             const double up = std::pow(10.0, 12.0 / 20);
             std::ostringstream b;
             b.precision(6);
             b << "broadband = " << up * m.broadband << "\n";
             return Timeline{
                 "repeat = 60  # and off again as the period ends\n[at 30]  # on, at once\n" +
                 tones(s, m, 1, up) + b.str()};
         }});

    f.push_back(
        {ductRecipe("duct-moved-mic",
                    "the built-in duct's geometry; the error microphone moved 30 cm towards "
                    "the loudspeaker",
                    fan, 0.6, -30),
         [](const SceneRecipe &s, const Modelled &m) {
             SceneRecipe moved = s;
             moved.duct.error = 1.7;
             const PathResponses p = responsesOf(moved, m);
             return Timeline{"[at 30]  # moved, at once\nprimary_err = moved_primary_err.cof\n"
                             "secondary_err = moved_secondary_err.cof\n",
                             {{"moved_primary_err.cof", p.primaryErr},
                              {"moved_secondary_err.cof", p.secondaryErr}}};
         }});

    f.push_back(
        {ductRecipe("duct-warm-speaker",
                    "the built-in duct's geometry; the loudspeaker's paths become 3 % slower", fan,
                    0.6, -30),
         [](const SceneRecipe &s, const Modelled &m) {
             SceneRecipe slower = s;
             slower.duct.speedOfSound = s.duct.speedOfSound / 1.03;
             const PathResponses p = responsesOf(slower, m);
             return Timeline{
                 "[at 30]  # over 5 s\nglide = 5\nsecondary_ref = warm_secondary_ref.cof\n"
                 "secondary_err = warm_secondary_err.cof\n",
                 {{"warm_secondary_ref.cof", p.secondaryRef},
                  {"warm_secondary_err.cof", p.secondaryErr}}};
         }});

    // A machine in the next room, heard through the wall (dull), then through the opened door.
    SceneRecipe door{"room-door-opened",
                     "5 x 4 x 2.5 m room, a machine next door; the door opens and closes",
                     true,
                     {},
                     {{5, 4, 2.5},
                      0.8,
                      {0.0, 2.6, 1.3},
                      {0.4, 1.8, 1.1},
                      {3.6, 2.2, 1.2},
                      {4.0, 2.5, 1.2},
                      0.5,
                      90,
                      0.7,
                      0.0005,
                      0.1},
                     blower,
                     0.5,
                     -24,
                     0.0003};
    door.sourceCorner = 250;
    f.push_back({door, [](const SceneRecipe &s, const Modelled &m) {
                     SceneRecipe open = s;
                     open.roomModel.source = {0.0, 1.0, 1.0};
                     open.sourceCorner = 800;
                     PathResponses p = responsesOf(open, m);
                     for (auto *h : {&p.primaryRef, &p.primaryErr})
                         for (double &v : *h)
                             v *= 1.5; // the doorway lets through half as much again as the wall
                     return Timeline{
                         "repeat = 90\n[at 30]  # the door opens over 2 s\nglide = 2\n"
                         "primary_ref = door_open_primary_ref.cof\nprimary_err = "
                         "door_open_primary_err.cof\n"
                         "[at 60]  # and closes\nglide = 1\nprimary_ref = primary_ref.cof\n"
                         "primary_err = primary_err.cof\n",
                         {{"door_open_primary_ref.cof", p.primaryRef},
                          {"door_open_primary_err.cof", p.primaryErr}}};
                 }});

    SceneRecipe recorded = ductRecipe("duct-recorded-fan",
                                      "the built-in duct's geometry, a recorded fan at 900 rpm "
                                      "that speeds up to 1140 rpm and back",
                                      {}, 0, -28);
    recorded.recording = fanRecording(900, 11);
    recorded.recordingFile = "fan.wav";
    f.push_back(
        {recorded, [](const SceneRecipe &, const Modelled &) {
             return Timeline{
                 "repeat = 90\n[at 30]  # the fan speeds up, crossfaded over 5 s\nglide = 5\n"
                 "noise_file = fan-fast.wav\n[at 60]  # and slows down\nglide = 5\nnoise_file = "
                 "fan.wav\n",
                 {},
                 {{"fan-fast.wav", fanRecording(1140, 12)}}};
         }});
    return f;
}

} // namespace

bool writeChangingFamily(const std::string &out, std::string &error) {
    for (const ChangingRecipe &c : changingFamily()) {
        const Modelled m = model(c.base);
        const Timeline t = c.timeline(c.base, m);
        if (!writeScene(out, c.base, m,
                        "\n# The timeline (seconds from the start of the run).\n" + t.sections,
                        error))
            return false;
        const std::string dir = out + "/" + c.base.name;
        for (const auto &[file, h] : t.responses)
            if (!writeResponse(dir + "/" + file, h, error))
                return false;
        for (const auto &[file, x] : t.recordings)
            if (!writeWav(dir + "/" + file, x, error))
                return false;
        std::printf("%-22s with a timeline: %zu files more\n", c.base.name,
                    t.responses.size() + t.recordings.size());
    }
    return true;
}

} // namespace scenes
