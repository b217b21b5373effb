// libKesto32 through its C interface, with the real quiros.out from the run tree.

#include "CInterface.h"

#include "board/Scene.h"
#include "board/WavRecorder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <tuple>

namespace kesto::test {
namespace {

using namespace quiro;

// Calls fail outside Kesto_libenter and Kesto_libexit, both are safe to repeat (a second enter
// keeps the running board), and exiting while another thread reads and writes never lets it
// touch a freed board.
TEST(Library, EnterAndExitRepeatSafelyWhileAnotherThreadReadsAndWrites) {
    const Session session(Env{{"KESTO32_CLOCK", "free"}});
    std::uint32_t w = 7;
    EXPECT_NE(_Kesto_getmem(dspmem::CmdAck, &w), 0);
    EXPECT_EQ(w, 7u);
    std::atomic<bool> done{false};
    std::thread pc([&] {
        std::uint32_t v = 0;
        while (!done.load()) {
            _Kesto_getmem(dspmem::CmdAck, &v);
            _Kesto_putmem(dspmem::CmdArg1, &v, -1);
            _Kesto_putmem(dspmem::CmdRequest, &v, -1);
        }
    });
    for (int i = 0; i < 30; ++i) {
        EXPECT_TRUE(start());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::uint32_t before = get(dspmem::SampleCount);
        EXPECT_EQ(Kesto_libenter(), 0);
        EXPECT_GE(get(dspmem::SampleCount), before);
        EXPECT_EQ(Kesto_bdsel(0), 0);
        EXPECT_NE(Kesto_bdsel(1), 0);
        EXPECT_EQ(_Kesto_bdinit(), 0);
        EXPECT_TRUE(start());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(Kesto_libexit(), 0);
        EXPECT_EQ(Kesto_libexit(), 0);
    }
    done.store(true);
    pc.join();
}

// The number that follows `before` in the board's summary line; -1 if there is none.
double figure(const std::string &log, const std::string &before) {
    const std::size_t at = log.find(before);
    return at == std::string::npos ? -1 : std::strtod(log.c_str() + at + before.size(), nullptr);
}

// The best normalised correlation of played[at, at + n) with ref[at - lag, ...) over lags in
// [lo, hi], with its lag.
std::pair<double, long> bestAlignment(const std::vector<float> &played, const std::vector<double> &ref,
                                      long at, long n, long lo, long hi) {
    std::pair<double, long> best{-1, 0};
    for (long lag = std::max(lo, at + n - static_cast<long>(ref.size())); lag <= std::min(hi, at); ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (long i = at; i < at + n; ++i) {
            ab += double(played[i]) * ref[i - lag];
            aa += double(played[i]) * played[i];
            bb += ref[i - lag] * ref[i - lag];
        }
        best = std::max(best, {aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0, lag});
    }
    return best;
}

// On the real-time clock the board runs while it answers commands, records every sample (a
// capture's stretch of detection, error and control is in the WAV) and plays the error
// microphone through a real audio back end without a sound card: SDL's "disk" driver plays into
// a file at the pace of a device, which is then compared with the recording. Only what holds on
// a loaded machine is judged: the pace, the latency and how many windows match are printed.
TEST(Library, RealTimeThreadRunsAnswersCommandsRecordsAndPlaysWhatItRecorded) {
    const Scratch scratch;
    const fs::path wav = scratch.dir / "record.wav", raw = scratch.dir / "played.raw";
    std::vector<float> captured(3 * 251); // frames of detection, error, control
    testing::internal::CaptureStderr();
    {
        const Session session({{"KESTO32_LISTEN", "error"},
                               {"KESTO32_RECORD", wav.string()},
                               {"SDL_AUDIODRIVER", "disk"},
                               {"SDL_DISKAUDIOFILE", raw.string()}});
        EXPECT_TRUE(start());
        const std::uint32_t s0 = get(dspmem::SampleCount);
        for (int i = 0; i < 100; ++i)
            send(i % 2 ? Cmd::CaptureQuery : Cmd::WFetch);
        send(Cmd::C2IdentStart); // so that the control output carries something
        send(Cmd::CaptureStart);
        do
            send(Cmd::CaptureQuery);
        while (get(dspmem::CmdArg1) != 0);
        EXPECT_GT(get(dspmem::SampleCount) - s0, 251u) << "the capture completed without samples";
        const Cmd fetches[] = {Cmd::PrimFetch, Cmd::ErrorFetch, Cmd::CtrlFetch};
        for (std::uint32_t ch = 0; ch < 3; ++ch) {
            send(fetches[ch]);
            for (std::uint32_t i = 0; i < 251; ++i)
                captured[3 * i + ch] = singleOfWord(get(dspmem::XferBuf + 4 * i)) / 2048.0f;
        }
        send(Cmd::IdentStop); // off again: the monitor's fast converter cuts its top band
        // Three more seconds of samples, counted on the board's own clock.
        const std::uint32_t s1 = get(dspmem::SampleCount);
        while (get(dspmem::SampleCount) - s1 < 3 * 20000)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } // the session's exit ends the recording and says what the monitor played
    const std::string log = testing::internal::GetCapturedStderr();
    const double deviceRate = figure(log, "played at ");
    const double latencyMs = figure(log, "latency at most ");
    ASSERT_GT(deviceRate, 0) << log;

    // A 3-channel float WAV at 20 kHz holding the captured stretch.
    double rate = 0;
    std::vector<float> frames;
    ASSERT_TRUE(readWav(wav.string(), rate, frames) && rate == 20000) << log;
    const auto at = std::search(frames.begin(), frames.end(), captured.begin(), captured.end());
    EXPECT_TRUE(at != frames.end() && (at - frames.begin()) % 3 == 0)
        << "the captured stretch is not in the recording of " << frames.size() / 3 << " frames";
    std::vector<double> error(frames.size() / 3);
    for (std::size_t i = 0; i < error.size(); ++i)
        error[i] = frames[3 * i + 1];
    // The recording at the device's rate, by the scenes' best-quality resampler (its scaling of
    // the level is lost in the normalised correlation).
    const auto reference = resampleResponse(error, rate, deviceRate);

    std::vector<float> played(fs::file_size(raw) / sizeof(float));
    std::ifstream(raw, std::ios::binary).read(reinterpret_cast<char *>(played.data()),
                                              static_cast<std::streamsize>(played.size() * sizeof(float)));
#ifdef __SANITIZE_THREAD__
    // ThreadSanitizer slows the sound device's thread so much that the monitor skips every few
    // milliseconds to hold its latency: here the test looks for races, and only that it played.
    EXPECT_GT(played.size(), 0u) << log;
    return;
#endif
    // Align 25 ms windows one by one over the last 1.5 s played, well after the excitation
    // stopped: the first anywhere within 0.3 s, the next near the last (the monitor may skip or
    // pause a few milliseconds to hold its latency), or further when that finds nothing.
    const long window = static_cast<long>(deviceRate / 40);
    std::vector<double> correlations;
    long lag = 0;
    for (long at = std::max(window * 20, static_cast<long>(played.size()) - 60 * window);
         at + window <= static_cast<long>(played.size()); at += window) {
        const long wide = static_cast<long>(0.3 * deviceRate);
        auto [c, best] = bestAlignment(played, reference, at, window, lag - (correlations.empty() ? wide : window),
                                       lag + (correlations.empty() ? wide : window));
        if (c < 0.95) // lost: look again further
            std::tie(c, best) = bestAlignment(played, reference, at, window, lag - wide / 3, lag + wide / 3);
        correlations.push_back(c);
        lag = best;
    }
    ASSERT_GE(correlations.size(), 10u) << played.size() << " samples played";
    std::sort(correlations.begin(), correlations.end());
    // A window that straddles a skip or a pause, or that the monitor stretched to follow the
    // clocks' drift, matches less, and a loaded machine makes more of those; but what the monitor
    // plays is the error microphone's recording, so some windows match it closely.
    EXPECT_GE(correlations.back(), 0.999) << "median " << correlations[correlations.size() / 2] << "; " << log;
    std::printf("correlation of %zu windows of 25 ms: best %.5f, median %.5f, lowest %.5f; latency at most "
                "%.0f ms\n",
                correlations.size(), correlations.back(), correlations[correlations.size() / 2],
                correlations.front(), latencyMs);
}

} // namespace
} // namespace kesto::test
