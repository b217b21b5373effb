#pragma once
// The acoustic scene the board simulates: what the noise source plays and the four impulse
// responses between the source, the control loudspeaker and the two microphones. Either the
// built-in duct (modelled at any sampling rate) or a scene directory (see docs/board.md).

#include "contract/BoardContract.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kesto {

struct Tone {
    double frequency = 0; // Hz
    double amplitude = 0; // full-scale units at the source
};

struct Scene {
    double sampleRate = 20000; // of the impulse responses
    std::vector<Tone> tones;
    double broadband = 0; // rms of the broadband noise at the source, full-scale units
    double broadbandCorner = 0; // Hz; 0 = white, else low-passed (2nd order) there
    double micNoise = 0;  // rms of each microphone's own noise, full-scale units
    std::vector<double> primaryRef, primaryErr, secondaryRef, secondaryErr;
    bool builtIn = false; // the built-in duct is modelled afresh at each rate
    std::string origin;   // "built-in" or the directory
};

// The built-in duct, modelled at `rate` Hz.
Scene builtInScene(double rate);

// What a scene directory may hold. Anything beyond is refused with the file and the reason.
struct SceneLimits {
    static constexpr std::uint64_t IniBytes = 64 * 1024;              // scene.ini
    static constexpr std::uint64_t ResponseBytes = 16 * 1024 * 1024;  // each .cof response
    static constexpr std::int32_t ResponseTaps = 1 << 16; // per response, also after resampling
    // Hz: the rates the board runs at.
    static constexpr double MinRate = quiro::MinSampleRate, MaxRate = quiro::MaxSampleRate;
    static constexpr double MaxLevel = 1e6;       // amplitudes and rms levels, full-scale units
    static constexpr double MaxCoefficient = 1e6; // magnitude of a response's coefficient
};

// Reads a scene directory. On failure returns nothing and sets `error` to "file:line: reason"
// (line 0 for the file as a whole).
std::optional<Scene> loadScene(const std::string &dir, std::string &error);

// The same scene at another rate: the built-in duct is modelled again, a directory's impulse
// responses are resampled. Nothing, with the reason in `error`, when the scene cannot run at
// `rate`: a tone at or above half of it, a ratio the resampler refuses, a response that comes
// out empty or longer than SceneLimits::ResponseTaps.
std::optional<Scene> sceneAt(const Scene &scene, double rate, std::string &error);
// The checks of sceneAt that need no resampling (rate, tones, ratio, lengths): quick enough for
// a library call to make before it asks for the plant.
bool sceneRunsAt(const Scene &scene, double rate, std::string &error);

// Resamples an impulse response from one rate to another, keeping its DC gain and its delay;
// empty when the ratio cannot be converted.
std::vector<double> resampleResponse(const std::vector<double> &h, double from, double to);

} // namespace kesto
