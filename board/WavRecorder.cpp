#include "board/WavRecorder.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace kesto {

namespace {

using Steady = std::chrono::steady_clock;

// The writer looks at the ring this often when it found it empty, and rewrites the header's
// sizes this often while frames arrive.
constexpr auto WriterPoll = std::chrono::milliseconds(10);
constexpr auto HeaderEvery = std::chrono::milliseconds(250);
// The ring holds this much of the recording: the writer may stall that long on the disk.
constexpr double RingSeconds = 2.0;
constexpr std::size_t MinRingFrames = 16384;
constexpr std::size_t WriteChunk = 4096; // frames per write

constexpr std::uint64_t FrameBytes = sizeof(float) * WavRecorder::Channels;

} // namespace

WavRecorder::WavRecorder(std::uint64_t maxDataBytes) : maxDataBytes_(maxDataBytes) {}

bool WavRecorder::open(const std::string &path, double rate, std::string &error) {
    close();
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(rate));
    info.channels = Channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = sf_strerror(nullptr);
        return false;
    }
    // Only the sizes change as the file grows; a peak chunk would need a rewrite at the end.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    path_ = path;
    rate_ = static_cast<std::uint32_t>(info.samplerate);
    ring_ = std::make_unique<SpscRing<Frame>>(
        std::max(MinRingFrames, static_cast<std::size_t>(RingSeconds * rate)));
    queued_ = taken_ = 0;
    newRate_ = 0;
    rateChangeAt_.store(Never, std::memory_order_relaxed); // the writer starts after this
    closing_.store(false, std::memory_order_relaxed);       // likewise
    stopped_.store(false, std::memory_order_relaxed);       // likewise
    written_.store(0, std::memory_order_relaxed);           // likewise
    dropped_.store(0, std::memory_order_relaxed);           // likewise
    writer_ = std::thread([this, file] { writeLoop(file); });
    return true;
}

void WavRecorder::frame(std::int32_t detection, std::int32_t error, std::int32_t control) {
    // Relaxed: once the writer has ended the recording, frames may be dropped a little late.
    if (!ring_ || stopped_.load(std::memory_order_relaxed))
        return;
    const Frame f{{detection / 2048.0f, error / 2048.0f, control / 2048.0f}};
    if (ring_->push(f))
        ++queued_;
    else // Relaxed: a count, read for the report only.
        dropped_.fetch_add(1, std::memory_order_relaxed);
}

void WavRecorder::rateChanged(double rate) {
    // Relaxed: only this thread writes rateChangeAt_; only the first change matters.
    if (!ring_ || rateChangeAt_.load(std::memory_order_relaxed) != Never)
        return;
    newRate_ = rate;
    // Release: newRate_ is visible to the writer once it sees the position.
    rateChangeAt_.store(queued_, std::memory_order_release);
}

void WavRecorder::close() {
    if (!writer_.joinable())
        return;
    // Release: every frame queued before (the sample thread has stopped) is drained first.
    closing_.store(true, std::memory_order_release);
    writer_.join();
    ring_.reset();
}

void WavRecorder::stopWith(const std::string &reason) {
    std::fprintf(stderr, "Kesto32: recording %s: %s; recording stopped after %llu frames\n",
                 path_.c_str(), reason.c_str(),
                 static_cast<unsigned long long>(written_.load(std::memory_order_relaxed)));
    // Relaxed: only tells the sample thread to stop queuing; nothing is published with it.
    stopped_.store(true, std::memory_order_relaxed);
}

bool WavRecorder::write(void *handle, const Frame *frames, std::size_t n) {
    auto *file = static_cast<SNDFILE *>(handle);
    // Acquire: pairs with rateChanged's release, for newRate_.
    const std::uint64_t changeAt = rateChangeAt_.load(std::memory_order_acquire);
    const std::uint64_t written = written_.load(std::memory_order_relaxed);
    const std::uint64_t room = maxDataBytes_ / FrameBytes - written;
    std::size_t k = n;
    if (changeAt != Never && taken_ + k > changeAt)
        k = static_cast<std::size_t>(changeAt - taken_);
    k = static_cast<std::size_t>(std::min<std::uint64_t>(k, room));
    const sf_count_t got = k ? sf_writef_float(file, &frames[0].v[0], static_cast<sf_count_t>(k)) : 0;
    taken_ += n;
    // Release: written() readers see a count no larger than what the file holds.
    written_.store(written + static_cast<std::uint64_t>(std::max<sf_count_t>(got, 0)),
                   std::memory_order_release);
    char reason[160];
    if (got != static_cast<sf_count_t>(k))
        stopWith(sf_strerror(file));
    else if (k < n && k == room)
        stopWith("the file reached the largest size a WAV file can describe");
    else if (k < n) {
        std::snprintf(reason, sizeof reason,
                      "the sampling rate changed to %g Hz and a WAV file has one rate", newRate_);
        stopWith(reason);
    } else
        return true;
    return false;
}

void WavRecorder::writeLoop(void *handle) {
    auto *file = static_cast<SNDFILE *>(handle);
    static_assert(sizeof(Frame) == FrameBytes, "frames are written as interleaved floats");
    std::vector<Frame> chunk(WriteChunk);
    bool recording = true;
    auto lastHeader = Steady::now();
    for (;;) {
        // Acquire: pairs with close(); every frame queued before it is in the ring now.
        const bool closing = closing_.load(std::memory_order_acquire);
        const std::size_t n = ring_->popAll(chunk);
        if (n == 0) {
            if (closing)
                break;
            std::this_thread::sleep_for(WriterPoll);
            continue;
        }
        if (recording)
            recording = write(file, chunk.data(), n);
        if (recording && Steady::now() - lastHeader >= HeaderEvery) {
            sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
            lastHeader = Steady::now();
        }
    }
    if (sf_close(file) != 0 && recording)
        stopWith("the file could not be completed");
}

bool readWav(const std::string &path, double &rate, std::vector<float> &frames) {
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return false;
    const bool ok = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV &&
                    info.channels == WavRecorder::Channels;
    if (ok) {
        rate = info.samplerate;
        frames.resize(static_cast<std::size_t>(info.frames) * WavRecorder::Channels);
        frames.resize(static_cast<std::size_t>(sf_readf_float(file, frames.data(), info.frames)) *
                      WavRecorder::Channels);
    }
    sf_close(file);
    return ok;
}

} // namespace kesto
