#pragma once
// The board's recording: a 3-channel 32-bit float WAV file of the converters (detection
// microphone, error microphone, control output; counts / 2048).
//
// The sample thread calls frame(), which copies the frame into a preallocated ring and never
// waits, allocates or touches the file; a full ring counts the frame as dropped. A writer thread
// drains the ring through libsndfile and rewrites the header's sizes a few times a second, so the
// file is a valid WAV of what was written at any moment. A write error (disk full, a file-size
// limit, an I/O error) is reported once on standard error and ends the recording there, the header
// then describing the frames that reached the file; the file-size limit's signal never reaches
// the process. A WAV file cannot pass 4 GiB: the recording stops with a message just before. A
// WAV file has one rate: at a change of rate the file starts again at the new rate, with a
// message (changes with no frame between them make one). Only a regular file or a new one is
// written, and none that another board records into (see OutputFile.h).

#include "board/SpscRing.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kesto {

class WavRecorder {
public:
    static constexpr int Channels = 3;
    // The most data bytes written to one file: below the 4 GiB a WAV header can describe.
    static constexpr std::uint64_t MaxDataBytes = 0xFFFFFFFFull - (1u << 20);

    struct Frame {
        float v[Channels];
    };

    // `ringFrames`: the ring's room, 0 for two seconds at the rate (at least 16384 frames).
    explicit WavRecorder(std::uint64_t maxDataBytes = MaxDataBytes, std::size_t ringFrames = 0);
    ~WavRecorder() { close(); }
    WavRecorder(const WavRecorder &) = delete;
    WavRecorder &operator=(const WavRecorder &) = delete;

    // Controlling thread: starts the file at `rate` Hz (a file there is replaced) and the writer
    // thread. False, with the reason in `error`, if it cannot be created or is refused.
    bool open(const std::string &path, double rate, std::string &error);
    // Sample thread: one frame of counts. Never waits (unless told to, below).
    void frame(std::int32_t detection, std::int32_t error, std::int32_t control);
    // Controlling thread, before open(): with `wait`, a full ring makes frame() yield until the
    // writer has made room instead of dropping the frame. For a board on the free clock, which
    // has no deadline to keep and so should lose nothing.
    void waitWhenFull(bool wait) { waitWhenFull_ = wait; }
    // Sample thread: the following frames are at `rate` Hz. Never waits.
    void rateChanged(double rate);
    // Controlling thread, once the sample thread no longer calls frame(): writes what the ring
    // holds, completes the header, closes the file and joins the writer.
    void close();
    bool isOpen() const { return writer_.joinable(); }

    const std::string &path() const { return path_; }
    // Frames that reached the file (since it last started), and frames the sample thread could
    // not queue (ring full).
    std::uint64_t written() const { return written_.load(std::memory_order_acquire); }
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    struct RateMark {
        std::uint64_t at; // frames queued before the change
        double rate;
    };
    // Writer thread: the loop, the frames taken from the ring (split at rate marks), and the
    // frames of one file. The latter two return false once the recording has ended.
    void writeLoop();
    bool take(const Frame *frames, std::size_t n);
    bool write(const Frame *frames, std::size_t n);
    bool restart(double rate);
    bool updateHeader();
    void stopWith(const std::string &reason);
    void closeDescriptor();

    std::uint64_t maxDataBytes_;
    std::size_t ringFrames_;
    std::string path_;
    std::unique_ptr<SpscRing<Frame>> ring_;
    std::unique_ptr<SpscRing<RateMark>> marks_;
    std::thread writer_;
    int fd_ = -1;               // the file, locked while open; libsndfile writes through it
    void *file_ = nullptr;      // writer only (after open): libsndfile's SNDFILE
    std::uint64_t queued_ = 0;  // sample thread only: frames put into the ring
    std::uint64_t taken_ = 0;   // writer only: frames taken out of the ring
    std::deque<RateMark> pending_; // writer only: changes of rate taken from marks_, in order
    // Set by close() once the sample thread has stopped; the writer then drains and ends.
    std::atomic<bool> closing_{false};
    // Set by the writer when the recording ended early; the sample thread then stops queuing.
    std::atomic<bool> stopped_{false};
    bool waitWhenFull_ = false;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> dropped_{0};
};

// Reads back a file written by WavRecorder: its rate and interleaved frames of `Channels`
// floats. False on a file that is not a 3-channel WAV.
bool readWav(const std::string &path, double &rate, std::vector<float> &frames);

} // namespace kesto
