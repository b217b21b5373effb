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

std::uint32_t DspMemory::load(std::uint32_t address) const {
    if (address == mem::SampleCount)
        return sampleCount_.load();
    if (address == mem::Overruns)
        return overruns_.load();
    const auto *w = shared(address);
    return w ? w->load() : 0;
}

void DspMemory::store(std::uint32_t address, std::uint32_t word) {
    if (auto *w = shared(address))
        w->store(word);
}

void DspMemory::clear() {
    for (auto &w : mailbox_)
        w.store(0);
    for (auto &w : xfer_)
        w.store(0);
    sampleCount_.store(0);
    overruns_.store(0);
}

} // namespace kesto
