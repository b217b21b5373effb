#pragma once
// Recorded noise for a scene: the first channel of a sound file read with libsndfile (WAV, FLAC
// and what else it reads), through the same guarded reading as the scene's other files, and its
// resampling to the rate the board runs at.

#include "board/Scene.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kesto {

// Reads `path` into `out` (its name left to the caller). At most `maxFrames` frames are accepted.
// False with the reason in `why` when it is not a regular file of at most SceneLimits::SoundBytes,
// not a sound file, at a rate outside SceneLimits' rates, shorter than
// SceneLimits::MinSoundSeconds, longer than `maxFrames`, or holding a sample that is not finite
// or larger than SceneLimits::MaxLevel.
bool readRecording(const std::string &path, std::int64_t maxFrames, Recording &out,
                   std::string &why);

// The number of frames `frames` frames at `from` Hz become at `to` Hz.
std::int64_t resampledFrames(std::size_t frames, double from, double to);

// `in` resampled by `ratio` through libsamplerate at `quality` (SRC_SINC_*), into room for
// `capacity` samples; empty when libsamplerate refuses.
std::vector<float> sampleRateConvert(const std::vector<float> &in, double ratio,
                                     std::size_t capacity, int quality);

// A signal resampled from `from` to `to` Hz (libsamplerate, medium quality: noise needs no more);
// empty when the ratio cannot be converted.
std::vector<float> resampleSignal(const std::vector<float> &x, double from, double to);

} // namespace kesto
