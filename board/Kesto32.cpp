// The exported entry points: thin wrappers over one BoardCore, which holds all the behaviour.

#include "board/Kesto32.h"

#include "board/BoardCore.h"
#include "board/ProgramFile.h"

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include <dlfcn.h>

namespace {

namespace fs = std::filesystem;

struct Library {
    std::mutex control; // serialises enter, exit, bdinit, loadcs, run
    std::unique_ptr<kesto::BoardCore> core;
    // The board as getmem/putmem see it, and how many of them are inside it: Kesto_libexit
    // clears the one and waits for the other to reach 0 before it destroys the board.
    std::atomic<kesto::BoardCore *> open{nullptr};
    std::atomic<int> inside{0};
    kesto::ProgramFile program;
    std::string programPath; // of the loaded program; empty when none
    std::string sceneDir;    // KESTO32_SCENE; empty for the built-in scene
};

Library &lib() {
    static Library instance;
    return instance;
}

// Keeps the board alive while a getmem/putmem call is inside it.
class Visit {
public:
    explicit Visit(Library &l) : l_(l) {
        // Sequentially consistent, with the pair in Kesto_libexit: either this load sees the
        // board cleared, or libexit sees this call inside and waits for it.
        l_.inside.fetch_add(1, std::memory_order_seq_cst);
        core_ = l_.open.load(std::memory_order_seq_cst);
    }
    // Release: this call's use of the board happens before libexit destroys it.
    ~Visit() { l_.inside.fetch_sub(1, std::memory_order_release); }
    Visit(const Visit &) = delete;
    Visit &operator=(const Visit &) = delete;
    kesto::BoardCore *core() const { return core_; }

private:
    Library &l_;
    kesto::BoardCore *core_;
};

// The file this library was loaded from, or empty where the loader does not say.
std::string libraryFile() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&Kesto_libenter), &info) == 0 || !info.dli_fname)
        return {};
    return info.dli_fname;
}

// Why the recording must not be written at `record`: it is the board library, the loaded program
// or a file of the scene. Empty when it may be written.
std::string recordingConflict(const Library &l, const std::string &record) {
    std::error_code ec;
    if (const std::string self = libraryFile(); !self.empty() && fs::equivalent(record, self, ec))
        return "it is the board library itself";
    if (!l.programPath.empty() && fs::equivalent(record, l.programPath, ec))
        return "it is the loaded DSP program";
    if (!l.sceneDir.empty())
        for (const auto &entry : fs::directory_iterator(l.sceneDir, ec))
            if (fs::equivalent(record, entry.path(), ec))
                return "it is a file of the scene " + l.sceneDir;
    return {};
}

std::optional<kesto::BoardConfig> configFromEnvironment() {
    kesto::BoardConfig config;
    if (const char *dir = std::getenv("KESTO32_SCENE"); dir && *dir) {
        std::string error;
        auto scene = kesto::loadScene(dir, error);
        if (!scene) {
            std::fprintf(stderr, "Kesto32: scene %s: %s\n", dir, error.c_str());
            return std::nullopt;
        }
        config.scene = std::move(*scene);
    }
    if (const char *clock = std::getenv("KESTO32_CLOCK"); clock && *clock) {
        if (std::strcmp(clock, "free") == 0)
            config.clock = kesto::Clock::Free;
        else if (std::strcmp(clock, "realtime") != 0) {
            std::fprintf(stderr, "Kesto32: KESTO32_CLOCK=%s: expected realtime or free\n", clock);
            return std::nullopt;
        }
    }
    if (const char *rec = std::getenv("KESTO32_RECORD"))
        config.recordPath = rec;
    if (const char *listen = std::getenv("KESTO32_LISTEN"); listen && *listen) {
        const auto channel = kesto::monitorChannelNamed(listen);
        if (!channel) {
            std::fprintf(stderr, "Kesto32: KESTO32_LISTEN=%s: expected error, detection, control "
                                 "or off\n", listen);
            return std::nullopt;
        }
        config.listen = *channel;
    }
    if (const char *gain = std::getenv("KESTO32_LISTEN_GAIN"); gain && *gain) {
        const std::string_view text(gain);
        double db = -1;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), db);
        if (ec != std::errc() || end != text.data() + text.size() ||
            !(db >= kesto::MinMonitorGainDb && db <= kesto::MaxMonitorGainDb)) {
            std::fprintf(stderr, "Kesto32: KESTO32_LISTEN_GAIN=%s: expected a gain in dB from "
                                 "%g to %g\n", gain, kesto::MinMonitorGainDb,
                         kesto::MaxMonitorGainDb);
            return std::nullopt;
        }
        config.listenGainDb = db;
    }
    return config;
}

// Runs `f` and turns any exception into a failure result: nothing throws across the C interface.
template <class F> int32_t guarded(F f) {
    try {
        return f();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "Kesto32: %s\n", e.what());
    } catch (...) {
    }
    return -1;
}

} // namespace

extern "C" {

int32_t Kesto_libenter(void) {
    return guarded([] {
        Library &l = lib();
        std::lock_guard lock(l.control);
        if (l.core)
            return 0;
        auto config = configFromEnvironment();
        if (!config)
            return 1;
        l.core = std::make_unique<kesto::BoardCore>(std::move(*config));
        const char *dir = std::getenv("KESTO32_SCENE");
        l.sceneDir = dir ? dir : "";
        // Sequentially consistent, as every access to `open`.
        l.open.store(l.core.get(), std::memory_order_seq_cst);
        return 0;
    });
}

int32_t Kesto_libexit(void) {
    return guarded([] {
        Library &l = lib();
        std::lock_guard lock(l.control);
        // Sequentially consistent, with the pair in Visit: see there.
        l.open.store(nullptr, std::memory_order_seq_cst);
        while (l.inside.load(std::memory_order_seq_cst) != 0)
            std::this_thread::yield(); // a getmem/putmem is a few atomic accesses long
        l.core.reset(); // stops the thread and the recording, destroys the program's state
        l.program.close();
        l.programPath.clear();
        return 0;
    });
}

int32_t Kesto_bdsel(int32_t board) { return board == 0 ? 0 : -1; }

int32_t _Kesto_bdinit(void) {
    return guarded([] {
        Library &l = lib();
        std::lock_guard lock(l.control);
        if (!l.core)
            return -1;
        l.core->detach();
        l.program.close();
        l.programPath.clear();
        l.core->memory().clear();
        return 0;
    });
}

int32_t _Kesto_loadcs(const char *path) {
    return guarded([path] {
        Library &l = lib();
        std::lock_guard lock(l.control);
        if (!l.core || !path)
            return -1;
        l.core->detach();
        l.programPath.clear();
        std::string error;
        if (!l.program.open(path, error)) {
            std::fprintf(stderr, "Kesto32: %s\n", error.c_str());
            return 1;
        }
        if (!l.core->attach(l.program.program(), error)) {
            std::fprintf(stderr, "Kesto32: %s: %s\n", path, error.c_str());
            l.program.close();
            return 2;
        }
        l.programPath = path;
        return 0;
    });
}

int32_t _Kesto_run(void) {
    return guarded([] {
        Library &l = lib();
        std::lock_guard lock(l.control);
        if (!l.core)
            return 1;
        std::string warning;
        if (const std::string &record = l.core->recordPath(); !record.empty()) {
            if (const std::string why = recordingConflict(l, record); !why.empty()) {
                std::fprintf(stderr, "Kesto32: KESTO32_RECORD=%s is refused: %s; not recording\n",
                             record.c_str(), why.c_str());
                l.core->setRecordPath("");
            }
        }
        const bool started = l.core->start(warning);
        if (!warning.empty())
            std::fprintf(stderr, "Kesto32: %s\n", warning.c_str());
        return started ? 0 : 1;
    });
}

int32_t _Kesto_getmem(uint32_t address, uint32_t *word) {
    return guarded([&] {
        const Visit visit(lib());
        if (!visit.core() || !word)
            return -1;
        *word = visit.core()->pcGet(address);
        return 0;
    });
}

int32_t _Kesto_putmem(uint32_t address, const uint32_t *word, int32_t flag) {
    (void)flag;
    return guarded([&] {
        const Visit visit(lib());
        if (!visit.core() || !word)
            return -1;
        visit.core()->pcPut(address, *word);
        return 0;
    });
}

} // extern "C"
