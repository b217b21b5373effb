#include "board/BoardCore.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>

#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace kesto {

namespace {

using Steady = std::chrono::steady_clock;

// How long the thread keeps polling the mailbox after a command moved, so that the second half
// of a handshake is answered without another wake-up.
constexpr auto SpinAfterActivity = std::chrono::microseconds(200);
// The converters' FIFO: a block may start this late before the output would have run dry.
constexpr auto FifoDepth = std::chrono::milliseconds(20);
// Further behind than this, the board gives up catching up and starts afresh from now.
constexpr auto GiveUpCatchingUp = std::chrono::milliseconds(500);

std::uint32_t hostGet(void *ctx, std::uint32_t address) {
    return static_cast<BoardCore *>(ctx)->memory().load(address);
}
void hostPut(void *ctx, std::uint32_t address, std::uint32_t word) {
    static_cast<BoardCore *>(ctx)->memory().store(address, word);
}

// "<before>1000 to 384000 Hz": the board's rates, as its messages name them.
std::string rangeText(const char *before) {
    return before + rateText(quiro::MinSampleRate) + " to " + rateText(quiro::MaxSampleRate) + " Hz";
}

// The plant for `scene` at `hz`, or null with the reason on stderr.
Plant *buildPlant(const Scene &scene, double hz, std::uint64_t seed) {
    const char *reason = nullptr;
    std::string what;
    try {
        if (!rateInRange(hz)) {
            what = rangeText("outside ");
            reason = what.c_str();
        } else {
            const auto at = sceneAt(scene, hz, what);
            if (at)
                return new Plant(*at, hz, seed);
            reason = what.c_str();
        }
    } catch (const std::exception &e) {
        what = e.what();
        reason = what.c_str();
    }
    std::fprintf(stderr, "Kesto32: a sampling rate of %s Hz is refused (%s); the board keeps its rate\n",
                 rateText(hz).c_str(), reason);
    return nullptr;
}

} // namespace

bool rateInRange(double hz) {
    return std::isfinite(hz) && hz >= quiro::MinSampleRate && hz <= quiro::MaxSampleRate;
}

std::string rateText(double hz) {
    char text[64];
    const float single = static_cast<float>(hz);
    const auto end = static_cast<double>(single) == hz ? std::to_chars(text, text + sizeof text, single).ptr
                                                       : std::to_chars(text, text + sizeof text, hz).ptr;
    return std::string(text, end);
}

// ---- WakeWord

void WakeWord::bump() {
    // Release: what the waker wrote before (the mailbox word, stop_) is seen by the sleeper
    // once it reads the new value.
    word_.fetch_add(1, std::memory_order_release);
    ::syscall(SYS_futex, &word_, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

void WakeWord::sleepUntil(std::uint32_t seen, Steady::time_point deadline) const {
    // The steady clock is CLOCK_MONOTONIC, which FUTEX_WAIT_BITSET takes as an absolute time.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch());
    const timespec at{static_cast<time_t>(ns.count() / 1000000000),
                      static_cast<long>(ns.count() % 1000000000)};
    // Returns at once if the word no longer reads `seen`: no wake-up is lost.
    ::syscall(SYS_futex, &word_, FUTEX_WAIT_BITSET_PRIVATE, seen, &at, nullptr,
              FUTEX_BITSET_MATCH_ANY);
}

void WakeWord::sleep(std::uint32_t seen) const {
    ::syscall(SYS_futex, &word_, FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
}

// ---- PlantBuilder

PlantBuilder::PlantBuilder(const Scene &scene, std::uint64_t seed)
    : scene_(scene), seed_(seed), thread_([this] { loop(); }) {}

PlantBuilder::~PlantBuilder() {
    // Relaxed: wake()'s release publishes it.
    stop_.store(true, std::memory_order_relaxed);
    wake();
    thread_.join();
    delete ready_.exchange(nullptr, std::memory_order_acquire);
}

void PlantBuilder::wake() {
    // What the caller stored before (wanted_, stop_, a retired plant) is seen by the builder once
    // it sees the new value: bump() releases, value() acquires.
    wakes_.bump();
}

void PlantBuilder::request(double hz) {
    // Relaxed: published by the release just below.
    wanted_.store(hz, std::memory_order_relaxed);
    // Release: a builder that sees this count sees this rate (or a later one).
    requests_.fetch_add(1, std::memory_order_release);
    wake();
}

Plant *PlantBuilder::take() {
    if (retired_.size() >= retired_.capacity())
        return nullptr;
    // Acquire: the plant's construction on the builder's thread happens before its use here.
    Plant *plant = ready_.load(std::memory_order_acquire);
    // Relaxed: a plant for an older request is left for the builder to replace; a stale view
    // of wanted_ only delays the swap by a block.
    if (!plant || plant->rate() != wanted_.load(std::memory_order_relaxed))
        return nullptr;
    // Acquire, as above; on failure the builder has just put a newer plant there: next block.
    return ready_.compare_exchange_strong(plant, nullptr, std::memory_order_acquire,
                                          std::memory_order_relaxed)
               ? plant
               : nullptr;
}

void PlantBuilder::retire(Plant *plant) {
    if (plant && retired_.push(plant)) // room: take() checked it
        wake();
}

void PlantBuilder::settle() {
    // Acquire on both: the answer's plant (or refusal) is complete when answered_ reaches it.
    const std::uint64_t asked = requests_.load(std::memory_order_acquire);
    for (std::uint64_t a; (a = answered_.load(std::memory_order_acquire)) < asked;)
        answered_.wait(a, std::memory_order_acquire);
}

void PlantBuilder::loop() {
    std::uint32_t seenWakes = 0; // the word's first value: a bump before this thread looked counts
    std::uint64_t seenRequests = 0;
    Plant *old[MaxRetired];
    for (;;) {
        if (wakes_.value() == seenWakes)
            wakes_.sleep(seenWakes);
        seenWakes = wakes_.value();
        for (std::size_t n = retired_.popAll(old), i = 0; i < n; ++i)
            delete old[i];
        // Relaxed: ordered by the acquire in wakes_.value().
        const bool stopping = stop_.load(std::memory_order_relaxed);
        // Acquire: pairs with request(), so that wanted_ is at least the rate of this count.
        const std::uint64_t requests = requests_.load(std::memory_order_acquire);
        if (requests != seenRequests) {
            seenRequests = requests;
            // Relaxed: ordered by the requests_ acquire.
            const double hz = wanted_.load(std::memory_order_relaxed);
            // A rate out of range is still refused aloud when the board is closing; a plant
            // nobody will use is not built.
            if (!rateInRange(hz) || !stopping)
                if (Plant *plant = buildPlant(scene_, hz, seed_))
                    // Release: the plant is complete before a take() can see it. An unused
                    // older plant comes back and is freed here.
                    delete ready_.exchange(plant, std::memory_order_acq_rel);
            // Release: pairs with settle().
            answered_.store(seenRequests, std::memory_order_release);
            answered_.notify_all();
        }
        if (stopping)
            return;
    }
}

// ---- BoardCore

BoardCore::BoardCore(BoardConfig config)
    : config_(std::move(config)), builder_(config_.scene, config_.seed) {
    host_.ctx = this;
    host_.getmem = &hostGet;
    host_.putmem = &hostPut;
    host_.set_rate = [](void *ctx, double hz) { static_cast<BoardCore *>(ctx)->setRate(hz); };
}

BoardCore::~BoardCore() { detach(); }

void BoardCore::pcPut(std::uint32_t address, std::uint32_t word) {
    memory_.store(address, word);
    if (address == mem::CmdRequest)
        wake_.bump();
}

bool BoardCore::attach(const KestoDspProgram *program, std::string &error) {
    detach();
    error.clear();
    void *dsp = program ? program->create(&host_, config_.seed) : nullptr;
    if (!dsp) {
        error = "the DSP program could not start up";
        return false;
    }
    const double hz = program->rate(dsp);
    std::string why;
    if (!rateInRange(hz) || !sceneRunsAt(config_.scene, hz, why)) {
        error = rateInRange(hz)
                    ? "the scene cannot run at the DSP program's " + rateText(hz) + " Hz: " + why
                    : "the DSP program runs at " + rateText(hz) + " Hz, " +
                          rangeText("outside the board's ");
        program->destroy(dsp);
        return false;
    }
    program_ = program;
    dsp_ = dsp;
    setRate(hz);
    return true;
}

void BoardCore::detach() {
    stop();
    if (dsp_)
        program_->destroy(dsp_);
    dsp_ = nullptr;
    program_ = nullptr;
    // A plant still being built is not waited for: one at the next program's rate is as good as
    // new, and one at another rate is never taken (the builder replaces it).
    delete plant_;
    plant_ = nullptr;
    requested_ = 0;
    rate_.store(0, std::memory_order_relaxed);
}

void BoardCore::setRate(double hz) {
    if (hz == requested_)
        return;
    requested_ = hz;
    if (!plant_ && rateInRange(hz))
        rate_.store(hz, std::memory_order_relaxed); // paced at it until the plant arrives
    builder_.request(hz);
}

void BoardCore::swapPlant() {
    Plant *next = builder_.take();
    if (!next)
        return;
    // Against the rate the recording was opened at, not the old plant's: a rate asked for before
    // the first plant arrived changes the recording's rate too.
    const bool rateChanged = next->rate() != recordedRate_;
    if (plant_) // the scene's timeline goes on where it was
        next->seek(plant_->seconds());
    builder_.retire(plant_);
    plant_ = next;
    rate_.store(next->rate(), std::memory_order_relaxed);
    if (rateChanged) {
        recordedRate_ = next->rate();
        recorder_.rateChanged(next->rate());
    }
    if (monitor_)
        monitor_->rateChanged(next->rate());
}

void BoardCore::settle() {
    builder_.settle();
    swapPlant();
}

std::uint32_t BoardCore::blockSize() const {
    // A millisecond of samples: fine enough for prompt commands, coarse enough to sleep.
    return static_cast<std::uint32_t>(std::max(1.0, std::round(rate() / 1000.0)));
}

bool BoardCore::start(std::string &warning) {
    warning.clear();
    if (!dsp_)
        return false;
    stop();
    // On the free clock no deadline is kept, so the first sample waits for the plant: the
    // microphones hear the scene, and its timeline plays, from the run's first sample.
    if (config_.clock == Clock::Free)
        settle();
    rewind();
    recorder_.waitWhenFull(config_.clock == Clock::Free); // no deadline there: lose no frame
    recordedRate_ = rate();
    if (!config_.recordPath.empty() && !recorder_.open(config_.recordPath, rate(), warning))
        warning = config_.recordPath + ": cannot be written (" + warning + "); not recording";
    openMonitor();
    thread_ = std::thread([this] { run(); });
    return true;
}

void BoardCore::rewind() {
    sampleCount_ = 0;
    overrunCount_ = 0;
    if (plant_) // the scene's timeline starts again with the counters
        plant_->seek(0);
    memory_.setSampleCount(0);
    memory_.setOverruns(0);
}

void BoardCore::stop() {
    if (thread_.joinable()) {
        stop_.store(true, std::memory_order_relaxed); // Relaxed: published by the bump.
        wake_.bump();
        thread_.join();
        stop_.store(false, std::memory_order_relaxed); // Relaxed: no thread reads it now.
    }
    if (monitor_) {
        std::fprintf(stderr, "Kesto32: monitor: %s\n", monitor_->summary().c_str());
        monitor_.reset();
    }
    if (recorder_.isOpen()) {
        recorder_.close();
        std::fprintf(stderr, "Kesto32: recording %s: %llu frames written of %u samples run, %llu dropped\n",
                     recorder_.path().c_str(), static_cast<unsigned long long>(recorder_.written()),
                     sampleCount_, static_cast<unsigned long long>(recorder_.dropped()));
    }
}

void BoardCore::step(std::uint32_t n) {
    if (!dsp_)
        return;
    swapPlant();
    for (std::uint32_t i = 0; i < n; ++i) {
        const Plant::Inputs in = plant_ ? plant_->sense() : Plant::Inputs{0, 0};
        const std::int32_t y = std::clamp(program_->sample(dsp_, in.detection, in.error),
                                          quiro::ConverterMin, quiro::ConverterMax);
        if (plant_)
            plant_->drive(y);
        recorder_.frame(in.detection, in.error, y);
        if (monitor_)
            monitor_->push(config_.listen == MonitorChannel::Error       ? in.error
                           : config_.listen == MonitorChannel::Detection ? in.detection
                                                                         : y);
        last_ = {in.detection, in.error, y};
    }
    sampleCount_ += n;
    memory_.setSampleCount(sampleCount_);
    program_->service(dsp_);
}

void BoardCore::openMonitor() {
    if (config_.listen == MonitorChannel::Off)
        return;
    if (config_.clock == Clock::Free) {
        std::fprintf(stderr, "Kesto32: KESTO32_LISTEN: the board runs on the free clock, faster "
                             "than sound plays; the monitor is off\n");
        return;
    }
    std::string why;
    monitor_ = AudioMonitor::open(rate(), config_.listenGainDb, why);
    if (!monitor_)
        std::fprintf(stderr, "Kesto32: KESTO32_LISTEN: no sound output (%s); running without "
                             "the monitor\n", why.c_str());
}

bool BoardCore::service() { return dsp_ && program_->service(dsp_) != 0; }

void BoardCore::run() {
    if (config_.clock == Clock::Free) {
        runFree();
        return;
    }
    // Ask for a real-time priority, as a converter's interrupt would have: other work on a busy
    // machine then delays a block less. Without the right to it, the thread runs as it is.
    sched_param param{};
    param.sched_priority = std::min(10, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    runRealTime();
}

void BoardCore::runFree() {
    // Relaxed: a flag polled between blocks; it publishes nothing.
    while (!stop_.load(std::memory_order_relaxed))
        step(blockSize());
}

void BoardCore::spinOnMailbox(Steady::time_point blockDue) {
    // The spin ends when the mailbox has been quiet for a while, and in any case when the next
    // block is due: a burst of commands never delays the samples.
    auto until = std::min(blockDue, Steady::now() + SpinAfterActivity);
    while (Steady::now() < until && !stop_.load(std::memory_order_relaxed)) {
        if (service())
            until = std::min(blockDue, Steady::now() + SpinAfterActivity);
    }
}

void BoardCore::runRealTime() {
    std::uint32_t seen = wake_.value();
    auto next = Steady::now();
    for (;;) {
        const std::uint32_t block = blockSize();
        const auto period = std::chrono::duration_cast<Steady::duration>(
            std::chrono::duration<double>(block / rate()));
        next += period;
        // One wait paces the clock and wakes on commands; a command is answered at once.
        for (;;) {
            if (wake_.value() == seen && !stop_.load(std::memory_order_relaxed))
                wake_.sleepUntil(seen, next);
            seen = wake_.value();
            if (stop_.load(std::memory_order_relaxed))
                return;
            if (Steady::now() >= next)
                break;
            if (service())
                spinOnMailbox(next);
        }
        const auto late = Steady::now() - next;
        step(block);
        if (late > FifoDepth) { // the converters' FIFO would have run dry
            overrunCount_ += block;
            memory_.setOverruns(overrunCount_);
        }
        if (late > GiveUpCatchingUp)
            next = Steady::now();
    }
}

} // namespace kesto
