// The monitor output through a real audio back end without a sound card: SDL's "disk" driver
// plays into a file at the pace of a device, which is then compared with the board's recording.

#include "board/Kesto32.h"
#include "board/WavRecorder.h"
#include "contract/BoardContract.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <samplerate.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
const std::string Program = std::string(QUIRO_RUN_TREE) + "/bin/../DSP/quiros.out";

struct BoardRun {
    int entered = -1;
    std::uint32_t samples = 0, overruns = 0;
    std::string log; // what the board said on standard error
};

// Runs the real board for `seconds` of real time under the given environment.
BoardRun runBoard(const std::vector<std::pair<const char *, std::string>> &env, double seconds) {
    for (const char *name : {"KESTO32_SCENE", "KESTO32_RECORD", "KESTO32_LISTEN_GAIN"})
        ::unsetenv(name);
    ::setenv("KESTO32_CLOCK", "realtime", 1);
    for (const auto &[name, value] : env)
        ::setenv(name, value.c_str(), 1);
    BoardRun run;
    testing::internal::CaptureStderr();
    run.entered = Kesto_libenter();
    if (run.entered == 0 && _Kesto_loadcs(Program.c_str()) == 0 && _Kesto_run() == 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        _Kesto_getmem(quiro::dspmem::SampleCount, &run.samples);
        _Kesto_getmem(quiro::dspmem::Overruns, &run.overruns);
    }
    Kesto_libexit();
    run.log = testing::internal::GetCapturedStderr();
    for (const auto &[name, value] : env)
        ::unsetenv(name);
    return run;
}

// The number that follows `before` in the board's summary line; -1 if there is none.
double figure(const std::string &log, const std::string &before) {
    const std::size_t at = log.find(before);
    return at == std::string::npos ? -1 : std::strtod(log.c_str() + at + before.size(), nullptr);
}

// The normalised correlation of a with b.
double correlation(const float *a, const float *b, std::size_t n) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The best correlation of played[at, at + n) with reference[at - lag, ...) over lags in [lo, hi].
std::pair<double, long> bestAlignment(const std::vector<float> &played, const std::vector<float> &ref,
                                      long at, long n, long lo, long hi) {
    std::pair<double, long> best{-1, 0};
    for (long lag = lo; lag <= hi; ++lag)
        if (at - lag >= 0 && at - lag + n <= static_cast<long>(ref.size()))
            best = std::max(best, {correlation(&played[at], &ref[at - lag], n), lag});
    return best;
}

TEST(Monitor, PlaysTheErrorMicrophoneAsRecordedWithinTheLatencyBound) {
    const fs::path wav = fs::temp_directory_path() / ("kesto-monitor-" + std::to_string(::getpid()) + ".wav");
    const fs::path raw = fs::temp_directory_path() / ("kesto-monitor-" + std::to_string(::getpid()) + ".raw");
    const BoardRun run = runBoard({{"KESTO32_LISTEN", "error"},
                              {"KESTO32_RECORD", wav.string()},
                              {"SDL_AUDIODRIVER", "disk"},
                              {"SDL_DISKAUDIOFILE", raw.string()}},
                             3.0);
    ASSERT_EQ(run.entered, 0) << run.log;
    const double deviceRate = figure(run.log, "played at ");
    const double latencyMs = figure(run.log, "latency at most ");
    ASSERT_GT(deviceRate, 0) << run.log;
    EXPECT_LE(latencyMs, 50) << run.log;

    double rate = 0;
    std::vector<float> frames;
    ASSERT_TRUE(kesto::readWav(wav.string(), rate, frames)) << run.log;
    std::vector<float> error(frames.size() / 3);
    for (std::size_t i = 0; i < error.size(); ++i)
        error[i] = frames[3 * i + 1];
    // The recording at the device's rate, by the best converter libsamplerate has.
    std::vector<float> reference(static_cast<std::size_t>(error.size() * deviceRate / rate) + 64);
    SRC_DATA data{};
    data.data_in = error.data();
    data.input_frames = static_cast<long>(error.size());
    data.data_out = reference.data();
    data.output_frames = static_cast<long>(reference.size());
    data.src_ratio = deviceRate / rate;
    ASSERT_EQ(src_simple(&data, SRC_SINC_BEST_QUALITY, 1), 0);
    reference.resize(static_cast<std::size_t>(data.output_frames_gen));

    std::vector<float> played(fs::file_size(raw) / sizeof(float));
    std::ifstream(raw, std::ios::binary).read(reinterpret_cast<char *>(played.data()),
                                              static_cast<std::streamsize>(played.size() * sizeof(float)));
    // Align 25 ms windows one by one from 0.5 s on: the first anywhere within 0.3 s, the next
    // near the last (the monitor may skip or pause a few milliseconds to hold its latency), or
    // further when that finds nothing.
    const long window = static_cast<long>(deviceRate / 40);
    std::vector<double> correlations;
    long lag = 0;
    for (long at = window * 20; at + window <= static_cast<long>(played.size()); at += window) {
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
    // A window that straddles a skip or a pause matches less (a loaded machine slows SDL's
    // timed driver by several per cent); most windows must match the recording.
    EXPECT_GE(correlations[correlations.size() / 2], 0.99)
        << "lowest " << correlations.front() << "; " << run.log;
    std::printf("correlation of 25 ms windows: median %.5f, lowest %.5f; latency at most %.0f ms\n",
                correlations[correlations.size() / 2], correlations.front(), latencyMs);
    fs::remove(wav);
    fs::remove(raw);
}

TEST(Monitor, WithoutASoundOutputTheBoardRunsOnAndSaysWhy) {
    struct Case {
        std::vector<std::pair<const char *, std::string>> env;
        int entered;
        const char *said;
    };
    const Case cases[] = {
        {{{"KESTO32_LISTEN", "error"}, {"SDL_AUDIODRIVER", "no-such-driver"}}, 0, "no sound output"},
        {{{"KESTO32_LISTEN", "control"}, {"KESTO32_CLOCK", "free"}}, 0, "free clock"},
        {{{"KESTO32_LISTEN", "loudest"}}, 1, "KESTO32_LISTEN=loudest: expected"},
        {{{"KESTO32_LISTEN", "error"}, {"KESTO32_LISTEN_GAIN", "-6"}}, 1, "KESTO32_LISTEN_GAIN=-6"},
    };
    for (const Case &c : cases) {
        const BoardRun run = runBoard(c.env, 0.3);
        SCOPED_TRACE(c.said);
        EXPECT_EQ(run.entered != 0, c.entered != 0) << run.log;
        EXPECT_NE(run.log.find(c.said), std::string::npos) << run.log;
        if (c.entered == 0) {
            EXPECT_GT(run.samples, 1000u) << "the board did not run";
        }
    }
}

// A minute of real time: the board keeps its clock while the device drains the ring.
TEST(MonitorSoak, AMinuteOfListeningCostsTheBoardNoOverrun) {
    const fs::path raw = fs::temp_directory_path() / ("kesto-monitor-soak-" + std::to_string(::getpid()) + ".raw");
    const BoardRun run = runBoard({{"KESTO32_LISTEN", "error"},
                              {"SDL_AUDIODRIVER", "disk"},
                              {"SDL_DISKAUDIOFILE", raw.string()}},
                             60.0);
    ASSERT_EQ(run.entered, 0) << run.log;
    EXPECT_EQ(run.overruns, 0u) << run.log;
    EXPECT_GE(figure(run.log, "monitor: "), 55.0) << run.log;
    EXPECT_GE(figure(run.log, " ms, "), 0.0) << run.log;
    std::printf("%s", run.log.c_str());
    fs::remove(raw);
}

} // namespace
