#pragma once
// The board's DSP memory: the command mailbox, the transfer buffer and the board's own two
// counters, each word a lock-free atomic. Unmapped addresses read 0 and ignore writes.
//
// Memory order: every access of a word the PC can see is sequentially consistent, as the board
// library promises its callers. The handshake itself needs only release on the stores and
// acquire on the loads of CmdRequest and CmdAck (the words a side writes before raising or
// clearing its flag, the arguments and the transfer buffer, are then visible to the other side
// once it reads that flag); sequential consistency includes that and also orders the other words
// among themselves for tools that poll them. On x86 it costs a locked store, nothing on loads.

#include "contract/BoardContract.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace kesto {

namespace mem = quiro::dspmem;

class DspMemory {
public:
    static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
    static constexpr std::uint32_t MailboxWords = 9;
    static constexpr std::uint32_t XferWords = static_cast<std::uint32_t>(mem::XferWords);

    std::uint32_t load(std::uint32_t address) const;
    // Writes reach the mailbox and the transfer buffer only; the board's counters are read-only.
    void store(std::uint32_t address, std::uint32_t word);

    // Sequentially consistent, as every word the PC can read.
    void setSampleCount(std::uint32_t n) { sampleCount_.store(n, std::memory_order_seq_cst); }
    void setOverruns(std::uint32_t n) { overruns_.store(n, std::memory_order_seq_cst); }
    void clear();

private:
    std::atomic<std::uint32_t> *shared(std::uint32_t address);
    const std::atomic<std::uint32_t> *shared(std::uint32_t address) const;

    std::array<std::atomic<std::uint32_t>, MailboxWords> mailbox_{};
    std::array<std::atomic<std::uint32_t>, XferWords> xfer_{};
    std::atomic<std::uint32_t> sampleCount_{0};
    std::atomic<std::uint32_t> overruns_{0};
};

} // namespace kesto
