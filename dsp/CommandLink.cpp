#include "dsp/CommandLink.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace quiro {

namespace {
constexpr std::int32_t PutFlag = -1;
constexpr std::int32_t XferBytes = dspmem::XferWords * 4;
} // namespace

CommandLink::CommandLink(Board &board, Yield yield) : board_(board), yield_(std::move(yield)) {}

void CommandLink::getWord(std::uint32_t address, std::uint32_t &word) {
    board_.getmem(address, &word);
}

void CommandLink::putWord(std::uint32_t address, std::uint32_t word) {
    board_.putmem(address, &word, PutFlag);
}

void CommandLink::SendCommand(std::int32_t code) {
    if (inProgress_)
        throw std::logic_error("command " + std::to_string(code) +
                               " asked for while another command is in progress");
    post(code);
}

void CommandLink::post(std::int32_t code) {
    inProgress_ = true;
    putLong(dspmem::CmdCode, code);
    putLong(dspmem::CmdRequest, 1);
    waitForAck(1);
    putLong(dspmem::CmdRequest, 0);
    waitForAck(0);
    inProgress_ = false;
}

void CommandLink::waitForAck(std::int32_t wanted) {
    // Any value other than the one awaited just continues the wait.
    std::uint32_t ack = ~wordOfLong(wanted);
    do {
        yield_();
        getWord(dspmem::CmdAck, ack);
    } while (longOfWord(ack) != wanted);
}

void CommandLink::readNextXfer(float &value) {
    if (xferOffset_ >= 0 && xferOffset_ < XferBytes) {
        std::uint32_t word = wordOfSingle(value);
        getWord(dspmem::XferBuf + static_cast<std::uint32_t>(xferOffset_), word);
        value = singleOfWord(word);
    }
    xferOffset_ += 4;
}

void CommandLink::writeNextXfer(float value) {
    if (xferOffset_ >= 0 && xferOffset_ < XferBytes)
        putSingle(dspmem::XferBuf + static_cast<std::uint32_t>(xferOffset_), value);
    xferOffset_ += 4;
}

} // namespace quiro
