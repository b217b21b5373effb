#include "board/WavRecorder.h"

#include "board/OutputFile.h"
#include "contract/BoardContract.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include <unistd.h>

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
constexpr std::size_t MaxRateMarks = 1024; // changes of rate the writer may lag behind

constexpr std::uint64_t FrameBytes = sizeof(float) * WavRecorder::Channels;

// A WAV file at `rate` written through `fd` from its start, with the reason in `error` when its
// header cannot be written. The descriptor stays open when the file is closed.
SNDFILE *create(int fd, double rate, std::string &error) {
    if (::lseek(fd, 0, SEEK_SET) != 0) { // libsndfile starts the file at the current offset
        error = std::strerror(errno);
        return nullptr;
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(rate));
    info.channels = WavRecorder::Channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        error = sf_strerror(nullptr);
        return nullptr;
    }
    // Only the sizes change as the file grows; a peak chunk would need a rewrite at the end.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    if (sf_error(file) != SF_ERR_NO_ERROR) {
        error = sf_strerror(file);
        sf_close(file);
        return nullptr;
    }
    return file;
}

} // namespace

WavRecorder::WavRecorder(std::uint64_t maxDataBytes, std::size_t ringFrames)
    : maxDataBytes_(maxDataBytes), ringFrames_(ringFrames) {}

bool WavRecorder::open(const std::string &path, double rate, std::string &error) {
    close();
    fd_ = openOutputFile(path, error);
    if (fd_ < 0)
        return false;
    SNDFILE *file = nullptr;
    {
        const FileSizeSignalBlocked quiet; // the header alone may pass the limit
        file = create(fd_, rate, error);
    }
    if (!file) {
        closeDescriptor();
        return false;
    }
    file_ = file;
    path_ = path;
    ring_ = std::make_unique<SpscRing<Frame>>(
        ringFrames_ ? ringFrames_ : std::max(MinRingFrames, static_cast<std::size_t>(RingSeconds * rate)));
    marks_ = std::make_unique<SpscRing<RateMark>>(MaxRateMarks);
    queued_ = taken_ = 0;
    pending_.clear();
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
    closeDescriptor();
}

void WavRecorder::closeDescriptor() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
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
    file_ = nullptr;
    if (::ftruncate(fd_, 0) != 0)
        error = std::strerror(errno);
    else
        file_ = create(fd_, rate, error);
    written_.store(0, std::memory_order_release); // Release: as in write().
    if (!file_) {
        char hz[32];
        std::snprintf(hz, sizeof hz, "%.17g", rate);
        stopWith(std::string("cannot be started again at ") + hz + " Hz (" + error + ")");
        return false;
    }
    std::fprintf(stderr, "Kesto32: recording %s: the sampling rate changed to %.17g Hz; the file "
                 "starts again at that rate\n", path_.c_str(), rate);
    return true;
}

bool WavRecorder::updateHeader() {
    auto *file = static_cast<SNDFILE *>(file_);
    sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    if (sf_error(file) == SF_ERR_NO_ERROR)
        return true;
    stopWith(sf_strerror(file));
    return false;
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
    // The marks of changes among these frames are in already: each went in before them.
    RateMark got[64];
    for (std::size_t k; (k = marks_->popAll(got)) > 0;)
        pending_.insert(pending_.end(), got, got + k);
    // Positions count from the first frame of the recording; frames[i] is frame first + i.
    const std::uint64_t first = taken_;
    std::size_t done = 0;
    bool recording = true;
    while (recording && done < n) {
        std::size_t upto = n;
        if (!pending_.empty() && pending_.front().at < first + n)
            upto = static_cast<std::size_t>(std::max(pending_.front().at, first + done) - first);
        recording = write(frames + done, upto - done);
        done = upto;
        // Changes with no frame between them start the file once, at the last of them.
        double rate = 0;
        while (!pending_.empty() && pending_.front().at <= first + done) {
            rate = pending_.front().rate;
            pending_.pop_front();
        }
        if (recording && rate != 0)
            recording = restart(rate);
    }
    taken_ = first + n;
    return recording;
}

void WavRecorder::writeLoop() {
    static_assert(sizeof(Frame) == FrameBytes, "frames are written as interleaved floats");
    // A write past the file-size limit fails with EFBIG here instead of ending the process.
    const FileSizeSignalBlocked quiet;
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
            recording = updateHeader();
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
