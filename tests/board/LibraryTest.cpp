// libKesto32 through its C interface, with the real quiros.out from the run tree.

#include "CInterface.h"

#include "board/Scene.h"
#include "board/WavRecorder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>

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

// The power of x[from, end) at `hz`, by Goertzel's recurrence, per sample.
double powerAt(const std::vector<float> &x, std::size_t from, double hz, double rate) {
    const double k = 2 * std::cos(2 * M_PI * hz / rate);
    double s1 = 0, s2 = 0;
    for (std::size_t i = from; i < x.size(); ++i)
        s2 = std::exchange(s1, x[i] + k * s1 - s2);
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / static_cast<double>(x.size() - from);
}

// On the real-time clock the board runs while it answers commands, records every sample (a
// capture's stretch of detection, error and control is in the WAV) and plays the error
// microphone through a real audio back end without a sound card: SDL's "disk" driver plays into
// a file at the pace of a device. In the scene the error microphone hears only the source's
// 700 Hz tone and the detection microphone only its 300 Hz one, so what was played is told by
// its pitch: a verdict that holds however often a loaded machine makes the monitor skip or
// stretch. The pace and the latency are printed, not judged.
TEST(Library, RealTimeThreadRunsAnswersCommandsRecordsAndPlaysTheErrorMicrophone) {
    constexpr double Heard = 700, Unheard = 300, Rate = 20000;
    const Scratch scratch;
    // Each primary path a notch at the other microphone's tone, with a gain of 1 at its own:
    // (1 - 2 cos(w) z^-1 + z^-2) / 2 has the gain |cos(v) - cos(w)| at v.
    const auto notch = [](double off, double on) {
        const double c = std::cos(2 * M_PI * off / Rate), g = std::abs(std::cos(2 * M_PI * on / Rate) - c);
        return "3\n" + std::to_string(0.5 / g) + "\n" + std::to_string(-c / g) + "\n" + std::to_string(0.5 / g) + "\n";
    };
    std::ofstream(scratch.dir / "scene/scene.ini") << "sample_rate = 20000\ntone = 300 0.1\ntone = 700 0.1\n";
    std::ofstream(scratch.dir / "scene/primary_err.cof") << notch(Unheard, Heard);
    std::ofstream(scratch.dir / "scene/primary_ref.cof") << notch(Heard, Unheard);
    for (const char *path : {"secondary_ref", "secondary_err"})
        std::ofstream(scratch.dir / "scene" / (std::string(path) + ".cof")) << "1\n0\n";
    const fs::path wav = scratch.dir / "record.wav", raw = scratch.dir / "played.raw";
    std::vector<float> captured(3 * 251); // frames of detection, error, control
    testing::internal::CaptureStderr();
    {
        const Session session({{"KESTO32_LISTEN", "error"},
                               {"KESTO32_SCENE", (scratch.dir / "scene").string()},
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
        send(Cmd::IdentStop);
        // Three more seconds of samples, counted on the board's own clock.
        const std::uint32_t s1 = get(dspmem::SampleCount);
        while (get(dspmem::SampleCount) - s1 < 3 * Rate)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } // the session's exit ends the recording and says what the monitor played
    const std::string log = testing::internal::GetCapturedStderr();
    const std::size_t summary = log.find("played at "); // the board's summary line
    ASSERT_NE(summary, std::string::npos) << log;
    const double deviceRate = std::strtod(log.c_str() + summary + 10, nullptr);
    ASSERT_GT(deviceRate, 0) << log;

    // A 3-channel float WAV at 20 kHz holding the captured stretch.
    double rate = 0;
    std::vector<float> frames;
    ASSERT_TRUE(readWav(wav.string(), rate, frames) && rate == Rate) << log;
    const auto at = std::search(frames.begin(), frames.end(), captured.begin(), captured.end());
    EXPECT_TRUE(at != frames.end() && (at - frames.begin()) % 3 == 0)
        << "the captured stretch is not in the recording of " << frames.size() / 3 << " frames";

    // The last second played (after the excitation stopped) is the error microphone's tone, at
    // its level (0.1 of full scale, 0.071 rms: underruns may lower it a little) and at its pitch
    // (the monitor trims the rate by well under 1 %), and nothing of the detection
    // microphone's. Judged in tenths of a second, so that a skip breaks no more than one.
    std::vector<float> played(fs::file_size(raw) / sizeof(float));
    std::ifstream(raw, std::ios::binary).read(reinterpret_cast<char *>(played.data()),
                                              static_cast<std::streamsize>(played.size() * sizeof(float)));
    const auto tenth = static_cast<std::size_t>(deviceRate / 10);
    ASSERT_GT(played.size(), 12 * tenth) << log;
    played.erase(played.begin(), played.end() - static_cast<std::ptrdiff_t>(10 * tenth));
    double squares = 0;
    std::vector<double> pitches, contrasts; // per tenth: the loudest pitch near the tone, dB over the other
    for (std::size_t at = 0; at < played.size(); at += tenth) {
        std::vector<float> piece(played.begin() + static_cast<std::ptrdiff_t>(at),
                                 played.begin() + static_cast<std::ptrdiff_t>(at + tenth));
        for (std::size_t i = 0; i < tenth; ++i) { // Hann-windowed, so that neither tone leaks into the other
            squares += double(piece[i]) * piece[i];
            piece[i] *= static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / tenth));
        }
        std::pair<double, double> peak{0, 0}; // power, frequency
        for (double hz = Heard - 50; hz <= Heard + 50; hz += 0.25)
            peak = std::max(peak, {powerAt(piece, 0, hz, deviceRate), hz});
        pitches.push_back(peak.second);
        contrasts.push_back(10 * std::log10(peak.first / powerAt(piece, 0, Unheard, deviceRate)));
    }
    std::sort(pitches.begin(), pitches.end());
    std::sort(contrasts.begin(), contrasts.end());
    const double rms = std::sqrt(squares / static_cast<double>(played.size()));
    const double pitch = pitches[pitches.size() / 2], contrast = contrasts[contrasts.size() / 2];
    EXPECT_NEAR(pitch, Heard, Heard * 0.01) << log;
    EXPECT_NEAR(rms, 0.1 / std::sqrt(2.0), 0.02) << log;
    EXPECT_GT(contrast, 20) << "the detection microphone's tone is heard; " << log;
    std::printf("played at %.0f Hz: the tone at %.2f Hz, %.4f rms, the other tone %.1f dB below; %s\n",
                deviceRate, pitch, rms, contrast, log.c_str());
}

} // namespace
} // namespace kesto::test
