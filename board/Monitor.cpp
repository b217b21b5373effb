#include "board/Monitor.h"

#include "contract/BoardContract.h"

#include <SDL.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

namespace kesto {

namespace {

// The device is asked for 48 kHz mono in buffers of 5 ms (a whole number of milliseconds,
// which SDL's timed drivers keep to exactly).
constexpr int WantedRate = 48000;
constexpr int WantedBuffer = 240;
// Seconds of samples: the ring's capacity at the board's highest rate; the backlog the device
// waits for before it plays (at the start and after an underrun); the backlog past which it
// skips ahead to `Settled`, so that the sound never lags the converters by much.
constexpr double RingSeconds = 0.25;
constexpr double Prefill = 0.012;
constexpr double MaxBacklog = 0.030;
constexpr double Settled = 0.018;
// The device's clock and the board's drift apart: the resampling ratio is trimmed by at most
// this share, in proportion to how far the smoothed backlog is from `Settled`, so that the
// backlog stays put without skips or pauses (a trim this small is not heard as a change of pitch).
constexpr double MaxTrim = 0.003;
constexpr double BacklogSmoothing = 0.05; // per device buffer
// The resampler's input is taken from the ring in pieces of at most this many samples.
constexpr std::size_t InputPiece = 256;

std::size_t samplesIn(double seconds, double rate) {
    return static_cast<std::size_t>(std::max(1.0, std::round(seconds * rate)));
}

} // namespace

std::optional<MonitorChannel> monitorChannelNamed(std::string_view name) {
    struct Named {
        std::string_view name;
        MonitorChannel channel;
    };
    static constexpr Named Names[] = {{"off", MonitorChannel::Off},
                                      {"detection", MonitorChannel::Detection},
                                      {"error", MonitorChannel::Error},
                                      {"control", MonitorChannel::Control}};
    for (const Named &n : Names)
        if (n.name == name)
            return n.channel;
    return std::nullopt;
}

AudioMonitor::AudioMonitor(double boardRate, double gainDb)
    : scale_(static_cast<float>(std::pow(10.0, gainDb / 20.0) / quiro::ConverterFullScale)),
      boardRate_(boardRate), ring_(samplesIn(RingSeconds, quiro::MaxSampleRate)),
      input_(InputPiece, 0.0f) {}

std::unique_ptr<AudioMonitor> AudioMonitor::open(double boardRate, double gainDb,
                                                 std::string &why) {
    std::unique_ptr<AudioMonitor> m(new AudioMonitor(boardRate, gainDb));
    int error = 0;
    m->resampler_ = src_callback_new(&AudioMonitor::resamplerInput, SRC_SINC_FASTEST, 1, &error,
                                     m.get());
    if (!m->resampler_) {
        why = std::string("resampler: ") + src_strerror(error);
        return nullptr;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        why = SDL_GetError();
        return nullptr;
    }
    SDL_AudioSpec want{};
    want.freq = WantedRate;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = WantedBuffer;
    want.callback = &AudioMonitor::deviceCallback;
    want.userdata = m.get();
    SDL_AudioSpec have{};
    m->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                     SDL_AUDIO_ALLOW_FREQUENCY_CHANGE |
                                         SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (m->device_ == 0) {
        why = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    m->deviceRate_ = have.freq;
    m->deviceBuffer_ = have.samples;
    SDL_PauseAudioDevice(m->device_, 0);
    return m;
}

AudioMonitor::~AudioMonitor() {
    if (device_) {
        SDL_CloseAudioDevice(device_); // stops and joins the device's thread
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (resampler_)
        src_delete(static_cast<SRC_STATE *>(resampler_));
}

void AudioMonitor::deviceCallback(void *self, std::uint8_t *stream, int bytes) {
    static_cast<AudioMonitor *>(self)->play(reinterpret_cast<float *>(stream),
                                            bytes / static_cast<int>(sizeof(float)));
}

void AudioMonitor::play(float *out, int frames) {
    const double rate = boardRate_.load(std::memory_order_relaxed);
    const std::size_t backlog = ring_.size();
    if (!playing_ && backlog >= samplesIn(Prefill, rate))
        playing_ = true;
    if (backlog > samplesIn(MaxBacklog, rate)) { // the device fell behind: catch up
        std::size_t skip = backlog - samplesIn(Settled, rate);
        skipped_.fetch_add(skip, std::memory_order_relaxed);
        while (skip > 0)
            skip -= ring_.popAll(std::span(input_.data(), std::min(skip, input_.size())));
    }
    const double delay = static_cast<double>(std::min(backlog, samplesIn(MaxBacklog, rate))) / rate +
                         static_cast<double>(deviceBuffer_) / deviceRate_;
    if (delay > maxLatency_.load(std::memory_order_relaxed))
        maxLatency_.store(delay, std::memory_order_relaxed);

    smoothedBacklog_ += BacklogSmoothing * (static_cast<double>(backlog) / rate - smoothedBacklog_);
    const double drift = (smoothedBacklog_ - Settled) / (MaxBacklog - Settled);
    const double trim = 1.0 - std::clamp(drift * MaxTrim, -MaxTrim, MaxTrim);
    const long made = src_callback_read(static_cast<SRC_STATE *>(resampler_),
                                        deviceRate_ / rate * trim, frames, out);
    for (long i = 0; i < made; ++i)
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
    std::fill(out + std::max(0L, made), out + frames, 0.0f);
    playedFrames_.fetch_add(static_cast<std::uint64_t>(frames), std::memory_order_relaxed);
}

long AudioMonitor::resamplerInput(void *self, float **data) {
    AudioMonitor &m = *static_cast<AudioMonitor *>(self);
    std::size_t n = m.playing_ ? m.ring_.popAll(std::span(m.input_)) : 0;
    if (n == 0) { // silence until the ring has refilled
        if (m.playing_)
            m.underruns_.fetch_add(1, std::memory_order_relaxed);
        m.playing_ = false;
        n = InputPiece / 8;
        std::fill(m.input_.begin(), m.input_.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
    }
    *data = m.input_.data();
    return static_cast<long>(n);
}

std::string AudioMonitor::summary() const {
    char line[200];
    std::snprintf(line, sizeof line,
                  "%.1f s played at %.0f Hz, latency at most %.0f ms, %llu underruns, %llu "
                  "samples dropped",
                  played(), deviceRate_, latency() * 1000.0,
                  static_cast<unsigned long long>(underruns()),
                  static_cast<unsigned long long>(dropped()));
    return line;
}

} // namespace kesto
