#pragma once
// The scene family's models and writer. Ducts use the board's plane-wave duct model. Rooms are
// shoeboxes modelled by mirror images (every reflection an image source, walls reflecting
// `wallReflection` of the pressure) until the response's end, then faded over its last tenth. The
// source's tones and broadband noise (or its recording) are scaled so that the noise at the error
// microphone has the scene's level and tonal share; the detection microphone's preamplifier is
// set so that its converter keeps 10 dB of headroom. Like a fan's, the source's broadband noise
// falls off above a few hundred hertz.

#include "board/Duct.h"
#include "board/Scene.h"

#include <string>
#include <vector>

namespace scenes {

constexpr double Rate = 20000;
constexpr double SpeedOfSound = 343.0;

struct Point {
    double x, y, z;
};

struct RoomModel {
    Point size;
    double wallReflection;
    Point source, detection, loudspeaker, error;
    double speakerGain, speakerCorner, speakerQ, speakerDelay;
    double seconds; // length of the responses
};

// The response from `from` to `to` in the room, at `gain` (pressure at 1 m) after `delay` s.
std::vector<double> roomPath(const RoomModel &r, Point from, Point to, double gain, double delay);
kesto::PathResponses roomResponses(const RoomModel &r);

struct SceneRecipe {
    const char *name;
    const char *summary;
    bool room;
    kesto::DuctModel duct;
    RoomModel roomModel;
    std::vector<kesto::Tone> tones; // relative amplitudes
    double tonalShare;              // of the noise power at the error microphone
    double levelDbfs;               // rms of the noise at the error microphone
    double micNoise;
    double sourceCorner = 600; // Hz: the source's broadband noise falls off above (2nd order)
    // A recorded source instead of broadband noise (tonalShare 0): its samples at Rate, the
    // file it is written to, and whether the primary responses keep their own colour (a
    // recording brings its own).
    std::vector<float> recording = {};
    const char *recordingFile = "";
};

// What a recipe gives: the responses as written, the source's levels, the preamplifier's gain.
struct Modelled {
    kesto::PathResponses paths;
    double toneScale = 0, broadband = 0, recordingGain = 0, preamp = 1;
};
Modelled model(const SceneRecipe &s);

// The recipe's responses (or others of the same scene: a microphone moved, a door opened) as a
// scene of it writes them: the source's colour folded into the primary responses (the format's
// broadband noise is white) unless it is recorded, the preamplifier applied to the detection
// microphone's.
void foldSourceColour(kesto::PathResponses &p, const SceneRecipe &s);
void applyPreamp(kesto::PathResponses &p, double preamp);

// The writes: false, with the file and the reason in `error`, when one fails.
bool writeResponse(const std::string &file, const std::vector<double> &h, std::string &error);
// A mono 16-bit WAV at Rate.
bool writeWav(const std::string &file, const std::vector<float> &x, std::string &error);

// Writes the recipe's scene folder under `out` (its recording too), modelled as `m`, with
// `timeline` after its base section, and prints a line about it.
bool writeScene(const std::string &out, const SceneRecipe &s, const Modelled &m,
                const std::string &timeline, std::string &error);
// The same, modelled here and without a timeline.
bool writeScene(const std::string &out, const SceneRecipe &s, std::string &error);

kesto::DuctModel duct(double length, double detection, double speaker, double error);

} // namespace scenes
