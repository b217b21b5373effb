#include "board/DspMemory.h"

#include <utility>

namespace kesto {

const std::atomic<std::uint32_t> *DspMemory::shared(std::uint32_t address) const {
    if (address % 4 != 0)
        return nullptr;
    if (address >= mem::CmdRequest && address < mem::CmdRequest + 4 * MailboxWords)
        return &mailbox_[(address - mem::CmdRequest) / 4];
    if (address >= mem::XferBuf && address < mem::XferBuf + 4 * XferWords)
        return &xfer_[(address - mem::XferBuf) / 4];
    return nullptr;
}

std::atomic<std::uint32_t> *DspMemory::shared(std::uint32_t address) {
    return const_cast<std::atomic<std::uint32_t> *>(std::as_const(*this).shared(address));
}

// Sequentially consistent, as every word the PC can read and write (see DspMemory.h).
std::uint32_t DspMemory::load(std::uint32_t address) const {
    if (address == mem::SampleCount)
        return sampleCount_.load(std::memory_order_seq_cst);
    if (address == mem::Overruns)
        return overruns_.load(std::memory_order_seq_cst);
    const auto *w = shared(address);
    return w ? w->load(std::memory_order_seq_cst) : 0;
}

void DspMemory::store(std::uint32_t address, std::uint32_t word) {
    if (auto *w = shared(address))
        w->store(word, std::memory_order_seq_cst);
}

void DspMemory::clear() {
    // Relaxed: cleared while no thread runs the program; the thread's start publishes it.
    for (auto &w : mailbox_)
        w.store(0, std::memory_order_relaxed);
    for (auto &w : xfer_)
        w.store(0, std::memory_order_relaxed);
    sampleCount_.store(0, std::memory_order_relaxed);
    overruns_.store(0, std::memory_order_relaxed);
}

} // namespace kesto
