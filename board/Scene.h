#pragma once
// The acoustic scene the board simulates: what the noise source plays and the four impulse
// responses between the source, the control loudspeaker and the two microphones. Either the
// built-in duct (modelled at any sampling rate) or a scene directory (see docs/board.md).

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

// Reads a scene directory. On failure returns nothing and sets `error` to "file:line: reason".
std::optional<Scene> loadScene(const std::string &dir, std::string &error);

// The same scene at another rate: the built-in duct is modelled again, a directory's impulse
// responses are resampled (keeping their gain at DC).
Scene sceneAt(const Scene &scene, double rate);

// The coefficient-file format: the count, then that many numbers, items separated by commas or
// line ends; blanks around items are ignored and an empty item reads as zero. On failure returns
// nothing and sets `line` (1-based) and `error`.
std::optional<std::vector<double>> parseCoefficients(const std::string &text, int &line,
                                                     std::string &error);

// Resamples an impulse response from one rate to another, keeping its DC gain.
std::vector<double> resampleResponse(const std::vector<double> &h, double from, double to);

} // namespace kesto
