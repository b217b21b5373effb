#pragma once
// A 3-channel 32-bit IEEE-float WAV file written as the board runs. The header's sizes are
// rewritten once a second of samples and when the file is closed, so the file stays readable
// while it grows. Plain stdio: the board keeps its run-time dependencies few.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kesto {

class WavRecorder {
public:
    static constexpr int Channels = 3;

    WavRecorder() = default;
    ~WavRecorder() { close(); }
    WavRecorder(const WavRecorder &) = delete;
    WavRecorder &operator=(const WavRecorder &) = delete;

    // Starts (or starts again) the file at `rate` Hz. False if it cannot be created.
    bool open(const std::string &path, double rate);
    // One frame: the detection microphone, the error microphone and the control output, counts.
    void frame(std::int32_t detection, std::int32_t error, std::int32_t control);
    void close();
    bool isOpen() const { return file_ != nullptr; }

private:
    void writeHeader();

    std::FILE *file_ = nullptr;
    std::uint32_t rate_ = 0;
    std::uint32_t frames_ = 0;
    std::uint32_t sinceHeader_ = 0;
};

// Reads back a file written by WavRecorder: interleaved frames of `Channels` floats. False on a
// file that is not such a WAV.
bool readWav(const std::string &path, double &rate, std::vector<float> &frames);

} // namespace kesto
