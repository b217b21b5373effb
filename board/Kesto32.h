/* libKesto32: the board access library, here a simulated board that runs a DSP program on the PC.
 *
 * Every function has C linkage, returns a 32-bit int (0 = success) and never throws. The
 * functions other than getmem and putmem are meant for one controlling thread and are
 * serialised among themselves. getmem and putmem may be called from any thread, also while the
 * board's thread runs and while Kesto_libexit closes the library (they then fail with -1; the
 * board is never freed under them). Their word accesses are atomic and sequentially consistent,
 * every word alike, so a word written before CmdRequest or CmdAck changes is visible to the side
 * that reads the change. No function keeps a pointer the caller passed, and none of them waits on
 * the board's sample thread for longer than it takes to stop it.
 *
 * Environment, read by Kesto_libenter: KESTO32_SCENE (scene directory, unset = built-in duct),
 * KESTO32_CLOCK (realtime | free), KESTO32_RECORD (WAV file recorded from _Kesto_run on).
 */
#ifndef KESTO32_H
#define KESTO32_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KESTO_API __attribute__((visibility("default")))

/* Opens the library and the board: reads the environment and the scene. 0 = open; non-zero when
 * the scene cannot be read (reason on stderr). Calling it again while open does nothing, returns 0. */
KESTO_API int32_t Kesto_libenter(void);
/* Stops the board's thread, closes the recording (its frames written and dropped reported on
 * stderr), unloads the DSP program. Safe to repeat, also while getmem/putmem run. 0. */
KESTO_API int32_t Kesto_libexit(void);
/* Selects a board: only board 0 exists. 0 for board 0, -1 otherwise. */
KESTO_API int32_t Kesto_bdsel(int32_t board);
/* Resets the board: stops and unloads the DSP program, clears the memory. 0; -1 if not open. */
KESTO_API int32_t _Kesto_bdinit(void);
/* Loads the DSP program at `path` (read during the call only). 0 = loaded; non-zero when the
 * library is not open, the file is missing, it is not a DSP program, or the program's sampling
 * rate is not a finite 1000 to 384000 Hz (reason on stderr). */
KESTO_API int32_t _Kesto_loadcs(const char *path);
/* Starts the loaded DSP program and the board's sample thread. 0 = started; non-zero when
 * nothing is loaded. Running again restarts the thread and the counters. A KESTO32_RECORD path
 * that cannot be written, or that is the loaded program or a file of the scene, is refused on
 * stderr and the board runs without recording. */
KESTO_API int32_t _Kesto_run(void);
/* Reads the word at `address` into *word (unmapped addresses read 0). -1 if `word` is NULL or
 * the library is not open, *word then untouched. */
KESTO_API int32_t _Kesto_getmem(uint32_t address, uint32_t *word);
/* Writes *word to `address` (unmapped addresses and the board's counters ignore it). `flag` is
 * -1 by convention and otherwise unused. -1 if `word` is NULL or the library is not open. */
KESTO_API int32_t _Kesto_putmem(uint32_t address, const uint32_t *word, int32_t flag);

#ifdef __cplusplus
}
#endif

#endif
