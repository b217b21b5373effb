#include "board/WavRecorder.h"

#include "contract/BoardContract.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <span>
#include <thread>

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
constexpr std::size_t MaxRateMarks = 16;  // changes of rate the writer may lag behind

constexpr std::uint64_t FrameBytes = sizeof(float) * WavRecorder::Channels;

// A new file for the recording, with the reason in `error` when it cannot be created.
SNDFILE *create(const std::string &path, double rate, std::string &error) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(rate));
    info.channels = WavRecorder::Channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = sf_strerror(nullptr);
        return nullptr;
    }
    // Only the sizes change as the file grows; a peak chunk would need a rewrite at the end.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    return file;
}

} // namespace

WavRecorder::WavRecorder(std::uint64_t maxDataBytes, std::size_t ringFrames)
    : maxDataBytes_(maxDataBytes), ringFrames_(ringFrames) {}

bool WavRecorder::open(const std::string &path, double rate, std::string &error) {
    close();
    SNDFILE *file = create(path, rate, error);
    if (!file)
        return false;
    file_ = file;
    path_ = path;
    ring_ = std::make_unique<SpscRing<Frame>>(
        ringFrames_ ? ringFrames_ : std::max(MinRingFrames, static_cast<std::size_t>(RingSeconds * rate)));
    marks_ = std::make_unique<SpscRing<RateMark>>(MaxRateMarks);
    queued_ = taken_ = 0;
    haveMark_ = false;
    // Relaxed, all four: the writer thread starts after them, which orders them.
    closing_.store(false, std::memory_order_relaxed);
    stopped_.store(false, std::memory_order_relaxed);
    written_.store(0, std::memory_order_relaxed);
    dropped_.store(0, std::memory_order_relaxed);
    writer_ = std::thread([this] { writeLoop(); });
    return true;
}

void WavRecorder::frame(std::int32_t detection, std::int32_t error, std::int32_t control) {
    // Relaxed: once the writer has ended the recording, frames may be dropped a little late.
    if (!ring_ || stopped_.load(std::memory_order_relaxed))
        return;
    constexpr auto FullScale = static_cast<float>(quiro::ConverterFullScale);
    const Frame f{{detection / FullScale, error / FullScale, control / FullScale}};
    bool pushed = ring_->push(f);
    // Relaxed: as above; the writer ending the recording ends the wait.
    while (!pushed && waitWhenFull_ && !stopped_.load(std::memory_order_relaxed)) {
        std::this_thread::yield();
        pushed = ring_->push(f);
    }
    if (pushed)
        ++queued_;
    else // Relaxed: a count, read for the report only.
        dropped_.fetch_add(1, std::memory_order_relaxed);
}

void WavRecorder::rateChanged(double rate) {
    // The mark goes in before the frames at the new rate, so the writer sees it before them.
    if (marks_ && !marks_->push({queued_, rate}))
        stopped_.store(true, std::memory_order_relaxed); // Relaxed: as in frame().
}

void WavRecorder::close() {
    if (!writer_.joinable())
        return;
    // Release: every frame queued before (the sample thread has stopped) is drained first.
    closing_.store(true, std::memory_order_release);
    writer_.join();
    ring_.reset();
    marks_.reset();
}

void WavRecorder::stopWith(const std::string &reason) {
    std::fprintf(stderr, "Kesto32: recording %s: %s; recording stopped after %llu frames\n",
                 path_.c_str(), reason.c_str(),
                 static_cast<unsigned long long>(written_.load(std::memory_order_relaxed)));
    // Relaxed: only tells the sample thread to stop queuing; nothing is published with it.
    stopped_.store(true, std::memory_order_relaxed);
}

bool WavRecorder::restart(double rate) {
    std::string error;
    sf_close(static_cast<SNDFILE *>(file_));
    file_ = create(path_, rate, error);
    written_.store(0, std::memory_order_release); // Release: as in write().
    if (!file_) {
        stopWith("cannot be started again at " + std::to_string(std::lround(rate)) + " Hz (" +
                 error + ")");
        return false;
    }
    std::fprintf(stderr, "Kesto32: recording %s: the sampling rate changed to %g Hz; the file "
                 "starts again at that rate\n", path_.c_str(), rate);
    return true;
}

bool WavRecorder::write(const Frame *frames, std::size_t n) {
    auto *file = static_cast<SNDFILE *>(file_);
    const std::uint64_t written = written_.load(std::memory_order_relaxed); // Relaxed: ours.
    const std::uint64_t room = maxDataBytes_ / FrameBytes - written;
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, room));
    const sf_count_t got =
        k ? sf_writef_float(file, &frames[0].v[0], static_cast<sf_count_t>(k)) : 0;
    // Release: written() readers see a count no larger than what the file holds.
    written_.store(written + static_cast<std::uint64_t>(std::max<sf_count_t>(got, 0)),
                   std::memory_order_release);
    if (got != static_cast<sf_count_t>(k))
        stopWith(sf_strerror(file));
    else if (k < n)
        stopWith("the file reached the largest size a WAV file can describe");
    else
        return true;
    return false;
}

bool WavRecorder::take(const Frame *frames, std::size_t n) {
    std::size_t done = 0;
    bool recording = true;
    while (recording && done < n) {
        // The marks of changes among these frames are in already: each went in before them.
        if (!haveMark_)
            haveMark_ = marks_->popAll(std::span(&nextMark_, 1)) == 1;
        std::size_t upto = n;
        if (haveMark_ && nextMark_.at < taken_ + n)
            upto = static_cast<std::size_t>(nextMark_.at - taken_);
        recording = write(frames + done, upto - done);
        taken_ += upto - done;
        done = upto;
        if (recording && haveMark_ && nextMark_.at == taken_) {
            haveMark_ = false;
            recording = restart(nextMark_.rate);
        }
    }
    taken_ += n - done;
    return recording;
}

void WavRecorder::writeLoop() {
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
            recording = take(chunk.data(), n);
        // Relaxed: the sample thread ended it when rate changes came faster than marks fit.
        if (recording && stopped_.load(std::memory_order_relaxed)) {
            stopWith("the sampling rate changed too often to follow");
            recording = false;
        }
        if (recording && Steady::now() - lastHeader >= HeaderEvery) {
            sf_command(static_cast<SNDFILE *>(file_), SFC_UPDATE_HEADER_NOW, nullptr, 0);
            lastHeader = Steady::now();
        }
    }
    if (file_ && sf_close(static_cast<SNDFILE *>(file_)) != 0 && recording)
        stopWith("the file could not be completed");
    file_ = nullptr;
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
