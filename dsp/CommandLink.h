#pragma once
// The command handshake with the DSP program and the word transfers around it.
//
// SendCommand posts a command number through the mailbox in four phases and waits for the DSP
// program's acknowledgement and release, calling the yield function before every read of CmdAck
// so that the window keeps handling events. There is no time-out.
//
// The handshake is not re-entrant. Events handled during a wait must not ask for a command: the
// click handlers defer any click that would start a command sequence until the activity in
// progress has ended. A request made during a wait is refused with std::logic_error rather than
// posted over the command in progress or returned from as if it had been sent.

#include "contract/BoardContract.h"
#include "dsp/Board.h"

#include <cstdint>
#include <functional>

namespace quiro {

class CommandLink {
public:
    using Yield = std::function<void()>;

    CommandLink(Board &board, Yield yield);

    void SendCommand(Cmd code) { SendCommand(static_cast<std::int32_t>(code)); }
    void SendCommand(std::int32_t code);

    // One-word accesses. getWord leaves `word` untouched when the read fails.
    void getWord(std::uint32_t address, std::uint32_t &word);
    void putWord(std::uint32_t address, std::uint32_t word);
    void putLong(std::uint32_t address, std::int32_t value) { putWord(address, wordOfLong(value)); }
    void putSingle(std::uint32_t address, float value) { putWord(address, wordOfSingle(value)); }

    // The transfer buffer, walked through XferOffset (a byte offset shared by every transfer).
    // Transfers never yield, so two of them never interleave.
    std::int32_t xferOffset() const { return xferOffset_; }
    void rewindXfer() { xferOffset_ = 0; }
    // Reads the word at XferBuf + XferOffset into `value` (untouched if the read fails) and
    // advances XferOffset by one word. Reading past the buffer's end reads nothing.
    void readNextXfer(float &value);
    // Writes `value` to XferBuf + XferOffset and advances XferOffset by one word.
    void writeNextXfer(float value);

private:
    void post(std::int32_t code);
    void waitForAck(std::int32_t wanted);

    Board &board_;
    Yield yield_;
    bool inProgress_ = false;
    std::int32_t xferOffset_ = 0;
};

} // namespace quiro
