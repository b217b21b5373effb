// Hostile inputs through the board library's C interface: scene directories and program files
// that are wrong in one way each. Every row ends in a refusal naming the file and the reason, or
// in the documented behaviour; none may crash, hang or pass silently.

#include "board/Kesto32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string Program = std::string(QUIRO_RUN_TREE) + "/DSP/quiros.out";

// A scratch directory holding a good scene, which each row then spoils.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("kesto-hostile-" + std::to_string(::getpid()));
    Scratch() {
        fs::remove_all(dir);
        fs::create_directories(dir / "scene");
        write("scene/scene.ini", "sample_rate = 20000\ntone = 200 0.05\nbroadband = 0.01\n");
        for (const char *name : {"primary_ref", "primary_err", "secondary_ref", "secondary_err"})
            write(std::string("scene/") + name + ".cof", "3\n0\n0.5\n0.25\n");
    }
    ~Scratch() { fs::remove_all(dir); }
    void write(const std::string &name, const std::string &text) const {
        std::ofstream(dir / name, std::ios::binary | std::ios::trunc) << text;
    }
    void replace(const std::string &name, const std::function<void(const fs::path &)> &make) const {
        fs::remove_all(dir / name);
        fs::create_directories((dir / name).parent_path());
        make(dir / name);
    }
};

// A copy of the real program, changed by `edit`.
void programCopy(const fs::path &to, const std::function<void(std::string &)> &edit) {
    std::ifstream in(Program, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    edit(bytes);
    std::ofstream(to, std::ios::binary) << bytes;
}

// What the library writes on standard error during `call`, and its result.
std::pair<int, std::string> captured(const std::function<int()> &call) {
    std::fflush(stderr);
    FILE *sink = std::tmpfile();
    const int saved = ::dup(2);
    ::dup2(::fileno(sink), 2);
    const int result = call();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::string text(4096, '\0');
    std::rewind(sink);
    text.resize(std::fread(text.data(), 1, text.size(), sink));
    std::fclose(sink);
    return {result, text};
}

enum class Step { Enter, Load, Run }; // the call that refuses the row

struct Row {
    const char *what;
    const char *file; // the scene's file or the program file, relative to the scratch directory
    std::function<void(const fs::path &)> make;
    Step refusedAt;
    const char *message; // a fragment of the refusal on standard error; nullptr: every call succeeds
};

void fifo(const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }
void directory(const fs::path &p) { fs::create_directories(p); }
void link(const char *to, const fs::path &p) { fs::create_symlink(to, p); }
std::function<void(const fs::path &)> text(std::string t) {
    return [t](const fs::path &p) { std::ofstream(p, std::ios::binary) << t; };
}
std::function<void(const fs::path &)> sparse(std::uintmax_t bytes) {
    return [bytes](const fs::path &p) {
        std::ofstream(p) << "1\n";
        fs::resize_file(p, bytes);
    };
}
std::string zeros(int count) {
    std::string s = std::to_string(count) + "\n";
    for (int i = 0; i < count; ++i)
        s += "0\n";
    return s;
}

const Row Rows[] = {
    // Scenes: refused by Kesto_libenter, naming the file and the reason.
    {"a missing scene", "scene/scene.ini", [](const fs::path &) {}, Step::Enter,
     "scene.ini:0: cannot be read"},
    {"scene.ini a directory", "scene/scene.ini", directory, Step::Enter, "scene.ini:0: is a directory"},
    {"scene.ini a FIFO", "scene/scene.ini", fifo, Step::Enter, "scene.ini:0: is a FIFO"},
    {"a response a device", "scene/primary_ref.cof", [](const fs::path &p) { link("/dev/zero", p); },
     Step::Enter, "primary_ref.cof:0: is a device"},
    {"a response beyond its cap", "scene/primary_err.cof", sparse(17 << 20), Step::Enter,
     "primary_err.cof:0: larger than 16777216 bytes"},
    {"a response failing with EIO", "scene/secondary_ref.cof",
     [](const fs::path &p) { link("/proc/self/mem", p); }, Step::Enter,
     "secondary_ref.cof:0: read error (Input/output error)"},
    {"a negative tone amplitude", "scene/scene.ini", text("tone = 200 -0.5\n"), Step::Enter,
     "scene.ini:1: tone must not be negative"},
    {"a level beyond single precision", "scene/scene.ini", text("broadband = 1e39\n"), Step::Enter,
     "scene.ini:1: broadband must lie between 0 and 1000000"},
    {"a tone at half the scene's rate", "scene/scene.ini", text("sample_rate = 8000\ntone = 4000 0.1\n"),
     Step::Enter, "scene.ini:2: tone frequencies must lie below half the sample rate"},
    {"a decimal comma", "scene/scene.ini", text("tone = 200 0,05\n"), Step::Enter,
     "scene.ini:1: \"0,05\" is not a finite number"},
    {"a coefficient beyond single precision", "scene/secondary_err.cof", text("1\n1e300\n"), Step::Enter,
     "secondary_err.cof:0: coefficient 1 lies outside"},
    {"an item longer than any number", "scene/primary_ref.cof", text(std::string(1 << 20, '7')),
     Step::Enter, "primary_ref.cof:1: the count \"7777"},
    // Scenes the board reads but cannot run at the program's 20 kHz: the program is refused.
    {"a tone above the program's half rate", "scene/scene.ini",
     text("sample_rate = 48000\ntone = 15000 0.1\n"), Step::Load, "is not below half of 20000 Hz"},
    {"a response past the cap once resampled", "scene/scene.ini",
     [](const fs::path &p) {
         text("sample_rate = 1000\n")(p);
         text(zeros(4000))(p.parent_path() / "primary_ref.cof");
     },
     Step::Load, "primary_ref would hold more than 65536 taps at 20000 Hz"},
    // Byte-order mark and CR line ends: read as any other scene.
    {"a byte-order mark and CR line ends", "scene/scene.ini",
     text("\xEF\xBB\xBFsample_rate = 20000\r\ntone = 200 0.05\rbroadband = 0.01\r\n"), Step::Load, nullptr},
    // Program files: refused by _Kesto_loadcs before the loader sees them.
    {"a missing program", "missing.out", [](const fs::path &) {}, Step::Load, "cannot be read"},
    {"a program that is a directory", "prog", directory, Step::Load, "prog: is a directory"},
    {"a program that is a FIFO", "prog", fifo, Step::Load, "prog: is a FIFO"},
    {"a program that is text", "prog", text(zeros(40)), Step::Load, "not an ELF file"},
    {"a program cut after its first pages", "prog",
     [](const fs::path &p) { programCopy(p, [](std::string &b) { b.resize(4096 + 512); }); }, Step::Load,
     "cut short"},
    {"a program cut inside its header", "prog",
     [](const fs::path &p) { programCopy(p, [](std::string &b) { b.resize(40); }); }, Step::Load,
     "shorter than an ELF header"},
    {"a program for another machine", "prog",
     [](const fs::path &p) { programCopy(p, [](std::string &b) { b[18] = 0x28, b[19] = 0; }); }, Step::Load,
     "an ELF file for another machine"},
    // Recording paths (record/...): rows to come with the recorder's refusals.
};

TEST(HostileInput, EachBadFileIsRefusedWithItsNameAndReasonOrBehavesAsDocumented) {
    for (const Row &row : Rows) {
        SCOPED_TRACE(row.what);
        const Scratch scratch;
        scratch.replace(row.file, row.make);
        // The row's file is a scene's (scene/...), the recording (record/...) or the program.
        const std::string file = (scratch.dir / row.file).string(), kind = fs::path(row.file).begin()->string();
        ::setenv("KESTO32_CLOCK", "free", 1);
        ::setenv("KESTO32_SCENE", (scratch.dir / "scene").c_str(), 1);
        kind == "record" ? ::setenv("KESTO32_RECORD", file.c_str(), 1) : ::unsetenv("KESTO32_RECORD");
        const std::string program = kind == "scene" || kind == "record" ? Program : file;
        const std::function<int()> steps[] = {Kesto_libenter, [&] { return _Kesto_loadcs(program.c_str()); },
                                              _Kesto_run};
        for (const Step step : {Step::Enter, Step::Load, Step::Run}) {
            const auto [result, said] = captured(steps[static_cast<int>(step)]);
            const bool refused = row.message && row.refusedAt == step;
            EXPECT_EQ(result != 0, refused) << said;
            if (refused) {
                EXPECT_NE(said.find(row.message), std::string::npos) << said;
                EXPECT_TRUE(step != Step::Load || _Kesto_run() != 0);
                break;
            }
        }
        Kesto_libexit();
    }
}

} // namespace
