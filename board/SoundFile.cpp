#include "board/SoundFile.h"

#include "board/RegularFile.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace kesto {

namespace {

using Limits = SceneLimits;

// libsndfile reads through this, so that the file is checked as every other file of a scene is
// (a regular file, capped) and a read error is a refusal, never a short file.
struct GuardedInput {
    RegularFile file;
    sf_count_t position = 0;
    std::string error; // the first read error

    static GuardedInput &of(void *user) { return *static_cast<GuardedInput *>(user); }
    static sf_count_t length(void *user) { return static_cast<sf_count_t>(of(user).file.size()); }
    static sf_count_t seek(sf_count_t offset, int whence, void *user) {
        GuardedInput &in = of(user);
        const sf_count_t base = whence == SEEK_CUR   ? in.position
                                : whence == SEEK_END ? length(user)
                                                     : 0;
        in.position = std::clamp<sf_count_t>(base + offset, 0, length(user));
        return in.position;
    }
    static sf_count_t read(void *buffer, sf_count_t count, void *user) {
        GuardedInput &in = of(user);
        const sf_count_t n =
            std::clamp<sf_count_t>(length(user) - in.position, 0, std::max<sf_count_t>(count, 0));
        std::string why;
        if (n > 0 && !in.file.readAt(static_cast<std::uint64_t>(in.position), buffer,
                                     static_cast<std::size_t>(n), why)) {
            if (in.error.empty())
                in.error = why;
            return 0;
        }
        in.position += n;
        return n;
    }
    static sf_count_t write(const void *, sf_count_t, void *) { return 0; }
    static sf_count_t tell(void *user) { return of(user).position; }
};

struct CloseSound {
    void operator()(SNDFILE *f) const { sf_close(f); }
};

std::string shownRate(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", hz);
    return text;
}

// The first channel of every frame, checked; false with the reason in `why`.
bool readFirstChannel(SNDFILE *sound, int channels, std::int64_t maxFrames, std::vector<float> &out,
                      std::string &why) {
    constexpr sf_count_t Chunk = 4096;
    std::vector<float> frames(static_cast<std::size_t>(Chunk * channels));
    for (;;) {
        const sf_count_t n = sf_readf_float(sound, frames.data(), Chunk);
        if (n <= 0)
            return true;
        if (static_cast<std::int64_t>(out.size()) + n > maxFrames) {
            why = "holds more than " + std::to_string(maxFrames) + " frames";
            return false;
        }
        for (sf_count_t i = 0; i < n; ++i) {
            const float v = frames[static_cast<std::size_t>(i * channels)];
            if (!(std::fabs(v) <= Limits::MaxLevel)) {
                why = "sample " + std::to_string(out.size() + 1) +
                      " is not a finite number of at most 1e6";
                return false;
            }
            out.push_back(v);
        }
    }
}

} // namespace

bool readRecording(const std::string &path, std::int64_t maxFrames, Recording &out,
                   std::string &why) {
    GuardedInput in;
    if (!in.file.open(path, Limits::SoundBytes, why))
        return false;
    SF_VIRTUAL_IO io{&GuardedInput::length, &GuardedInput::seek, &GuardedInput::read,
                     &GuardedInput::write, &GuardedInput::tell};
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, CloseSound> sound(sf_open_virtual(&io, SFM_READ, &info, &in));
    if (!sound) {
        why = in.error.empty()
                  ? std::string("not a sound file libsndfile reads (") + sf_strerror(nullptr) + ")"
                  : "read error (" + in.error + ")";
        return false;
    }
    const double rate = info.samplerate;
    if (!(rate >= Limits::MinRate && rate <= Limits::MaxRate)) {
        why = "its rate of " + shownRate(rate) + " lies outside 1000 to 384000 Hz";
        return false;
    }
    if (info.channels < 1) {
        why = "it holds no channel";
        return false;
    }
    out.sampleRate = rate;
    out.samples.clear();
    if (!readFirstChannel(sound.get(), info.channels, maxFrames, out.samples, why))
        return false;
    if (!in.error.empty()) {
        why = "read error (" + in.error + ")";
        return false;
    }
    if (static_cast<double>(out.samples.size()) < Limits::MinSoundSeconds * rate) {
        char text[64];
        std::snprintf(text, sizeof text, "it holds less than %g s of sound",
                      Limits::MinSoundSeconds);
        why = text;
        return false;
    }
    return true;
}

std::int64_t resampledFrames(std::size_t frames, double from, double to) {
    return static_cast<std::int64_t>(std::ceil(static_cast<double>(frames) * to / from));
}

std::vector<float> sampleRateConvert(const std::vector<float> &in, double ratio,
                                     std::size_t capacity, int quality) {
    std::vector<float> out(capacity, 0.0f);
    SRC_DATA data{};
    data.data_in = in.data();
    data.data_out = out.data();
    data.input_frames = static_cast<long>(in.size());
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (src_simple(&data, quality, 1) != 0)
        return {};
    out.resize(static_cast<std::size_t>(data.output_frames_gen));
    return out;
}

std::vector<float> resampleSignal(const std::vector<float> &x, double from, double to) {
    if (x.empty() || from == to)
        return x;
    const double ratio = to / from;
    if (!(ratio > 0) || src_is_valid_ratio(ratio) == 0)
        return {};
    return sampleRateConvert(x, ratio,
                             static_cast<std::size_t>(resampledFrames(x.size(), from, to)) + 16,
                             SRC_SINC_MEDIUM_QUALITY);
}

} // namespace kesto
