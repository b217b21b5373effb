// The exported entry points: thin wrappers over one BoardCore, which holds all the behaviour.

#include "board/Kesto32.h"

#include "board/BoardCore.h"
#include "board/ProgramFile.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>

namespace {

struct Library {
    std::mutex control; // serialises enter, exit, bdinit, loadcs, run
    std::unique_ptr<kesto::BoardCore> core;
    std::atomic<kesto::BoardCore *> open{nullptr};
    kesto::ProgramFile program;
};

Library &lib() {
    static Library instance;
    return instance;
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
        l.open.store(l.core.get());
        return 0;
    });
}

int32_t Kesto_libexit(void) {
    return guarded([] {
        Library &l = lib();
        std::lock_guard lock(l.control);
        l.open.store(nullptr);
        l.core.reset(); // stops the thread and the recording, destroys the program's state
        l.program.close();
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
        std::string error;
        if (!l.program.open(path, error)) {
            std::fprintf(stderr, "Kesto32: %s\n", error.c_str());
            return 1;
        }
        if (!l.core->attach(l.program.program())) {
            std::fprintf(stderr, "Kesto32: %s: the DSP program could not start up\n", path);
            l.program.close();
            return 2;
        }
        return 0;
    });
}

int32_t _Kesto_run(void) {
    return guarded([] {
        Library &l = lib();
        std::lock_guard lock(l.control);
        return l.core && l.core->start() ? 0 : 1;
    });
}

int32_t _Kesto_getmem(uint32_t address, uint32_t *word) {
    kesto::BoardCore *core = lib().open.load();
    if (!core || !word)
        return -1;
    *word = core->pcGet(address);
    return 0;
}

int32_t _Kesto_putmem(uint32_t address, const uint32_t *word, int32_t flag) {
    (void)flag;
    kesto::BoardCore *core = lib().open.load();
    if (!core || !word)
        return -1;
    core->pcPut(address, *word);
    return 0;
}

} // extern "C"
