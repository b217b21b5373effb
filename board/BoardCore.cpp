#include "board/BoardCore.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

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

} // namespace

BoardCore::BoardCore(BoardConfig config) : config_(std::move(config)) {
    host_.ctx = this;
    host_.getmem = &hostGet;
    host_.putmem = &hostPut;
    host_.set_rate = [](void *ctx, double hz) { static_cast<BoardCore *>(ctx)->setRate(hz); };
}

BoardCore::~BoardCore() { detach(); }

void BoardCore::pcPut(std::uint32_t address, std::uint32_t word) {
    memory_.store(address, word);
    if (address != mem::CmdRequest)
        return;
    // When the program is between blocks, let it look at the mailbox right here: the PC need
    // not wait for the sample thread to be scheduled. Otherwise wake the thread, which looks at
    // the mailbox after its block.
    {
        std::unique_lock program(programMutex_, std::try_to_lock);
        if (program.owns_lock() && dsp_) {
            program_->service(dsp_);
            return;
        }
    }
    {
        std::lock_guard lock(mutex_);
        ++mailboxSeq_;
    }
    wake_.notify_one();
}

bool BoardCore::attach(const KestoDspProgram *program) {
    detach();
    if (!program)
        return false;
    std::lock_guard lock(programMutex_);
    void *dsp = program->create(&host_, config_.seed);
    if (!dsp)
        return false;
    program_ = program;
    dsp_ = dsp;
    rate_ = 0;
    setRate(program->rate(dsp));
    if (!plant_) { // no plant at the program's rate
        program->destroy(dsp);
        program_ = nullptr;
        dsp_ = nullptr;
        return false;
    }
    return true;
}

void BoardCore::detach() {
    stop();
    std::lock_guard lock(programMutex_);
    if (dsp_)
        program_->destroy(dsp_);
    dsp_ = nullptr;
    program_ = nullptr;
    plant_.reset();
}

void BoardCore::setRate(double hz) {
    if (!(hz > 0) || hz == rate_.load())
        return;
    std::string error;
    const auto scene = sceneAt(config_.scene, hz, error);
    if (!scene) { // the board keeps the previous rate and plant
        std::fprintf(stderr, "Kesto32: the scene cannot run at %g Hz: %s\n", hz, error.c_str());
        return;
    }
    rate_.store(hz);
    plant_ = std::make_unique<Plant>(*scene, hz, config_.seed);
    if (recorder_.isOpen())
        recorder_.open(config_.recordPath, hz); // a new rate starts the file again
}

std::uint32_t BoardCore::blockSize() const {
    // A millisecond of samples: fine enough for prompt commands, coarse enough to sleep.
    return static_cast<std::uint32_t>(std::max(1.0, std::round(rate_.load() / 1000.0)));
}

bool BoardCore::start() {
    if (!dsp_)
        return false;
    stop();
    sampleCount_ = 0;
    overrunCount_ = 0;
    memory_.setSampleCount(0);
    memory_.setOverruns(0);
    if (!config_.recordPath.empty() && !recorder_.open(config_.recordPath, rate_.load()))
        std::fprintf(stderr, "Kesto32: %s: cannot be written; not recording\n",
                     config_.recordPath.c_str());
    thread_ = std::thread([this] { run(); });
    return true;
}

void BoardCore::stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_.store(true);
        }
        wake_.notify_one();
        thread_.join();
        stop_.store(false);
    }
    recorder_.close();
}

void BoardCore::step(std::uint32_t n) {
    std::lock_guard program(programMutex_);
    if (!dsp_)
        return;
    for (std::uint32_t i = 0; i < n; ++i) {
        const Plant::Inputs in = plant_->sense();
        const std::int32_t y =
            std::clamp(program_->sample(dsp_, in.detection, in.error), -2048, 2047);
        plant_->drive(y);
        recorder_.frame(in.detection, in.error, y);
        last_ = {in.detection, in.error, y};
    }
    sampleCount_ += n;
    memory_.setSampleCount(sampleCount_);
    program_->service(dsp_);
}

bool BoardCore::service() {
    std::lock_guard program(programMutex_);
    return dsp_ && program_->service(dsp_) != 0;
}

void BoardCore::run() {
    if (config_.clock == Clock::Free)
        runFree();
    else
        runRealTime();
}

void BoardCore::runFree() {
    while (!stop_.load())
        step(blockSize());
}

void BoardCore::spinOnMailbox() {
    auto until = Steady::now() + SpinAfterActivity;
    while (Steady::now() < until && !stop_.load()) {
        if (service())
            until = Steady::now() + SpinAfterActivity;
    }
}

void BoardCore::runRealTime() {
    std::uint64_t seen = 0;
    auto next = Steady::now();
    while (!stop_.load()) {
        const std::uint32_t block = blockSize();
        const auto period = std::chrono::duration_cast<Steady::duration>(
            std::chrono::duration<double>(block / rate_.load()));
        next += period;
        // One wait paces the clock and wakes on commands; a command is answered at once.
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                wake_.wait_until(lock, next, [&] { return stop_.load() || mailboxSeq_ != seen; });
                seen = mailboxSeq_;
            }
            if (stop_.load())
                return;
            if (Steady::now() >= next)
                break;
            if (service())
                spinOnMailbox();
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
