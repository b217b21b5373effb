/* The interface between the simulated board and a DSP program loaded onto it.
 *
 * A DSP program is a shared object that exports one function, kesto_dsp_program(), returning a
 * table of entry points with abi == KESTO_DSP_ABI.
 *
 * Who runs the program's code: one thread at a time, never two at once, and never the PC's
 * getmem/putmem. While the board's sample thread runs, only that thread calls sample, service
 * and rate; create and destroy (and anything between them while the board is stopped) run on
 * the thread that controls the board: the library's caller of _Kesto_loadcs, _Kesto_bdinit and
 * Kesto_libexit, or a test's thread that steps the board itself. The program therefore needs no
 * lock of its own, and the sample thread never waits on one to run it.
 *
 * The program sees DSP memory only through the host's getmem/putmem, which ignore unmapped
 * addresses, so nothing the program computes can reach memory outside the mapped words.
 */
#ifndef KESTO_DSP_H
#define KESTO_DSP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KESTO_DSP_ABI 1u
#define KESTO_DSP_ENTRY "kesto_dsp_program"

typedef struct KestoDspHost {
    void *ctx;
    /* One word of DSP memory; unmapped addresses read 0 and ignore writes. */
    uint32_t (*getmem)(void *ctx, uint32_t address);
    void (*putmem)(void *ctx, uint32_t address, uint32_t word);
    /* The program changes its sampling rate (Hz). Never waits: the board builds its plant at that
     * rate on another thread and swaps it in at a block boundary a few milliseconds later. A rate
     * that is not finite or is outside 1000 to 384000 Hz is refused (the board keeps its rate). */
    void (*set_rate)(void *ctx, double hz);
} KestoDspHost;

typedef struct KestoDspProgram {
    uint32_t abi; /* KESTO_DSP_ABI */
    const char *name;
    /* Creates the program's state; host stays valid until destroy. NULL on failure. */
    void *(*create)(const KestoDspHost *host, uint64_t seed);
    void (*destroy)(void *dsp);
    /* One sample period: the two converter inputs (counts) in, the control output (counts) out.
     * The output reaches the loudspeaker one sample later (converter latency). */
    int32_t (*sample)(void *dsp, int32_t detection, int32_t error);
    /* Looks at the mailbox; returns non-zero when it took or released a command. */
    int32_t (*service)(void *dsp);
    /* The sampling rate the program runs at (Hz). */
    double (*rate)(void *dsp);
} KestoDspProgram;

typedef const KestoDspProgram *(*KestoDspEntry)(void);

#ifdef __cplusplus
}
#endif

#endif
