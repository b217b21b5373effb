// The four-phase handshake and the word transfers, against the scripted fake board.

#include "FakeBoard.h"
#include "dsp/CommandLink.h"

#include <gtest/gtest.h>

namespace quiro {
namespace {

using test::FakeBoard;

// Every yield also asks for a command, which must be refused.
struct Handshake : ::testing::Test {
    FakeBoard board;
    int yields = 0;
    CommandLink link{board, [this] {
                         ++yields;
                         EXPECT_THROW(link.SendCommand(Cmd::IdentStop), std::logic_error);
                     }};
};

// Code, request, release; one yield before every read of CmdAck, with no time-out however late
// the ack; values other than the one awaited (shown by CmdAck until the DSP side answers) just
// continue the wait. A command asked for at any of those yields is refused and never posted, and
// leaves nothing in progress for the next.
TEST_F(Handshake, CompletesHoweverLateTheAckAndRefusesCommandsMeanwhile) {
    const struct { const char *name; int delay; std::uint32_t shown; int yields; } cases[] = {
        {"answered at once", 0, 0, 2},
        {"one read late", 1, 0, 4},
        {"five thousand reads late", 5000, 0, 10002},
        {"a stray 7 shown meanwhile", 2, 7, 6},
        {"all ones shown meanwhile", 2, 0xFFFFFFFFu, 6}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        board.ackAfterReads = c.delay;
        board.onCommand = [&c](std::int32_t, FakeBoard &b) { b.memory[dspmem::CmdAck] = c.shown; };
        board.writes.clear();
        yields = 0;
        link.SendCommand(Cmd::WClear);
        EXPECT_EQ(board.writes, (FakeBoard::Writes{{dspmem::CmdCode, 15}, {dspmem::CmdRequest, 1},
                                                   {dspmem::CmdRequest, 0}}));
        EXPECT_EQ(yields, c.yields);
    }
}

TEST_F(Handshake, WritesStopAtTheTransferBufferEnd) {
    for (int i = 0; i < dspmem::XferWords + 10; ++i)
        link.writeNextXfer(1.0f);
    EXPECT_EQ(board.writes.size(), static_cast<std::size_t>(dspmem::XferWords));
    EXPECT_EQ(board.writes.back().first, 0x80006FFCu);
}

} // namespace
} // namespace quiro
