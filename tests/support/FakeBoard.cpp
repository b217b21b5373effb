#include "FakeBoard.h"

namespace quiro::test {

std::uint32_t FakeBoard::word(std::uint32_t address) const {
    auto it = memory.find(address);
    return it == memory.end() ? 0u : it->second;
}

void FakeBoard::fillXfer(const std::vector<float> &values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        memory[dspmem::XferBuf + 4 * static_cast<std::uint32_t>(i)] = wordOfSingle(values[i]);
}

std::int32_t FakeBoard::getmem(std::uint32_t address, std::uint32_t *out) {
    ++reads;
    if (address >= dspmem::XferBuf && address < dspmem::XferBuf + 4 * dspmem::XferWords)
        ++xferReads;
    if (address == failingAddress)
        return -1;
    if (address == dspmem::CmdAck && inProgress_) {
        if (readsUntilAnswer_ > 0) {
            --readsUntilAnswer_;
        } else if (!released_) {
            memory[dspmem::CmdAck] = 1;
        } else {
            memory[dspmem::CmdAck] = 0;
            inProgress_ = false;
        }
    }
    *out = word(address);
    return 0;
}

std::int32_t FakeBoard::putmem(std::uint32_t address, const std::uint32_t *in, std::int32_t) {
    writes.emplace_back(address, *in);
    if (address == dspmem::CmdCode && inProgress_)
        overlapped = true;
    memory[address] = *in;
    if (address == dspmem::CmdRequest && *in == 1) {
        inProgress_ = true;
        released_ = false;
        currentCode_ = longOfWord(word(dspmem::CmdCode));
        commands.push_back(currentCode_);
        if (onCommand)
            onCommand(currentCode_, *this);
        readsUntilAnswer_ = ackAfterReads;
    } else if (address == dspmem::CmdRequest && *in == 0 && inProgress_) {
        released_ = true;
        readsUntilAnswer_ = ackAfterReads;
    }
    return 0;
}

} // namespace quiro::test
