#pragma once
// The simulated board: its memory, the loaded DSP program, the plant with its converters, the
// recorder and the sample thread. step() runs a block of samples deterministically and is what
// the thread calls; tests call it directly.
//
// Threads. The DSP program's code runs on one thread at a time, as KestoDsp.h states: the sample
// thread while it runs, otherwise the thread that controls the board (attach, step, service).
// The PC's getmem/putmem only touch the atomic memory words; a write of CmdRequest wakes the
// sample thread, which services the mailbox. The sample thread never allocates, frees, touches
// a file or takes a lock: a plant for a new rate is built by the builder thread and swapped in at
// a block boundary, the old one freed there; recorded frames leave through the recorder's ring;
// it sleeps on a wake-up word that the PC bumps without holding anything the thread could wait
// for. start/stop/attach/detach are for one controlling thread.

#include "board/DspMemory.h"
#include "dspkit/KestoDsp.h"
#include "board/Monitor.h"
#include "board/Plant.h"
#include "board/Scene.h"
#include "board/SpscRing.h"
#include "board/WavRecorder.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace kesto {

enum class Clock { RealTime, Free };

struct BoardConfig {
    Scene scene = builtInScene(20000);
    Clock clock = Clock::RealTime;
    std::string recordPath; // empty: no recording
    std::uint64_t seed = 1;
    MonitorChannel listen = MonitorChannel::Off; // played live on the real-time clock
    double listenGainDb = 0;
};

// Whether the board runs at `hz`: a finite rate from MinSampleRate to MaxSampleRate.
bool rateInRange(double hz);
// A rate as the DSP program gave it, for messages: the shortest text that reads back as the same
// value, taken as a single where it is one (the PC sends rates as singles), so that a refused
// 384000.03 Hz reads "384000.03", never a rounded "384000".
std::string rateText(double hz);

// A word one thread sleeps on until a deadline and others bump to wake it, without a lock: a
// futex, so a waker descheduled at the wrong moment cannot hold up the sleeper.
class WakeWord {
public:
    std::uint32_t value() const { return word_.load(std::memory_order_acquire); }
    // Any thread: changes the word and wakes its sleeper. Never waits.
    void bump();
    // The sleeper: returns at `deadline` (never, without one), or earlier once the word no
    // longer reads `seen`; now and then without a reason, too.
    void sleepUntil(std::uint32_t seen, std::chrono::steady_clock::time_point deadline) const;
    void sleep(std::uint32_t seen) const;

private:
    static_assert(sizeof(std::atomic<std::uint32_t>) == 4 &&
                  std::atomic<std::uint32_t>::is_always_lock_free, "the futex is the word itself");
    std::atomic<std::uint32_t> word_{0};
};

// Builds plants on its own thread and hands them over without locks: the sample thread asks for
// a rate, later takes the finished plant at a block boundary and gives back the one it replaced.
class PlantBuilder {
public:
    PlantBuilder(const Scene &scene, std::uint64_t seed);
    ~PlantBuilder();
    PlantBuilder(const PlantBuilder &) = delete;
    PlantBuilder &operator=(const PlantBuilder &) = delete;

    // Any thread: asks for a plant at `hz`, replacing an earlier request. Never waits.
    void request(double hz);
    // The consumer thread: the newest finished plant if it is at the rate last asked for, or
    // null. Null as well while the builder still has MaxRetired plants to free. Never waits.
    Plant *take();
    // The consumer: hands back the plant a take() replaced; the builder frees it. Never waits.
    void retire(Plant *plant);
    // Waits until every request so far has been answered (a plant or a refusal on stderr).
    void settle();

private:
    static constexpr std::size_t MaxRetired = 8;
    void loop();
    void wake();

    const Scene &scene_;
    const std::uint64_t seed_;
    std::atomic<double> wanted_{0};
    std::atomic<std::uint64_t> requests_{0}; // bumped by request()
    std::atomic<std::uint64_t> answered_{0}; // the requests_ value the builder has dealt with
    WakeWord wakes_; // bumped by request(), retire() and the destructor
    std::atomic<Plant *> ready_{nullptr};
    SpscRing<Plant *> retired_{MaxRetired};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class BoardCore {
public:
    explicit BoardCore(BoardConfig config);
    ~BoardCore();
    BoardCore(const BoardCore &) = delete;
    BoardCore &operator=(const BoardCore &) = delete;

    DspMemory &memory() { return memory_; }
    const std::string &recordPath() const { return config_.recordPath; }
    // Takes effect at the next start(); empty: no recording.
    void setRecordPath(std::string path) { config_.recordPath = std::move(path); }

    // The PC's side of the memory. A write of CmdRequest wakes the sample thread.
    std::uint32_t pcGet(std::uint32_t address) const { return memory_.load(address); }
    void pcPut(std::uint32_t address, std::uint32_t word);

    // Puts a DSP program on the board (stopping a running one). False, with the reason in
    // `error`, if it cannot be created or reports a rate that is not rateInRange. The plant for
    // the program's rate is built meanwhile; until it is in place the microphones read silence
    // (see start()).
    bool attach(const KestoDspProgram *program, std::string &error);
    void detach();

    // Starts the sample thread at the program's rate (the recording with it). False without a
    // program. Starting again restarts the counters. A recording that cannot be written is
    // reported in `warning`; the board then runs without it. On the free clock the plant being
    // built is waited for first; on the real-time clock the microphones read silence until it
    // is in place.
    bool start(std::string &warning);
    void stop();

    // Runs `n` samples: plant, converters, program, recorder. Then services the mailbox.
    void step(std::uint32_t n);
    // Lets the program look at the mailbox; true when it took or released a command.
    bool service();
    // Waits for the plant being built and puts it in place: for a thread that steps the board
    // itself (not while the sample thread runs).
    void settle();
    // A new run for a thread that steps the board itself: the counters and the scene's
    // timeline start again from 0 (the noise goes on). start() does the same.
    void rewind();

    // The converters' values of the last sample run: detection, error, control output (counts).
    struct Frame {
        std::int32_t detection = 0, error = 0, control = 0;
    };
    const Frame &lastFrame() const { return last_; }

    double rate() const { return rate_.load(std::memory_order_relaxed); }
    // From any thread: the counters as the PC reads them, which the sample thread publishes.
    std::uint32_t samples() const { return memory_.load(quiro::dspmem::SampleCount); }
    std::uint32_t overruns() const { return memory_.load(quiro::dspmem::Overruns); }
    std::uint32_t blockSize() const;

private:
    void run(); // the sample thread
    void setRate(double hz);
    void swapPlant();
    void runRealTime();
    void runFree();
    void spinOnMailbox(std::chrono::steady_clock::time_point blockDue);
    void openMonitor();

    BoardConfig config_;
    DspMemory memory_;
    KestoDspHost host_{};
    const KestoDspProgram *program_ = nullptr;
    void *dsp_ = nullptr;
    // The rate the board is paced and recorded at: the program's, once its plant is in place.
    // Relaxed everywhere: a plain value, read by the pacing of the thread that also writes it.
    std::atomic<double> rate_{0};
    Plant *plant_ = nullptr; // owned; freed by the builder once replaced
    double requested_ = 0;   // the rate last asked of the builder
    WavRecorder recorder_;
    double recordedRate_ = 0; // the rate the recording runs at: set by start(), then the sample thread's
    std::unique_ptr<AudioMonitor> monitor_; // while the sample thread runs on the real-time clock
    Frame last_;
    std::uint32_t sampleCount_ = 0;
    std::uint32_t overrunCount_ = 0;
    PlantBuilder builder_; // after config_: builds from its scene

    std::thread thread_;
    WakeWord wake_; // bumped by a write of CmdRequest and by stop()
    std::atomic<bool> stop_{false};
};

} // namespace kesto
