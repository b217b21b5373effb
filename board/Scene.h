#pragma once
// The acoustic scene the board simulates: what the noise source plays and the four impulse
// responses between the source, the control loudspeaker and the two microphones. Either the
// built-in duct (modelled at any sampling rate) or a scene directory (see docs/board.md). A scene
// may change as time runs: its timeline is a list of changes, each a section of scene.ini that
// starts at a time and glides there.

#include "contract/BoardContract.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kesto {

struct Tone {
    double frequency = 0; // Hz
    double amplitude = 0; // full-scale units at the source
};

// Recorded noise: the first channel of a sound file, as read (looped when played).
struct Recording {
    std::string name; // the file's name in the scene directory
    double sampleRate = 0;
    std::vector<float> samples; // in the file's units
};

using SharedResponse = std::shared_ptr<const std::vector<double>>;

// One section of the timeline: what it sets moves there from the state before it, linearly over
// `glide` seconds (at least MinGlide); what it leaves unset holds on.
struct SceneChange {
    double at = 0;                          // s after the start of the timeline
    double glide = 0;                       // s, as written
    std::optional<std::vector<Tone>> tones; // the k-th glides from the k-th before
    std::optional<double> broadband, micNoise, noiseGain;
    SharedResponse primaryRef, primaryErr, secondaryRef, secondaryErr; // null: unchanged
    std::shared_ptr<const Recording> noise; // null: the recording before plays on
    std::string what;                       // the section's lines, "; "-separated
};

// Every change, and the return to the base at the end of a repeating timeline, moves over at
// least this long, so that nothing steps: a glide of 0 means "at once", done in 20 ms.
inline constexpr double MinGlide = 0.02; // s

struct Scene {
    double sampleRate = 20000; // of the impulse responses
    std::vector<Tone> tones;
    double broadband = 0;       // rms of the broadband noise at the source, full-scale units
    double broadbandCorner = 0; // Hz; 0 = white, else low-passed (2nd order) there
    double micNoise = 0;        // rms of each microphone's own noise, full-scale units
    std::vector<double> primaryRef, primaryErr, secondaryRef, secondaryErr;
    std::shared_ptr<const Recording> noise{}; // recorded noise at the source; null: none
    double noiseGain = 1;                     // full-scale units per unit of the recording
    std::vector<SceneChange> changes{};       // in increasing time; empty: the scene holds still
    double repeat = 0;    // s; > 0: the timeline starts again every `repeat` seconds
    bool builtIn = false; // the built-in duct is modelled afresh at each rate
    std::string origin;   // "built-in" or the directory
};

// A stretch of the timeline: from when a change starts (the base: 0) to when the next one does
// (the return to the base at repeat - MinGlide, or never), and the frozen scene (no timeline)
// that holds from `settled` on, once the change has fully glided.
struct SceneStretch {
    double start = 0, settled = 0, end = 0; // s; end is infinite for the last of a timeline
                                            // that does not repeat
    std::string what;                       // the change's lines; "base" for the first
    Scene scene;
};

// The base stretch, then one per change, in time order. A scene without a timeline is one stretch.
std::vector<SceneStretch> sceneStretches(const Scene &scene);
// The changes a run from the start passes through its first period: every stretch after the
// base and, for a timeline that repeats, the return to the base ("repeat", from repeat - MinGlide
// until the first change comes round again). Empty for a scene without a timeline.
std::vector<SceneStretch> sceneChanges(const Scene &scene);

// The built-in duct, modelled at `rate` Hz.
Scene builtInScene(double rate);

// What a scene directory may hold. Anything beyond is refused with the file and the reason.
struct SceneLimits {
    static constexpr std::uint64_t IniBytes = 64 * 1024;             // scene.ini
    static constexpr std::uint64_t ResponseBytes = 16 * 1024 * 1024; // each .cof response
    static constexpr std::int32_t ResponseTaps = 1 << 16; // per response, also after resampling
    // Hz: the rates the board runs at.
    static constexpr double MinRate = quiro::MinSampleRate, MaxRate = quiro::MaxSampleRate;
    static constexpr double MaxLevel = 1e6;       // amplitudes and rms levels, full-scale units
    static constexpr double MaxCoefficient = 1e6; // magnitude of a response's coefficient
    static constexpr std::uint64_t SoundBytes = 64 * 1024 * 1024; // each recorded-noise file
    // Frames of all the recordings together, as read and after resampling (3.5 min at 20 kHz).
    static constexpr std::int64_t SoundFrames = 1 << 22;
    static constexpr double MinSoundSeconds = 0.1; // a recording's shortest, to loop it smoothly
    static constexpr std::size_t Sections = 1000;  // timed sections of scene.ini
    static constexpr std::size_t NamedFiles = 64;  // distinct files scene.ini names
    static constexpr double MaxSeconds = 1e6;      // times, glides and repeat
};

// Reads a scene directory. On failure returns nothing and sets `error` to "file:line: reason"
// (line 0 for the file as a whole).
std::optional<Scene> loadScene(const std::string &dir, std::string &error);

// The same scene at another rate: the built-in duct is modelled again, a directory's impulse
// responses (the timeline's too) and recordings are resampled. Nothing, with the reason in `error`,
// when the scene cannot run at `rate`: a tone at or above half of it, a ratio the resampler
// refuses, a response that comes out empty or longer than SceneLimits::ResponseTaps.
std::optional<Scene> sceneAt(const Scene &scene, double rate, std::string &error);
// The checks of sceneAt that need no resampling (rate, tones, ratio, lengths): quick enough for
// a library call to make before it asks for the plant.
bool sceneRunsAt(const Scene &scene, double rate, std::string &error);

// Resamples an impulse response from one rate to another, keeping its DC gain and its delay;
// empty when the ratio cannot be converted.
std::vector<double> resampleResponse(const std::vector<double> &h, double from, double to);

} // namespace kesto
