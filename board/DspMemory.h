#pragma once
// The board's DSP memory: the command mailbox, the transfer buffer and the board's own two
// counters, each word a lock-free atomic accessed sequentially consistently, so that a word the
// DSP program writes before clearing CmdAck is visible to the PC once it reads CmdAck as 0.
// Unmapped addresses read 0 and ignore writes.

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

    void setSampleCount(std::uint32_t n) { sampleCount_.store(n); }
    void setOverruns(std::uint32_t n) { overruns_.store(n); }
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
