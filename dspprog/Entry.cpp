// The DSP program's entry point: the table of functions the board calls.

#include "dspkit/KestoDsp.h"
#include "dspprog/Quiros.h"

#include <new>

namespace {

quiros::Quiros *self(void *dsp) { return static_cast<quiros::Quiros *>(dsp); }

const KestoDspProgram Program = {
    KESTO_DSP_ABI,
    "quiros",
    [](const KestoDspHost *host, std::uint64_t seed) -> void * {
        if (!host || !host->getmem || !host->putmem)
            return nullptr;
        return new (std::nothrow) quiros::Quiros(*host, seed);
    },
    [](void *dsp) { delete self(dsp); },
    [](void *dsp, std::int32_t detection, std::int32_t error) {
        return self(dsp)->sample(detection, error);
    },
    [](void *dsp) -> std::int32_t { return self(dsp)->service() ? 1 : 0; },
    [](void *dsp) { return self(dsp)->rate(); },
};

} // namespace

extern "C" __attribute__((visibility("default"))) const KestoDspProgram *kesto_dsp_program(void) {
    return &Program;
}
