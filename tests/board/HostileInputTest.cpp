// Hostile inputs through the board library's C interface: scene directories and program files
// that are wrong in one way each. Every row ends in a refusal naming the file and the reason;
// none may crash, hang or pass silently.

#include "board/Kesto32.h"

#include <gtest/gtest.h>

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
        std::ofstream(dir / "scene/scene.ini") << "sample_rate = 20000\ntone = 200 0.05\nbroadband = 0.01\n";
        for (const char *name : {"primary_ref", "primary_err", "secondary_ref", "secondary_err"})
            std::ofstream(dir / "scene" / (std::string(name) + ".cof")) << "3\n0\n0.5\n0.25\n";
    }
    ~Scratch() { fs::remove_all(dir); }
};

// A copy of the real program, changed by `edit`.
std::function<void(const fs::path &)> programCopy(void (*edit)(std::string &)) {
    return [edit](const fs::path &to) {
        std::ifstream in(Program, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        edit(bytes);
        std::ofstream(to, std::ios::binary) << bytes;
    };
}

struct Row {
    const char *what;
    const char *file; // the scene's file or the program file, relative to the scratch directory
    std::function<void(const fs::path &)> make;
    bool refusedAtEnter; // else by _Kesto_loadcs
    const char *message; // a fragment of the refusal on standard error
};

void nothing(const fs::path &) {}
void fifo(const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }
void directory(const fs::path &p) { fs::create_directories(p); }
std::function<void(const fs::path &)> link(const char *to) {
    return [to](const fs::path &p) { fs::create_symlink(to, p); };
}
std::function<void(const fs::path &)> text(std::string t) {
    return [t](const fs::path &p) { std::ofstream(p, std::ios::binary) << t; };
}
void sparse(const fs::path &p) {
    std::ofstream(p) << "1\n";
    fs::resize_file(p, 17 << 20);
}

const Row Rows[] = {
    // Scenes: refused by Kesto_libenter, naming the file and the reason.
    {"a missing scene", "scene/scene.ini", nothing, true, "scene.ini:0: cannot be read"},
    {"scene.ini a directory", "scene/scene.ini", directory, true, "scene.ini:0: is a directory"},
    {"scene.ini a FIFO", "scene/scene.ini", fifo, true, "scene.ini:0: is a FIFO"},
    {"a response a device", "scene/primary_ref.cof", link("/dev/zero"), true, "primary_ref.cof:0: is a device"},
    {"a response beyond its cap", "scene/primary_err.cof", sparse, true,
     "primary_err.cof:0: larger than 16777216 bytes"},
    {"a response failing with EIO", "scene/secondary_ref.cof", link("/proc/self/mem"), true,
     "secondary_ref.cof:0: read error (Input/output error)"},
    // A scene the board reads but cannot run at the program's 20 kHz: the program is refused.
    {"a tone above the program's half rate", "scene/scene.ini", text("sample_rate = 48000\ntone = 15000 0.1\n"),
     false, "is not below half of 20000 Hz"},
    // Program files: refused by _Kesto_loadcs before the loader sees them (a missing one and a
    // directory are the library's own cases; the scene rows show how their refusals read).
    {"a program that is a FIFO", "prog", fifo, false, "prog: is a FIFO"},
    {"a program that is text", "prog", text(std::string(80, '7')), false, "not an ELF file"},
    {"a program cut after its first pages", "prog", programCopy([](std::string &b) { b.resize(4096 + 512); }),
     false, "cut short"},
    {"a program cut inside its header", "prog", programCopy([](std::string &b) { b.resize(40); }), false,
     "shorter than an ELF header"},
    {"a program for another machine", "prog", programCopy([](std::string &b) { b[18] = 0x28, b[19] = 0; }),
     false, "an ELF file for another machine"},
};

TEST(HostileInput, EachBadFileIsRefusedWithItsNameAndReason) {
    for (const Row &row : Rows) {
        SCOPED_TRACE(row.what);
        const Scratch scratch;
        const fs::path file = scratch.dir / row.file;
        fs::remove_all(file);
        row.make(file);
        ::setenv("KESTO32_CLOCK", "free", 1);
        ::setenv("KESTO32_SCENE", (scratch.dir / "scene").c_str(), 1);
        const std::string program = std::string_view(row.file).starts_with("scene/") ? Program : file.string();
        testing::internal::CaptureStderr();
        EXPECT_EQ(Kesto_libenter() != 0, row.refusedAtEnter);
        if (!row.refusedAtEnter) {
            EXPECT_NE(_Kesto_loadcs(program.c_str()), 0);
        }
        EXPECT_NE(_Kesto_run(), 0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(row.message), std::string::npos) << said;
        Kesto_libexit();
    }
}

} // namespace
