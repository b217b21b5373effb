// The recorder's ring and writer thread, its refusals and limits, plants for a new rate swapped
// in at a block boundary, and the rates the board refuses. The ring's two threads are the recorder's and the monitor's,
// whose tests run under ThreadSanitizer: there a missing release or acquire on either index is
// reported.

#include "board/BoardCore.h"
#include "board/SpscRing.h"
#include "board/WavRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

extern "C" const KestoDspProgram *kesto_dsp_program(void);

namespace kesto {
namespace {

namespace fs = std::filesystem;

TEST(SpscRing, CapacityIsThePowerOfTwoAtOrAboveTheRequest) {
    const struct {
        std::size_t asked, given;
    } rows[] = {{0, 2}, {1, 2}, {2, 2}, {3, 4}, {1000, 1024}, {1024, 1024}, {1025, 2048}};
    for (const auto &r : rows)
        EXPECT_EQ(SpscRing<int>(r.asked).capacity(), r.given) << r.asked;
}

TEST(SpscRing, KeepsOrderAndRefusesWhatDoesNotFit) {
    // Each row pushes a batch, then pops up to a count; the ring holds 8.
    const struct {
        int push;
        std::size_t pushed;
        std::size_t pop, popped;
    } rows[] = {{5, 5, 3, 3}, {7, 6, 0, 0}, {1, 0, 20, 8}, {8, 8, 8, 8}, {3, 3, 1, 1}, {9, 6, 9, 8}};
    SpscRing<std::uint32_t> ring(8);
    std::uint32_t nextIn = 0, nextOut = 0;
    for (const auto &r : rows) {
        std::vector<std::uint32_t> in(static_cast<std::size_t>(r.push));
        for (auto &v : in)
            v = nextIn++;
        const std::size_t pushed = ring.pushAll(in);
        EXPECT_EQ(pushed, r.pushed);
        nextIn -= static_cast<std::uint32_t>(in.size() - pushed); // refused items are not in it
        std::vector<std::uint32_t> out(r.pop);
        ASSERT_EQ(ring.popAll(out), r.popped);
        for (std::size_t i = 0; i < r.popped; ++i)
            EXPECT_EQ(out[i], nextOut++);
        EXPECT_EQ(ring.size(), nextIn - nextOut);
    }
}

TEST(Recorder, KeepsEveryQueuedFrameOrEndsTheFileOnceWithAValidHeader) {
    constexpr std::uint64_t Whole = WavRecorder::MaxDataBytes;
    constexpr std::size_t Any = ~std::size_t{0}; // more than none and fewer than pushed
    // The rates the changes walk through, in turn.
    constexpr double Rates[] = {48000, 8000, 44100, 16000};
    const struct {
        const char *what;
        std::size_t frames, rateChangeAt; // 0: no change
        std::size_t changes, every;       // so many changes, `every` frames apart
        std::uint64_t maxDataBytes;
        rlim_t fileSizeLimit; // 0: none
        std::size_t written;
        bool drops, stops;
        const char *message; // on stderr, or "" for none
    } rows[] = {
        {"a rate change", 5000, 1200, 1, 0, Whole, 0, 3800, false, false,
         "changed to 48000 Hz; the file starts again"},
        // Many changes inside one stretch the writer takes from the ring at once.
        {"hundreds of rate changes", 5000, 100, 400, 7, Whole, 0, 5000 - 100 - 399 * 7, false, false,
         "changed to 16000 Hz; the file starts again"},
        {"the size a WAV can describe", 5000, 0, 0, 0, 12 * 700, 0, 700, false, true, "the largest size"},
        // With SIGXFSZ at its default, a write past the limit would end the process.
        {"a file-size limit", 20000, 0, 0, 0, Whole, 64 * 1024, Any, false, true, "recording stopped"},
        {"a burst longer than a ring of 2", 200000, 0, 0, 0, Whole, 0, Any, true, false, ""},
    };
    const std::string path = (fs::temp_directory_path() /
                              ("kesto-recorder-" + std::to_string(::getpid()) + ".wav")).string();
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_EQ(std::signal(SIGXFSZ, SIG_DFL), SIG_DFL) << "the host's default, as in a console";
        WavRecorder rec(r.maxDataBytes, r.drops ? 2 : 0);
        std::string error;
        ASSERT_TRUE(rec.open(path, 20000, error)) << error;
        testing::internal::CaptureStderr();
        const rlimit limit{r.fileSizeLimit ? r.fileSizeLimit : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::size_t changed = 0;
        for (std::size_t i = 0; i < r.frames; ++i) {
            if (changed < r.changes && i == r.rateChangeAt + changed * r.every)
                rec.rateChanged(Rates[changed++ % std::size(Rates)]);
            const auto v = static_cast<std::int32_t>(i % 4096) - 2048;
            rec.frame(v, -v - 1, v / 2);
        }
        rec.close();
        setrlimit(RLIMIT_FSIZE, &saved);
        const std::string err = testing::internal::GetCapturedStderr();
        if (r.written == Any) {
            EXPECT_GT(rec.written(), 0u);
            EXPECT_LT(rec.written(), r.frames);
        } else {
            EXPECT_EQ(rec.written(), r.written);
        }
        EXPECT_EQ(rec.dropped() > 0, r.drops);
        if (!r.stops && !r.changes) { // every frame is in the file or counted as dropped
            EXPECT_EQ(rec.written() + rec.dropped(), r.frames);
        }
        const auto stopped = err.find("recording stopped"); // said once, and only when it stops
        EXPECT_EQ(stopped != std::string::npos, r.stops) << err;
        EXPECT_EQ(err.rfind("recording stopped"), stopped) << err;
        EXPECT_NE(err.find(r.message), std::string::npos) << err;

        double rate = 0;
        std::vector<float> frames;
        ASSERT_TRUE(readWav(path, rate, frames));
        // The file's header has the last rate.
        EXPECT_EQ(rate, r.changes ? Rates[(r.changes - 1) % std::size(Rates)] : 20000);
        EXPECT_EQ(frames.size(), 3 * rec.written());
        // Every sample is a frame the recorder was given: within a converter's counts / 2048.
        EXPECT_TRUE(std::all_of(frames.begin(), frames.end(), [](float v) {
            return v >= -1.0f && v <= 2047.0f / 2048;
        })) << "samples a converter cannot give";
        if (!frames.empty()) { // the file starts at the frame of the last change
            const auto v = static_cast<std::int32_t>((r.rateChangeAt + (r.changes ? r.changes - 1 : 0) * r.every) % 4096);
            EXPECT_EQ(frames[0], static_cast<float>(r.changes ? v - 2048 : -2048) / 2048);
        }
    }
    fs::remove(path);
}

// What the recorder must not write: each row puts something in the file's place (or names one) and
// the recorder refuses it at once with the reason, leaving what is there as it was.
TEST(Recorder, RefusesAnythingButARegularFileItAloneWrites) {
    const fs::path dir = fs::temp_directory_path() / ("kesto-refusals-" + std::to_string(::getpid()));
    const fs::path victim = dir / "victim.wav", file = dir / "take.wav";
    const std::string kept = "someone else's file";
    const auto read = [](const fs::path &p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    WavRecorder first; // another board's recording, for the row that needs one
    void *mapped = MAP_FAILED;
    const struct {
        const char *what;
        std::function<void()> make; // puts something at `file`
        const char *reason;
    } rows[] = {
        {"a FIFO nobody reads", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, "is a FIFO"},
        {"a device", [&] { ASSERT_EQ(::mknod(file.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0); },
         "is a device"},
        {"a symbolic link to another file", [&] { fs::create_symlink(victim, file); }, "is a symbolic link"},
        {"a file another board records into",
         [&] {
             std::string error;
             ASSERT_TRUE(first.open(file.string(), 20000, error)) << error;
             first.frame(1, 2, 3);
         },
         "another board is recording into it"},
        {"a file this process maps",
         [&] {
             std::ofstream(file) << kept;
             const int fd = ::open(file.c_str(), O_RDONLY);
             mapped = ::mmap(nullptr, kept.size(), PROT_READ, MAP_PRIVATE, fd, 0);
             ::close(fd);
             ASSERT_NE(mapped, MAP_FAILED);
         },
         "it is loaded in this process"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(victim) << kept;
        r.make();
        const std::string before = fs::is_regular_file(file) ? read(file) : "";
        {
            WavRecorder rec;
            std::string error;
            EXPECT_FALSE(rec.open(file.string(), 20000, error));
            EXPECT_NE(error.find(r.reason), std::string::npos) << error;
        }
        EXPECT_EQ(read(victim), kept);
        if (first.isOpen()) { // the other board's file holds its own frame only
            first.close();
            double rate = 0;
            std::vector<float> frames;
            ASSERT_TRUE(readWav(file.string(), rate, frames));
            EXPECT_EQ(frames.size(), 3u);
        } else if (!before.empty()) {
            EXPECT_EQ(read(file), before);
        }
        if (mapped != MAP_FAILED)
            ::munmap(mapped, kept.size());
        mapped = MAP_FAILED;
    }
    fs::remove_all(dir);
}

// Command 12 through the board: a rate the scene runs at is built off the sample thread and
// swapped in at a block boundary; one its tone does not fit under is refused, and the board keeps
// its rate. The DSP program asks for any rate of the board's range and for its top beyond it.
TEST(RateChange, BuildsThePlantOffTheSampleThreadAndSwapsItInAtABlockBoundary) {
    const struct {
        float asked;
        double runsAt;
    } rows[] = {{1000, 20000},    {48000, 48000},   {20000, 20000}, {8000, 8000},
                {100000, 100000}, {200000, 200000}, {1e6F, 384000}};
    Scene scene = builtInScene(20000);
    scene.tones.push_back({900.0, 0.01});
    BoardCore core(BoardConfig{scene, Clock::Free, "", 1});
    std::string error;
    ASSERT_TRUE(core.attach(kesto_dsp_program(), error)) << error;
    core.settle();
    for (const auto &r : rows) {
        core.pcPut(mem::CmdArg6, quiro::wordOfSingle(r.asked));
        core.pcPut(mem::CmdCode, quiro::wordOfLong(static_cast<std::int32_t>(quiro::Cmd::SetParams)));
        for (std::int32_t request : {1, 0}) { // the PC's handshake; the program answers each at once
            core.pcPut(mem::CmdRequest, quiro::wordOfLong(request));
            EXPECT_TRUE(core.service());
        }
        core.settle();
        core.step(1); // the block boundary where the plant is swapped in
        EXPECT_EQ(core.rate(), r.runsAt) << r.asked;
        EXPECT_EQ(core.blockSize(), static_cast<std::uint32_t>(r.runsAt / 1000));
        long heard = 0;
        for (int i = 0; i < 1000; ++i) {
            core.step(1);
            heard += std::abs(core.lastFrame().error);
        }
        EXPECT_NE(heard, 0) << "the plant at " << r.asked << " Hz is silent";
    }
}

// A stand-in program at `standInRate`, for rates the real one never asks for; the test asks for a
// later one through the host the board gave it.
double standInRate = 0;
const KestoDspHost *standInHost = nullptr;
const KestoDspProgram StandIn{
    KESTO_DSP_ABI, "stand-in",
    [](const KestoDspHost *host, std::uint64_t) -> void * { return (standInHost = host, &standInRate); },
    [](void *) {}, [](void *, std::int32_t, std::int32_t) { return std::int32_t{0}; },
    [](void *) { return std::int32_t{0}; }, [](void *) { return standInRate; }};

// A program's rate outside 1000 to 384000 Hz is refused at loading, a later one while the board
// goes on at its own.
TEST(RateChange, ARateOutsideTheBoardsRangeIsRefusedAtLoadingOrLater) {
    const struct {
        double loaded, later; // later 0: none asked for
        const char *message;  // in the loading's error or on stderr
    } rows[] = {
        {999, 0, "the DSP program runs at 999 Hz, outside the board's 1000 to 384000 Hz"},
        {384001, 0, "runs at 384001 Hz, outside"},
        {std::nan(""), 0, "runs at nan Hz, outside"},
        {384000, 1e9, "a sampling rate of 1e+09 Hz is refused"},
        // As the PC sent it, a single: not rounded to 384000.
        {384000, static_cast<double>(384000.03f), "a sampling rate of 384000.03 Hz is refused"},
    };
    for (const auto &r : rows) {
        BoardCore core(BoardConfig{builtInScene(20000), Clock::Free, "", 1});
        standInRate = r.loaded;
        std::string error;
        testing::internal::CaptureStderr();
        EXPECT_EQ(core.attach(&StandIn, error), r.later != 0) << r.loaded;
        if (r.later != 0) {
            core.settle();
            standInHost->set_rate(standInHost->ctx, r.later);
            core.settle();
            EXPECT_EQ(core.rate(), r.loaded);
        }
        const std::string said = error + testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(r.message), std::string::npos) << said;
    }
}

} // namespace
} // namespace kesto
