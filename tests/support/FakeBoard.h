#pragma once
// An in-process stand-in for the board library, for unit tests. It keeps DSP memory as a map of
// words, logs every call, and plays the DSP program's side of the handshake: when the program
// posts a command it records the number, runs the test's handler (which may leave results in
// CmdArg1 or XferBuf), raises CmdAck after `ackAfterReads` reads, and lowers it again after the
// release.

#include "contract/BoardContract.h"
#include "dsp/Board.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quiro::test {

class FakeBoard : public Board {
public:
    using Writes = std::vector<std::pair<std::uint32_t, std::uint32_t>>; // address, word

    // Results of the operations that start-up tests.
    std::int32_t libenterResult = 0;
    std::int32_t loadcsResult = 0;
    std::int32_t runResult = 0;
    // Reads of CmdAck that still show the old state before the DSP side answers.
    int ackAfterReads = 0;
    // A getmem of this address fails and leaves the word as it was (0: none).
    std::uint32_t failingAddress = 0;
    // Runs when a command is taken, before CmdAck goes to 1.
    std::function<void(std::int32_t code, FakeBoard &)> onCommand;

    std::vector<std::string> calls;     // the operations called, in order, with their arguments
    std::vector<std::int32_t> commands; // command numbers taken, in order
    Writes writes;                      // every putmem, in order
    int reads = 0;                      // every getmem
    int xferReads = 0;                  // getmem calls inside XferBuf
    bool overlapped = false; // CmdCode was written while a command was in progress

    std::map<std::uint32_t, std::uint32_t> memory;

    std::uint32_t word(std::uint32_t address) const;
    void setLong(std::uint32_t address, std::int32_t v) { memory[address] = wordOfLong(v); }
    // Fills XferBuf words 0..values.size()-1.
    void fillXfer(const std::vector<float> &values);
    // The command currently in progress on the DSP side, or 0.
    std::int32_t current() const { return inProgress_ ? currentCode_ : 0; }

    std::int32_t libenter() override { return logged("Kesto_libenter", libenterResult); }
    std::int32_t libexit() override { return logged("Kesto_libexit", 0); }
    std::int32_t bdsel(std::int32_t board) override {
        return logged("Kesto_bdsel(" + std::to_string(board) + ")", 0);
    }
    std::int32_t bdinit() override { return logged("_Kesto_bdinit", 0); }
    std::int32_t loadcs(const std::string &path) override {
        return logged("_Kesto_loadcs(" + path + ")", loadcsResult);
    }
    std::int32_t run() override { return logged("_Kesto_run", runResult); }
    std::int32_t getmem(std::uint32_t address, std::uint32_t *word) override;
    std::int32_t putmem(std::uint32_t address, const std::uint32_t *word,
                        std::int32_t flag) override;

private:
    std::int32_t logged(std::string call, std::int32_t result) {
        calls.push_back(std::move(call));
        return result;
    }

    bool inProgress_ = false;
    bool released_ = false;
    std::int32_t currentCode_ = 0;
    int readsUntilAnswer_ = 0;
};

} // namespace quiro::test
