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
#include <limits>
#include <thread>
#include <vector>

#include <unistd.h>

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
    Environment(const char *clock, const char *record = nullptr, const char *scene = nullptr) {
        ::setenv("KESTO32_CLOCK", clock, 1);
        record ? ::setenv("KESTO32_RECORD", record, 1) : ::unsetenv("KESTO32_RECORD");
        scene ? ::setenv("KESTO32_SCENE", scene, 1) : ::unsetenv("KESTO32_SCENE");
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

std::string contents(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Each row is one thing wrong with what the board is given, through the C interface: the
// results of loading and running, and the message on stderr.
TEST(Library, RefusesProgramRatesAndRecordingPathsItCannotServe) {
    const fs::path dir = fs::temp_directory_path() / ("kesto-hostile-" + std::to_string(::getpid()));
    const fs::path scene = dir / "scene", program = dir / "quiros.out";
    fs::create_directories(scene);
    std::ofstream(scene / "scene.ini") << "sample_rate = 20000\nbroadband = 0.01\n";
    for (const char *name : {"primary_ref.cof", "primary_err.cof", "secondary_ref.cof", "secondary_err.cof"})
        std::ofstream(scene / name) << "1\n0.5\n";
    fs::copy_file(Program, program);
    const std::string rateProgram = RunTree + "/tests/rate_program.out";
    const struct {
        const char *what, *rate; // the stand-in program's rate; nullptr: the real program
        float asked;             // asked for by a command after the start; 0: none
        fs::path record;
        bool loads;
        const char *message;
    } rows[] = {
        {"999 Hz", "999", 0, {}, false, "runs at 999 Hz, outside the board's 1000 to 384000 Hz"},
        {"384001 Hz", "384001", 0, {}, false, "runs at 384001 Hz, outside"},
        {"a rate that is not a number", "nan", 0, {}, false, "runs at nan Hz, outside"},
        {"384000 Hz", "384000", 0, {}, true, ""},
        {"a later rate too high", "20000", 1e9f, {}, true, "a sampling rate of 1e+09 Hz is refused"},
        {"a later infinite rate", "20000", std::numeric_limits<float>::infinity(), {}, true, "a sampling rate of inf Hz is refused"},
        {"recording onto the program", nullptr, 0, program, true, "it is the loaded DSP program"},
        {"recording onto a scene file", nullptr, 0, scene / "primary_err.cof", true,
         "it is a file of the scene"},
        {"recording into a missing directory", nullptr, 0, dir / "missing" / "x.wav", true,
         "cannot be written"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        const std::string before = r.record.empty() ? "" : contents(r.record);
        r.rate ? ::setenv("KESTO_TEST_RATE", r.rate, 1) : ::unsetenv("KESTO_TEST_RATE");
        Environment env("realtime", r.record.empty() ? nullptr : r.record.c_str(), scene.c_str());
        testing::internal::CaptureStderr();
        ASSERT_EQ(Kesto_libenter(), 0);
        EXPECT_EQ(_Kesto_loadcs(r.rate ? rateProgram.c_str() : program.c_str()) == 0, r.loads);
        if (r.loads) {
            EXPECT_EQ(_Kesto_run(), 0);
        }
        if (r.asked != 0) {
            put(dspmem::CmdArg6, wordOfSingle(r.asked));
            send(Cmd::SetParams);
        }
        Kesto_libexit();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(r.message), std::string::npos) << err;
        if (!r.record.empty() && !before.empty()) {
            EXPECT_EQ(contents(r.record), before) << "the file was overwritten";
        }
    }
    ::unsetenv("KESTO_TEST_RATE");
    fs::remove_all(dir);
}

TEST(Library, ExitWhileAnotherThreadReadsAndWritesNeverTouchesAFreedBoard) {
    Environment env("free");
    std::atomic<bool> done{false};
    std::thread pc([&] {
        std::uint32_t w = 0;
        while (!done.load()) {
            _Kesto_getmem(dspmem::CmdAck, &w);
            _Kesto_putmem(dspmem::CmdArg1, &w, -1);
            _Kesto_putmem(dspmem::CmdRequest, &w, -1);
        }
    });
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(Kesto_libenter(), 0);
        ASSERT_EQ(_Kesto_loadcs(Program.c_str()), 0);
        ASSERT_EQ(_Kesto_run(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(Kesto_libexit(), 0);
    }
    done.store(true);
    pc.join();
}

} // namespace
