// A stand-in DSP program for the board's refusals: it runs at the rate in KESTO_TEST_RATE and,
// for every command, asks the board for the rate in CmdArg6. Its output is silence.

#include "board/KestoDsp.h"
#include "contract/BoardContract.h"

#include <cstdlib>

namespace {

using namespace quiro;

// The program's state is the host itself: it keeps nothing else.
void *create(const KestoDspHost *host, std::uint64_t) { return const_cast<KestoDspHost *>(host); }
void destroy(void *) {}
std::int32_t sample(void *, std::int32_t, std::int32_t) { return 0; }
double rate(void *) {
    const char *text = std::getenv("KESTO_TEST_RATE");
    return text ? std::strtod(text, nullptr) : 20000.0;
}
std::int32_t service(void *dsp) {
    const KestoDspHost &h = *static_cast<const KestoDspHost *>(dsp);
    const std::uint32_t request = h.getmem(h.ctx, dspmem::CmdRequest);
    const std::uint32_t ack = h.getmem(h.ctx, dspmem::CmdAck);
    if (request == 1 && ack == 0) {
        h.set_rate(h.ctx, singleOfWord(h.getmem(h.ctx, dspmem::CmdArg6)));
        h.putmem(h.ctx, dspmem::CmdAck, 1);
        return 1;
    }
    if (request == 0 && ack == 1) {
        h.putmem(h.ctx, dspmem::CmdAck, 0);
        return 1;
    }
    return 0;
}

const KestoDspProgram Program{KESTO_DSP_ABI, "rate test", create, destroy, sample, service, rate};

} // namespace

extern "C" __attribute__((visibility("default"))) const KestoDspProgram *kesto_dsp_program(void) {
    return &Program;
}
