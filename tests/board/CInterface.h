#pragma once
// The board library as the console meets it: through its C interface, with the real quiros.out
// from the run tree, the environment Kesto_libenter reads and the handshake over
// _Kesto_putmem/_Kesto_getmem.

#include "board/Kesto32.h"
#include "contract/BoardContract.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

namespace kesto::test {

namespace fs = std::filesystem;

inline const std::string RunTree = QUIRO_RUN_TREE;
inline const std::string Program = RunTree + "/bin/../DSP/quiros.out";

inline std::uint32_t get(std::uint32_t a) {
    std::uint32_t w = 0;
    EXPECT_EQ(_Kesto_getmem(a, &w), 0);
    return w;
}
inline void put(std::uint32_t a, std::uint32_t w) { EXPECT_EQ(_Kesto_putmem(a, &w, -1), 0); }

inline void send(quiro::Cmd code) {
    put(quiro::dspmem::CmdCode, quiro::wordOfLong(static_cast<std::int32_t>(code)));
    put(quiro::dspmem::CmdRequest, 1);
    while (get(quiro::dspmem::CmdAck) != 1)
        std::this_thread::yield();
    put(quiro::dspmem::CmdRequest, 0);
    while (get(quiro::dspmem::CmdAck) != 0)
        std::this_thread::yield();
}

using Env = std::vector<std::pair<const char *, std::string>>;

// The environment of the next Kesto_libenter: the real-time clock, then `env`; every other
// variable the board reads is unset. Leaves the library on destruction.
struct Session {
    explicit Session(const Env &env = {}) {
        for (const char *name : {"KESTO32_SCENE", "KESTO32_RECORD", "KESTO32_LISTEN", "KESTO32_LISTEN_GAIN",
                                 "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE"})
            ::unsetenv(name);
        ::setenv("KESTO32_CLOCK", "realtime", 1);
        for (const auto &[name, value] : env)
            ::setenv(name, value.c_str(), 1);
    }
    ~Session() { Kesto_libexit(); }
};

// Enters the library, loads `program` and runs it; true when all three succeeded.
inline bool start(const std::string &program = Program) {
    return Kesto_libenter() == 0 && _Kesto_loadcs(program.c_str()) == 0 && _Kesto_run() == 0;
}

// A scratch directory, removed on destruction, holding a copy of the program as quiros.out and
// a good scene in scene/.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("kesto-test-" + std::to_string(::getpid()));
    Scratch() {
        fs::remove_all(dir);
        fs::create_directories(dir / "scene");
        std::ofstream(dir / "scene/scene.ini") << "sample_rate = 20000\ntone = 200 0.05\nbroadband = 0.01\n";
        for (const char *name : {"primary_ref", "primary_err", "secondary_ref", "secondary_err"})
            std::ofstream(dir / "scene" / (std::string(name) + ".cof")) << "3\n0\n0.5\n0.25\n";
        fs::copy_file(Program, dir / "quiros.out");
    }
    ~Scratch() { fs::remove_all(dir); }
};

inline std::string contents(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace kesto::test
