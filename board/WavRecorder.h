#pragma once
// The board's recording: a 3-channel 32-bit float WAV file of the converters (detection
// microphone, error microphone, control output; counts / 2048).
//
// The sample thread calls frame(), which copies the frame into a preallocated ring and never
// waits, allocates or touches the file; a full ring counts the frame as dropped. A writer thread
// drains the ring through libsndfile and rewrites the header's sizes a few times a second, so the
// file is a valid WAV of what was written at any moment. A write error (disk full, a file-size
// limit, an I/O error) is reported once on standard error and ends the recording there, the header
// then describing the frames that reached the file. A WAV file cannot pass 4 GiB: the recording
// stops with a message just before. A WAV file has one rate: a change of rate stops it too.

#include "board/SpscRing.h"

#include <atomic>
#include <cstdint>
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

    explicit WavRecorder(std::uint64_t maxDataBytes = MaxDataBytes);
    ~WavRecorder() { close(); }
    WavRecorder(const WavRecorder &) = delete;
    WavRecorder &operator=(const WavRecorder &) = delete;

    // Controlling thread: starts the file at `rate` Hz (a file there is replaced) and the writer
    // thread. False, with the reason in `error`, if it cannot be created.
    bool open(const std::string &path, double rate, std::string &error);
    // Sample thread: one frame of counts. Never waits.
    void frame(std::int32_t detection, std::int32_t error, std::int32_t control);
    // Sample thread: the following frames are at `rate` Hz.
    void rateChanged(double rate);
    // Controlling thread, once the sample thread no longer calls frame(): writes what the ring
    // holds, completes the header, closes the file and joins the writer.
    void close();
    bool isOpen() const { return writer_.joinable(); }

    const std::string &path() const { return path_; }
    // Frames that reached the file, and frames the sample thread could not queue (ring full).
    std::uint64_t written() const { return written_.load(std::memory_order_acquire); }
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    void writeLoop(void *file); // libsndfile's SNDFILE
    // Writer thread: writes frames; false once the recording has ended.
    bool write(void *file, const Frame *frames, std::size_t n);
    void stopWith(const std::string &reason);

    std::uint64_t maxDataBytes_;
    std::string path_;
    std::unique_ptr<SpscRing<Frame>> ring_;
    std::thread writer_;
    std::uint32_t rate_ = 0;     // the file's rate
    std::uint64_t queued_ = 0;   // sample thread only: frames put into the ring
    std::uint64_t taken_ = 0;    // writer only: frames taken out of the ring
    static constexpr std::uint64_t Never = ~std::uint64_t{0};
    // The sample thread's queued_ when the rate changed; the writer ends the file there.
    std::atomic<std::uint64_t> rateChangeAt_{Never};
    double newRate_ = 0; // written before rateChangeAt_, read after it
    // Set by close() once the sample thread has stopped; the writer then drains and ends.
    std::atomic<bool> closing_{false};
    // Set by the writer when the recording ended early; the sample thread then stops queuing.
    std::atomic<bool> stopped_{false};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> dropped_{0};
};

// Reads back a file written by WavRecorder: its rate and interleaved frames of `Channels`
// floats. False on a file that is not a 3-channel WAV.
bool readWav(const std::string &path, double &rate, std::vector<float> &frames);

} // namespace kesto
