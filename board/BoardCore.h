#pragma once
// The simulated board: its memory, the loaded DSP program, the plant with its converters, the
// recorder and the sample thread. step() runs a block of samples deterministically and is what
// the thread calls; tests call it directly.
//
// Threads: the PC's calls (getmem, putmem) touch the atomic memory words; a write of CmdRequest
// also lets the program service its mailbox at once under the program's mutex if no block is
// running, else bumps the wake-up sequence. The program's state, the plant and the recorder are
// used under that mutex: by the board's thread while it runs, otherwise by the caller of step().
// start/stop/attach/detach are for one controlling thread.

#include "board/DspMemory.h"
#include "board/KestoDsp.h"
#include "board/Plant.h"
#include "board/Scene.h"
#include "board/WavRecorder.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kesto {

enum class Clock { RealTime, Free };

struct BoardConfig {
    Scene scene = builtInScene(20000);
    Clock clock = Clock::RealTime;
    std::string recordPath; // empty: no recording
    std::uint64_t seed = 1;
};

class BoardCore {
public:
    explicit BoardCore(BoardConfig config);
    ~BoardCore();
    BoardCore(const BoardCore &) = delete;
    BoardCore &operator=(const BoardCore &) = delete;

    DspMemory &memory() { return memory_; }

    // The PC's side of the memory. A write of CmdRequest wakes the sample thread.
    std::uint32_t pcGet(std::uint32_t address) const { return memory_.load(address); }
    void pcPut(std::uint32_t address, std::uint32_t word);

    // Puts a DSP program on the board (stopping a running one); false if it cannot be created.
    bool attach(const KestoDspProgram *program);
    void detach();
    bool hasProgram() const { return dsp_ != nullptr; }

    // Starts the sample thread at the program's rate (the recording with it). False without a
    // program. Starting again restarts the counters.
    bool start();
    void stop();
    bool running() const { return thread_.joinable(); }

    // Runs `n` samples: plant, converters, program, recorder. Then services the mailbox.
    void step(std::uint32_t n);
    // Lets the program look at the mailbox; true when it took or released a command.
    bool service();

    // The converters' values of the last sample run: detection, error, control output (counts).
    struct Frame {
        std::int32_t detection = 0, error = 0, control = 0;
    };
    const Frame &lastFrame() const { return last_; }

    double rate() const { return rate_.load(); }
    std::uint32_t samples() const { return sampleCount_; }
    std::uint32_t overruns() const { return overrunCount_; }
    std::uint32_t blockSize() const;

private:
    void run(); // the sample thread
    void setRate(double hz);
    void runRealTime();
    void runFree();
    void spinOnMailbox();

    BoardConfig config_;
    DspMemory memory_;
    KestoDspHost host_{};
    const KestoDspProgram *program_ = nullptr;
    void *dsp_ = nullptr;
    std::atomic<double> rate_{20000}; // set by the program, read by the thread's pacing
    std::unique_ptr<Plant> plant_;
    WavRecorder recorder_;
    Frame last_;
    std::uint32_t sampleCount_ = 0;
    std::uint32_t overrunCount_ = 0;

    std::mutex programMutex_; // the program's state, the plant, the recorder
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t mailboxSeq_ = 0; // guarded by mutex_
    std::atomic<bool> stop_{false};
};

} // namespace kesto
