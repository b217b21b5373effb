// libKesto32 through its C interface, with the real quiros.out from the run tree.

#include "board/Kesto32.h"
#include "board/WavRecorder.h"
#include "contract/BoardContract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using namespace quiro;
namespace fs = std::filesystem;

const std::string RunTree = QUIRO_RUN_TREE;
const std::string Program = RunTree + "/bin/../DSP/quiros.out";

std::uint32_t get(std::uint32_t a) {
    std::uint32_t w = 0;
    EXPECT_EQ(_Kesto_getmem(a, &w), 0);
    return w;
}
void put(std::uint32_t a, std::uint32_t w) {
    EXPECT_EQ(_Kesto_putmem(a, &w, -1), 0);
}

void send(Cmd code) {
    put(dspmem::CmdCode, wordOfLong(static_cast<std::int32_t>(code)));
    put(dspmem::CmdRequest, 1);
    while (get(dspmem::CmdAck) != 1)
        std::this_thread::yield();
    put(dspmem::CmdRequest, 0);
    while (get(dspmem::CmdAck) != 0)
        std::this_thread::yield();
}

// The board's environment for the next Kesto_libenter; leaves the library on destruction.
struct Environment {
    Environment(const char *clock, const char *record = nullptr) {
        ::setenv("KESTO32_CLOCK", clock, 1);
        record ? ::setenv("KESTO32_RECORD", record, 1) : ::unsetenv("KESTO32_RECORD");
        ::unsetenv("KESTO32_SCENE");
    }
    ~Environment() { Kesto_libexit(); }
};

TEST(Library, EnterAndExitAreSafeToRepeatAndCallsFailWithoutThemOrAProgram) {
    Environment env("free");
    std::uint32_t w = 7;
    EXPECT_NE(_Kesto_getmem(dspmem::CmdAck, &w), 0);
    EXPECT_EQ(w, 7u);
    EXPECT_NE(_Kesto_loadcs(Program.c_str()), 0);
    EXPECT_NE(_Kesto_run(), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Kesto_libenter(), 0);
        EXPECT_EQ(Kesto_libenter(), 0);
        EXPECT_EQ(Kesto_bdsel(0), 0);
        EXPECT_NE(Kesto_bdsel(1), 0);
        EXPECT_EQ(_Kesto_bdinit(), 0);
        EXPECT_EQ(_Kesto_loadcs(Program.c_str()), 0);
        EXPECT_EQ(_Kesto_run(), 0);
        EXPECT_EQ(Kesto_libexit(), 0);
        EXPECT_EQ(Kesto_libexit(), 0);
    }
    ASSERT_EQ(Kesto_libenter(), 0);
    const fs::path text = fs::temp_directory_path() / "kesto-not-a-program.out";
    std::ofstream(text) << "3\n0.5\n-0.25\n0.125\n";
    // A shared object without the program's entry point, and a directory, too.
    for (const auto &path : {RunTree + "/DSP/missing.out", text.string(),
                             RunTree + "/bin/libKesto32.so", RunTree + "/DSP"}) {
        EXPECT_NE(_Kesto_loadcs(path.c_str()), 0) << path;
        EXPECT_NE(_Kesto_run(), 0) << path;
    }
    fs::remove(text);
}

TEST(Library, RealTimeThreadPacesSamplesAndAnswersCommandsWhileRunning) {
    Environment env("realtime");
    ASSERT_EQ(Kesto_libenter(), 0);
    ASSERT_EQ(_Kesto_loadcs(Program.c_str()), 0);
    ASSERT_EQ(_Kesto_run(), 0);
    const auto t0 = std::chrono::steady_clock::now();
    const std::uint32_t s0 = get(dspmem::SampleCount);
    for (int i = 0; i < 100; ++i)
        send(i % 2 ? Cmd::CaptureQuery : Cmd::WFetch);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NEAR((get(dspmem::SampleCount) - s0) / elapsed, 20000.0, 2000.0);
    EXPECT_EQ(Kesto_libexit(), 0);
}

// The samples of a 3-channel float WAV at 20 kHz as the board writes it; empty if it is not one.
std::vector<float> readWav(const fs::path &path) {
    double rate = 0;
    std::vector<float> frames;
    return kesto::readWav(path, rate, frames) && rate == 20000 ? frames : std::vector<float>{};
}

TEST(Library, RecordingIsAValidWavWhoseSamplesAreWhatWasCaptured) {
    const fs::path wav = fs::temp_directory_path() / "kesto-record-test.wav";
    Environment env("free", wav.c_str());
    ASSERT_EQ(Kesto_libenter(), 0);
    ASSERT_EQ(_Kesto_loadcs(Program.c_str()), 0);
    ASSERT_EQ(_Kesto_run(), 0);
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

    const auto frames = readWav(wav);
    ASSERT_FALSE(frames.empty());
    const auto at = std::search(frames.begin(), frames.end(), captured.begin(), captured.end());
    EXPECT_TRUE(at != frames.end() && (at - frames.begin()) % 3 == 0)
        << "the captured stretch is not in the recording of " << frames.size() / 3 << " frames";
    fs::remove(wav);
}

} // namespace
