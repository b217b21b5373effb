#include "board/WavRecorder.h"

#include <cmath>
#include <cstring>

namespace kesto {

namespace {

constexpr std::uint32_t HeaderBytes = 58; // RIFF, fmt (18 bytes), fact, data headers
constexpr std::uint32_t FrameBytes = 4 * WavRecorder::Channels;

void put16(unsigned char *&p, std::uint16_t v) {
    *p++ = static_cast<unsigned char>(v);
    *p++ = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char *&p, std::uint32_t v) {
    put16(p, static_cast<std::uint16_t>(v));
    put16(p, static_cast<std::uint16_t>(v >> 16));
}
void tag(unsigned char *&p, const char *t) {
    std::memcpy(p, t, 4);
    p += 4;
}

} // namespace

bool WavRecorder::open(const std::string &path, double rate) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        return false;
    rate_ = static_cast<std::uint32_t>(std::lround(rate));
    frames_ = 0;
    sinceHeader_ = 0;
    writeHeader();
    return true;
}

void WavRecorder::writeHeader() {
    unsigned char h[HeaderBytes];
    unsigned char *p = h;
    const std::uint32_t data = frames_ * FrameBytes;
    tag(p, "RIFF");
    put32(p, HeaderBytes - 8 + data);
    tag(p, "WAVE");
    tag(p, "fmt ");
    put32(p, 18);
    put16(p, 3); // IEEE float
    put16(p, Channels);
    put32(p, rate_);
    put32(p, rate_ * FrameBytes);
    put16(p, FrameBytes);
    put16(p, 32);
    put16(p, 0);
    tag(p, "fact");
    put32(p, 4);
    put32(p, frames_);
    tag(p, "data");
    put32(p, data);
    const long end = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, file_);
    if (end > static_cast<long>(HeaderBytes))
        std::fseek(file_, end, SEEK_SET);
    std::fflush(file_);
}

void WavRecorder::frame(std::int32_t detection, std::int32_t error, std::int32_t control) {
    if (!file_)
        return;
    const float v[Channels] = {detection / 2048.0f, error / 2048.0f, control / 2048.0f};
    unsigned char b[FrameBytes];
    std::memcpy(b, v, sizeof b); // little-endian host, as WAV wants
    std::fwrite(b, 1, sizeof b, file_);
    ++frames_;
    if (++sinceHeader_ >= rate_) {
        sinceHeader_ = 0;
        writeHeader();
    }
}

void WavRecorder::close() {
    if (!file_)
        return;
    writeHeader();
    std::fclose(file_);
    file_ = nullptr;
}

bool readWav(const std::string &path, double &rate, std::vector<float> &frames) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    unsigned char h[HeaderBytes];
    const bool ok = std::fread(h, 1, sizeof h, f) == sizeof h && std::memcmp(h, "RIFF", 4) == 0 &&
                    std::memcmp(h + 8, "WAVE", 4) == 0 && h[20] == 3 && h[22] == WavRecorder::Channels &&
                    std::memcmp(h + 50, "data", 4) == 0;
    if (ok) {
        auto u32 = [&](int at) {
            return static_cast<std::uint32_t>(h[at] | h[at + 1] << 8 | h[at + 2] << 16 |
                                              static_cast<std::uint32_t>(h[at + 3]) << 24);
        };
        rate = u32(24);
        frames.resize(u32(54) / 4);
        frames.resize(std::fread(frames.data(), 4, frames.size(), f));
    }
    std::fclose(f);
    return ok;
}

} // namespace kesto
