/* The interface between the simulated board and a DSP program loaded onto it.
 *
 * A DSP program is a shared object that exports one function, kesto_dsp_program(), returning a
 * table of entry points with abi == KESTO_DSP_ABI. The board calls every entry point from its own
 * sample thread only (or from a test's thread that drives the board directly), never two at once.
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
    /* The program changes its sampling rate (Hz). The board rebuilds its plant at that rate. */
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
