// libKesto32 through its C interface, with the real quiros.out from the run tree: opening and
// closing, loading and running, the sample thread, and the WAV recording.

#include "board/Kesto32.h"
#include "dsp/MemoryMap.h"

#include <gtest/gtest.h>

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

const std::string Program = std::string(QUIRO_RUN_TREE) + "/bin/../DSP/quiros.out";

std::uint32_t get(std::uint32_t a) {
    std::uint32_t w = 0;
    EXPECT_EQ(_Kesto_getmem(a, &w), 0);
    return w;
}
void put(std::uint32_t a, std::uint32_t w) { EXPECT_EQ(_Kesto_putmem(a, &w, -1), 0); }

void send(Cmd code) {
    put(dspmem::CmdCode, wordOfLong(static_cast<std::int32_t>(code)));
    put(dspmem::CmdRequest, 1);
    while (get(dspmem::CmdAck) != 1)
        std::this_thread::yield();
    put(dspmem::CmdRequest, 0);
    while (get(dspmem::CmdAck) != 0)
        std::this_thread::yield();
}

// Sets or clears the board's environment for the next Kesto_libenter.
struct Environment {
    Environment(const char *clock, const char *record = nullptr, const char *scene = nullptr) {
        set("KESTO32_CLOCK", clock);
        set("KESTO32_RECORD", record);
        set("KESTO32_SCENE", scene);
    }
    ~Environment() { Kesto_libexit(); }
    static void set(const char *name, const char *value) {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
};

TEST(Library, EnterAndExitAreSafeToRepeatAndCallsWithoutItFail) {
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
}

TEST(Library, LoadFailsOnAMissingFileOrOneThatIsNotADspProgramAndRunThenFails) {
    Environment env("free");
    ASSERT_EQ(Kesto_libenter(), 0);
    const fs::path text = fs::temp_directory_path() / "kesto-not-a-program.out";
    std::ofstream(text) << "3\n0.5\n-0.25\n0.125\n";
    const std::string notProgram[] = {
        std::string(QUIRO_RUN_TREE) + "/DSP/missing.out",
        text.string(),
        std::string(QUIRO_RUN_TREE) + "/bin/libKesto32.so", // a shared object, but no program
        std::string(QUIRO_RUN_TREE) + "/DSP",               // a directory
    };
    for (const auto &path : notProgram) {
        EXPECT_NE(_Kesto_loadcs(path.c_str()), 0) << path;
        EXPECT_NE(_Kesto_run(), 0) << path;
    }
    EXPECT_NE(_Kesto_loadcs(nullptr), 0);
    fs::remove(text);
}

TEST(Library, ABadSceneMakesEnterFail) {
    Environment env("free", nullptr, "/nonexistent/scene");
    EXPECT_NE(Kesto_libenter(), 0);
    Environment clock("sometimes");
    EXPECT_NE(Kesto_libenter(), 0);
}

TEST(Library, MemoryReadsZeroWhereUnmappedAndKeepsTheBoardsCountersReadOnly) {
    Environment env("free");
    ASSERT_EQ(Kesto_libenter(), 0);
    const std::uint32_t w = 1234;
    for (std::uint32_t a : {0u, 0x80002414u - 0x100u, 0x80007000u, 0x80003001u, dspmem::SampleCount}) {
        EXPECT_EQ(_Kesto_putmem(a, &w, -1), 0);
        EXPECT_EQ(get(a), 0u) << std::hex << a;
    }
    put(dspmem::XferBuf + 4 * 4095, w);
    EXPECT_EQ(get(dspmem::XferBuf + 4 * 4095), w);
    EXPECT_NE(_Kesto_putmem(dspmem::CmdCode, nullptr, -1), 0);
    EXPECT_NE(_Kesto_getmem(dspmem::CmdCode, nullptr), 0);
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
    const double samples = get(dspmem::SampleCount) - s0;
    EXPECT_NEAR(samples / elapsed, 20000.0, 2000.0);
    EXPECT_EQ(Kesto_libexit(), 0);
}

// Reads a 3-channel float WAV as written by the board; empty on a malformed file.
std::vector<float> readWav(const fs::path &path, std::uint32_t &rate) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(in)), {});
    auto u32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &b[at], 4);
        return v;
    };
    auto u16 = [&](std::size_t at) {
        std::uint16_t v;
        std::memcpy(&v, &b[at], 2);
        return v;
    };
    if (b.size() < 58 || std::memcmp(&b[0], "RIFF", 4) || std::memcmp(&b[8], "WAVE", 4) ||
        u32(4) != b.size() - 8 || std::memcmp(&b[12], "fmt ", 4) || u16(20) != 3 || u16(22) != 3 ||
        u16(34) != 32 || std::memcmp(&b[50], "data", 4) || u32(54) != b.size() - 58)
        return {};
    rate = u32(24);
    std::vector<float> v((b.size() - 58) / 4);
    std::memcpy(v.data(), &b[58], v.size() * 4);
    return v;
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
    std::vector<std::vector<float>> captured;
    for (Cmd fetch : {Cmd::PrimFetch, Cmd::ErrorFetch, Cmd::CtrlFetch}) {
        send(fetch);
        std::vector<float> c(251);
        for (std::uint32_t i = 0; i < 251; ++i)
            c[i] = singleOfWord(get(dspmem::XferBuf + 4 * i)) / 2048.0f;
        captured.push_back(c);
    }
    ASSERT_EQ(Kesto_libexit(), 0);

    std::uint32_t rate = 0;
    const auto frames = readWav(wav, rate);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(rate, 20000u);
    const std::size_t n = frames.size() / 3;
    bool found = false;
    for (std::size_t start = 0; start + 251 <= n && !found; ++start) {
        found = true;
        for (std::size_t i = 0; i < 251 && found; ++i)
            for (std::size_t ch = 0; ch < 3 && found; ++ch)
                found = frames[3 * (start + i) + ch] == captured[ch][i];
    }
    EXPECT_TRUE(found) << "the captured stretch is not in the " << n << "-frame recording";
    fs::remove(wav);
}

} // namespace
