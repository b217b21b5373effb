// Writes the scene family: scene directories modelled from ducts and rooms, each a noise source,
// a control loudspeaker and two microphones, at levels a fan in a lab really makes (the models
// are in SceneModel.h), and the changing family, scenes with a timeline (ChangingScenes.h).
//
//   make_scenes OUT_DIR        (the family is committed under data/scenes; rerun to change it)

#include "ChangingScenes.h"
#include "SceneModel.h"
#include "cli/ArgumentReader.h"
#include "cli/Paths.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kesto::DuctModel;
using scenes::duct;
using scenes::SceneRecipe;

std::vector<SceneRecipe> family() {
    const std::vector<kesto::Tone> fan = {{110, 1.0}, {220, 0.6}, {330, 0.4}, {440, 0.2}};
    const std::vector<kesto::Tone> blower = {
        {95, 1.0}, {190, 0.8}, {285, 0.5}, {380, 0.3}, {475, 0.2}};
    std::vector<SceneRecipe> f;

    SceneRecipe quiet{"duct-quiet-mixed",
                      "the built-in duct's geometry, a quiet fan",
                      false,
                      duct(2.4, 0.25, 1.0, 2.0),
                      {},
                      fan,
                      0.6,
                      -40,
                      0.0002};
    f.push_back(quiet);

    SceneRecipe shortTonal{"duct-short-tonal",
                           "1.6 m duct, loudspeaker 0.25 m before the error microphone, tones only",
                           false,
                           duct(1.6, 0.2, 1.1, 1.35),
                           {},
                           blower,
                           1.0,
                           -25,
                           0.0003};
    shortTonal.duct.speakerGain = 0.5;
    f.push_back(shortTonal);

    SceneRecipe longBroadband{"duct-long-broadband",
                              "6 m lined duct, broadband flow noise only",
                              false,
                              duct(6.0, 0.3, 3.5, 4.7),
                              {},
                              {},
                              0.0,
                              -20,
                              0.0003};
    longBroadband.duct.liningCorner = 800;
    longBroadband.duct.lossPerMetre = 0.3;
    longBroadband.duct.speakerGain = 1.2;
    longBroadband.sourceCorner = 1000;
    f.push_back(longBroadband);

    SceneRecipe loud{"duct-loud-mixed",
                     "2.4 m duct, a loud fan (tones up to half of full scale), large driver",
                     false,
                     duct(2.4, 0.25, 1.4, 2.0),
                     {},
                     {{110, 1.0}, {220, 0.4}, {330, 0.25}, {440, 0.1}},
                     0.9,
                     -8,
                     0.0005};
    loud.duct.speakerGain = 2.8;
    loud.duct.speakerCorner = 60;
    f.push_back(loud);

    SceneRecipe far{"duct-far-speaker",
                    "8 m lined duct, loudspeaker 3.3 m before the error microphone (10 ms)",
                    false,
                    duct(8.0, 0.3, 4.5, 7.8),
                    {},
                    blower,
                    0.8,
                    -24,
                    0.0003};
    far.duct.liningCorner = 1500;
    far.duct.lossPerMetre = 0.4;
    far.duct.speakerGain = 2.0;
    far.duct.speakerDelay = 0.0005;
    far.duct.maxSeconds = 0.1;
    f.push_back(far);

    SceneRecipe acausal{
        "duct-acausal",
        "detection microphone beside the loudspeaker: broadband cancellation is not causal",
        false,
        duct(2.4, 0.95, 1.0, 1.4),
        {},
        {},
        0.0,
        -22,
        0.0003};
    acausal.duct.speakerDelay = 0.002; // a digital amplifier's latency
    acausal.sourceCorner = 800;
    f.push_back(acausal);

    SceneRecipe noisy{"duct-noisy-mics",
                      "built-in geometry, small resonant driver, noisy microphones",
                      false,
                      duct(2.4, 0.25, 1.0, 2.0),
                      {},
                      fan,
                      0.5,
                      -30,
                      0.003};
    noisy.duct.speakerCorner = 300;
    noisy.duct.speakerQ = 2.0;
    noisy.duct.speakerGain = 0.6;
    f.push_back(noisy);

    SceneRecipe smallRoom{"room-small-tonal",
                          "4 x 3 x 2.5 m room, RT60 about 0.25 s, tones only",
                          true,
                          {},
                          {{4, 3, 2.5},
                           0.82,
                           {0.5, 0.6, 0.5},
                           {0.8, 0.7, 0.6},
                           {3.0, 2.0, 1.2},
                           {3.2, 2.2, 1.2},
                           0.4,
                           100,
                           0.7,
                           0.0003,
                           0.1},
                          blower,
                          1.0,
                          -15,
                          0.0003};
    f.push_back(smallRoom);

    SceneRecipe bigRoom{
        "room-large-mixed",
        "8 x 6 x 3 m room, RT60 about 0.4 s, loudspeaker 1 m away with 3 ms latency",
        true,
        {},
        {{8, 6, 3},
         0.85,
         {0.6, 0.5, 0.4},
         {1.0, 0.6, 0.5},
         {5.0, 4.0, 1.5},
         {5.7, 4.6, 1.2},
         1.3,
         80,
         0.7,
         0.003,
         0.12},
        fan,
        0.7,
        -10,
        0.0005};
    bigRoom.sourceCorner = 400;
    f.push_back(bigRoom);
    return f;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> out;
    quiro::cli::ArgumentReader args("make_scenes", "OUT_DIR",
                                    "Writes the scene family into OUT_DIR, one folder per scene.");
    args.positionals(out, 1, 1);
    if (const int status = args.readOrExit(argc, argv); status >= 0)
        return status;
    std::string error;
    if (!quiro::cli::outputFolder(out[0], error)) {
        std::fprintf(stderr, "make_scenes: %s\n", error.c_str());
        return 2;
    }
    try {
        for (const auto &s : family())
            if (!scenes::writeScene(out[0], s, error))
                throw std::runtime_error(error);
        if (!scenes::writeChangingFamily(out[0], error))
            throw std::runtime_error(error);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "make_scenes: %s\n", e.what());
        return 1;
    }
    return quiro::cli::finish("make_scenes", 0);
}
