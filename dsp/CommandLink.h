#pragma once
// The command handshake with the DSP program and the word transfers around it.
//
// sendCommand posts a command number through the mailbox in four phases and waits for the DSP
// program's acknowledgement and release, calling the yield function before every read of CmdAck
// so that the window keeps handling events. There is no time-out.
//
// The handshake is not re-entrant: an event handled during a wait may itself ask for a command.
// Such a request is held and posted, in order, once the command in progress has ended; the
// nested call returns at once. A held command's results are therefore not available to the
// caller that asked for it, which is why only result-less commands should be requested from
// handlers that can run inside a wait.

#include "contract/BoardContract.h"
#include "dsp/Board.h"

#include <cstdint>
#include <deque>
#include <functional>

namespace quiro {

class CommandLink {
public:
    using Yield = std::function<void()>;

    CommandLink(Board &board, Yield yield);

    void sendCommand(Cmd code) { sendCommand(static_cast<std::int32_t>(code)); }
    void sendCommand(std::int32_t code);

    // True from the first write of a command until its release has been seen.
    bool commandInProgress() const { return inProgress_; }

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

    Board &board() { return board_; }

private:
    void post(std::int32_t code);
    void waitForAck(std::int32_t wanted);

    Board &board_;
    Yield yield_;
    bool inProgress_ = false;
    std::deque<std::int32_t> held_;
    std::int32_t xferOffset_ = 0;
};

} // namespace quiro
