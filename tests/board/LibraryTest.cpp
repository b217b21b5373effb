// libKesto32 through its C interface, with the real quiros.out from the run tree.

#include "CInterface.h"

#include "board/WavRecorder.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace kesto::test {
namespace {

using namespace quiro;

// Calls fail outside Kesto_libenter and Kesto_libexit, both are safe to repeat, and exiting while
// another thread reads and writes never lets it touch a freed board.
TEST(Library, EnterAndExitRepeatSafelyWhileAnotherThreadReadsAndWrites) {
    const Session session(Env{{"KESTO32_CLOCK", "free"}});
    std::uint32_t w = 7;
    EXPECT_NE(_Kesto_getmem(dspmem::CmdAck, &w), 0);
    EXPECT_EQ(w, 7u);
    EXPECT_NE(_Kesto_loadcs(Program.c_str()), 0);
    EXPECT_NE(_Kesto_run(), 0);
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
        EXPECT_EQ(Kesto_libenter(), 0);
        EXPECT_TRUE(start());
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

// On the real-time clock the board runs at the program's rate while it answers commands, and
// records every sample: a capture's stretch of (detection, error, control) is in the WAV.
TEST(Library, RealTimeThreadPacesSamplesAnswersCommandsAndRecordsThem) {
    const Scratch scratch;
    const fs::path wav = scratch.dir / "record.wav";
    const Session session({{"KESTO32_RECORD", wav.string()}});
    ASSERT_TRUE(start());
    const auto t0 = std::chrono::steady_clock::now();
    const std::uint32_t s0 = get(dspmem::SampleCount);
    for (int i = 0; i < 100; ++i)
        send(i % 2 ? Cmd::CaptureQuery : Cmd::WFetch);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NEAR((get(dspmem::SampleCount) - s0) / elapsed, 20000.0, 2000.0);
    send(Cmd::C2IdentStart); // so that the control output carries something
    send(Cmd::CaptureStart);
    do
        send(Cmd::CaptureQuery);
    while (get(dspmem::CmdArg1) != 0);
    std::vector<float> captured(3 * 251); // frames of detection, error, control
    const Cmd fetches[] = {Cmd::PrimFetch, Cmd::ErrorFetch, Cmd::CtrlFetch};
    for (std::uint32_t ch = 0; ch < 3; ++ch) {
        send(fetches[ch]);
        for (std::uint32_t i = 0; i < 251; ++i)
            captured[3 * i + ch] = singleOfWord(get(dspmem::XferBuf + 4 * i)) / 2048.0f;
    }
    ASSERT_EQ(Kesto_libexit(), 0);

    // A 3-channel float WAV at 20 kHz holding the captured stretch.
    double rate = 0;
    std::vector<float> frames;
    ASSERT_TRUE(readWav(wav, rate, frames) && rate == 20000);
    const auto at = std::search(frames.begin(), frames.end(), captured.begin(), captured.end());
    EXPECT_TRUE(at != frames.end() && (at - frames.begin()) % 3 == 0)
        << "the captured stretch is not in the recording of " << frames.size() / 3 << " frames";
}

} // namespace
} // namespace kesto::test
