// Hostile inputs through the board library's C interface: scene files, program files, recording
// paths and monitor settings that are wrong in one way each. Every row is refused
// or run on with its reason on standard error; none may crash, hang, pass silently or write into
// what the board was given.

#include "CInterface.h"

#include <chrono>
#include <functional>
#include <map>
#include <sys/stat.h>

namespace kesto::test {
namespace {

using Maker = std::function<void(const fs::path &)>;

void fifo(const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }
void directory(const fs::path &p) { fs::create_directories(p); }
Maker link(const char *to) {
    return [to](const fs::path &p) { fs::create_symlink(to, p); };
}
Maker text(std::string t) {
    return [t](const fs::path &p) { std::ofstream(p, std::ios::binary) << t; };
}
void sparse(const fs::path &p) {
    std::ofstream(p) << "1\n";
    fs::resize_file(p, 17 << 20);
}

// The regular files under `dir` with their contents.
std::map<fs::path, std::string> snapshot(const fs::path &dir) {
    std::map<fs::path, std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(dir))
        if (fs::is_regular_file(entry.symlink_status()))
            files[entry.path()] = contents(entry.path());
    return files;
}

enum Refused { Never, AtEnter, AtLoad };

struct Row {
    const char *what;
    const char *file; // a file of the scratch directory removed, then made anew by `make` if any
    Maker make;
    Env env;             // beside the real-time clock and the scratch directory's scene
    Refused refused;     // never: the board runs on
    const char *message; // a fragment of what the board says on standard error
};

TEST(HostileInput, EachBadInputIsRefusedOrRunOnWithItsReason) {
    const std::string at = Scratch().dir.string() + "/"; // the same directory for every row
    const std::string program = contents(Program);
    const Row rows[] = {
        // Scenes: refused by Kesto_libenter, naming the file and the reason.
        {"a missing scene", "scene/scene.ini", {}, {}, AtEnter, "scene.ini:0: cannot be read"},
        {"scene.ini a directory", "scene/scene.ini", directory, {}, AtEnter, "scene.ini:0: is a directory"},
        {"scene.ini a FIFO", "scene/scene.ini", fifo, {}, AtEnter, "scene.ini:0: is a FIFO"},
        {"a response a device", "scene/primary_ref.cof", link("/dev/zero"), {}, AtEnter,
         "primary_ref.cof:0: is a device"},
        {"a response beyond its cap", "scene/primary_err.cof", sparse, {}, AtEnter,
         "primary_err.cof:0: larger than 16777216 bytes"},
        {"a response failing with EIO", "scene/secondary_ref.cof", link("/proc/self/mem"), {}, AtEnter,
         "secondary_ref.cof:0: read error (Input/output error)"},
        // A control byte is shown escaped: it neither cuts the message nor hides the reason.
        {"a NUL in a key of scene.ini", "scene/scene.ini", text(std::string("loud\0ness = 3\n", 14)), {}, AtEnter,
         "scene.ini:1: unknown key \"loud\\0ness\"\n"},
        {"a NUL in a response", "scene/primary_ref.cof", text(std::string("2\n1\nx\0y\n", 9)), {}, AtEnter,
         "primary_ref.cof:3: the coefficient \"x\\0y\" is not a number"},
        // Monitor settings: refused by Kesto_libenter.
        {"an unknown monitor channel", nullptr, {}, {{"KESTO32_LISTEN", "loudest"}}, AtEnter,
         "KESTO32_LISTEN=loudest: expected"},
        {"a negative monitor gain", nullptr, {}, {{"KESTO32_LISTEN", "error"}, {"KESTO32_LISTEN_GAIN", "-6"}},
         AtEnter, "KESTO32_LISTEN_GAIN=-6"},
        // A scene the board reads but cannot run at the program's 20 kHz: the program is refused.
        {"a tone above the program's half rate", "scene/scene.ini", text("sample_rate = 48000\ntone = 15000 0.1\n"),
         {}, AtLoad, "is not below half of 20000 Hz"},
        // Program files: refused by _Kesto_loadcs, most before the loader sees them.
        {"a missing program", "quiros.out", {}, {}, AtLoad, "quiros.out: cannot be read"},
        {"a program that is text", "quiros.out", text(std::string(80, '7')), {}, AtLoad, "not an ELF file"},
        {"a program cut after its first pages", "quiros.out", text(program.substr(0, 4096 + 512)), {}, AtLoad,
         "cut short"},
        {"a program cut inside its header", "quiros.out", text(program.substr(0, 40)), {}, AtLoad,
         "shorter than an ELF header"},
        {"a program for another machine", "quiros.out", text(std::string(program).replace(18, 2, "\x28", 2)), {},
         AtLoad, "an ELF file for another machine"},
        {"a shared object without the program's entry", "quiros.out", text(contents(RunTree + "/bin/libKesto32.so")),
         {}, AtLoad, "no kesto_dsp_program of this board's interface"},
        // Recording paths: refused, the board runs on without recording.
        {"recording onto the program", nullptr, {}, {{"KESTO32_RECORD", at + "quiros.out"}}, Never,
         "it is the loaded DSP program"},
        {"recording onto a scene file", nullptr, {}, {{"KESTO32_RECORD", at + "scene/primary_err.cof"}}, Never,
         "it is a file of the scene"},
        {"recording onto the board library", nullptr, {}, {{"KESTO32_RECORD", RunTree + "/bin/libKesto32.so"}},
         Never, "it is the board library itself"},
        {"recording into a missing directory", nullptr, {}, {{"KESTO32_RECORD", at + "missing/x.wav"}}, Never,
         "cannot be written"},
        // No sound output for the monitor: the board runs on without it.
        {"no sound output", nullptr, {}, {{"KESTO32_LISTEN", "error"}, {"SDL_AUDIODRIVER", "no-such-driver"}},
         Never, "no sound output"},
        {"listening on the free clock", nullptr, {}, {{"KESTO32_LISTEN", "control"}, {"KESTO32_CLOCK", "free"}},
         Never, "free clock"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const Scratch scratch;
        if (row.file) {
            fs::remove_all(scratch.dir / row.file);
            if (row.make)
                row.make(scratch.dir / row.file);
        }
        const auto before = snapshot(scratch.dir);
        Env env{{"KESTO32_SCENE", (scratch.dir / "scene").string()}};
        env.insert(env.end(), row.env.begin(), row.env.end());
        testing::internal::CaptureStderr();
        {
            const Session session(env);
            EXPECT_EQ(Kesto_libenter() != 0, row.refused == AtEnter);
            EXPECT_EQ(_Kesto_loadcs((scratch.dir / "quiros.out").c_str()) != 0, row.refused != Never);
            EXPECT_EQ(_Kesto_run() != 0, row.refused != Never);
            if (row.refused == Never) {
                // Waits on the board's own count; a board that never runs ends in the timeout.
                while (get(quiro::dspmem::SampleCount) <= 1000)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(row.message), std::string::npos) << said;
        EXPECT_TRUE(snapshot(scratch.dir) == before) << "a file given to the board was changed";
    }
}

} // namespace
} // namespace kesto::test
