#pragma once
// The board's monitor output: one converter channel played live through the PC's default sound
// output, as a real board's headphone socket would, so that an audience hears the noise fall.
//
// The sample thread calls push(), which puts the sample into a preallocated single-producer
// single-consumer ring and never waits: a full ring drops the sample and counts it. The sound
// device's own thread drains the ring, resamples from the board's rate to the device's with
// libsamplerate (trimming the ratio slightly to follow the drift between the two clocks) and
// plays; a ring that runs empty plays silence and counts an underrun, then
// waits for a few milliseconds of samples before it plays again. The ring's backlog is held under
// a bound, so what is heard stays within about 50 ms of the converters.
//
// Level: counts / ConverterFullScale (converter full scale = 0 dBFS) times the gain, clipped to
// full scale.

#include "board/SpscRing.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

enum class MonitorChannel { Off, Detection, Error, Control };

// "off", "detection", "error", "control"; nothing for any other text.
std::optional<MonitorChannel> monitorChannelNamed(std::string_view name);

// The gain the monitor accepts, dB.
inline constexpr double MinMonitorGainDb = 0, MaxMonitorGainDb = 60;

class AudioMonitor {
public:
    // Opens the default sound output for a board running at `boardRate` Hz. Null, with the
    // reason in `why`, when there is no device to play on.
    static std::unique_ptr<AudioMonitor> open(double boardRate, double gainDb, std::string &why);
    ~AudioMonitor();
    AudioMonitor(const AudioMonitor &) = delete;
    AudioMonitor &operator=(const AudioMonitor &) = delete;

    // Sample thread: one sample of counts. Never waits.
    void push(std::int32_t counts) {
        if (!ring_.push(static_cast<float>(counts) * scale_))
            dropped_.fetch_add(1, std::memory_order_relaxed); // Relaxed: a counter, read for reports.
    }
    // Sample thread: the following samples are at `hz`.
    void rateChanged(double hz) { boardRate_.store(hz, std::memory_order_relaxed); }

    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }
    // Samples the sample thread could not queue, and samples skipped to hold the latency.
    std::uint64_t dropped() const {
        return dropped_.load(std::memory_order_relaxed) + skipped_.load(std::memory_order_relaxed);
    }
    // Seconds of sound played.
    double played() const {
        return static_cast<double>(playedFrames_.load(std::memory_order_relaxed)) / deviceRate_;
    }
    // The largest delay from a sample's push to its leaving the device's buffer, seconds, over
    // the callbacks so far: the ring's backlog plus one device buffer.
    double latency() const { return maxLatency_.load(std::memory_order_relaxed); }

    // One line for standard error: what was played and what went wrong.
    std::string summary() const;

private:
    AudioMonitor(double boardRate, double gainDb);
    static void deviceCallback(void *self, std::uint8_t *stream, int bytes);
    static long resamplerInput(void *self, float **data);
    void play(float *out, int frames);

    const float scale_;
    std::atomic<double> boardRate_;
    double deviceRate_ = 48000;
    int deviceBuffer_ = 0; // frames per device callback
    std::uint32_t device_ = 0;
    void *resampler_ = nullptr; // libsamplerate's SRC_STATE
    SpscRing<float> ring_;
    std::vector<float> input_; // the resampler's input, filled from the ring (device thread only)
    bool playing_ = false;     // device thread only: false while the ring refills
    double smoothedBacklog_ = 0; // device thread only: seconds

    // Relaxed: counters and figures for reports; they publish no other data.
    std::atomic<std::uint64_t> underruns_{0}, dropped_{0}, skipped_{0}, playedFrames_{0};
    std::atomic<double> maxLatency_{0};
};

} // namespace kesto
