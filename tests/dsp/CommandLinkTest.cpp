// The four-phase handshake and the word transfers, against the scripted fake board.

#include "FakeBoard.h"
#include "dsp/CommandLink.h"

#include <gtest/gtest.h>

namespace quiro {
namespace {

using test::FakeBoard;

struct Handshake : ::testing::Test {
    FakeBoard board;
    int yields = 0;
    std::function<void()> onYield;
    CommandLink link{board, [this] {
                         ++yields;
                         if (onYield)
                             onYield();
                     }};
};

// Code, request, release; one yield before every read of CmdAck: delay + 1 reads per phase, with
// no time-out however late the ack. A command asked for at any of those yields is refused and never
// posted, and leaves nothing in progress for the next.
TEST_F(Handshake, CompletesWhetherTheAckComesAtOnceOrLateAndRefusesCommandsMeanwhile) {
    onYield = [&] { EXPECT_THROW(link.SendCommand(Cmd::IdentStop), std::logic_error); };
    for (int delay : {0, 1, 5000}) {
        board.ackAfterReads = delay;
        board.writes.clear();
        yields = 0;
        link.SendCommand(Cmd::WClear);
        const std::pair<std::uint32_t, std::uint32_t> sent[] = {
            {dspmem::CmdCode, 15u}, {dspmem::CmdRequest, 1u}, {dspmem::CmdRequest, 0u}};
        ASSERT_EQ(board.writes.size(), std::size(sent));
        for (std::size_t i = 0; i < std::size(sent); ++i)
            EXPECT_EQ(std::pair(board.writes[i].address, board.writes[i].word), sent[i]);
        EXPECT_EQ(board.word(dspmem::CmdAck), 0u);
        EXPECT_EQ(yields, 2 * (delay + 1)) << "delay " << delay;
    }
    EXPECT_FALSE(board.overlapped);
    EXPECT_EQ(board.commands, (std::vector<std::int32_t>{15, 15, 15}));
}

// A DSP side that passes through other values keeps the PC waiting until it sees 1, then 0.
TEST_F(Handshake, ValuesOtherThanOneAndZeroJustContinueTheWait) {
    board.ackScript = {7, 0, 0xFFFFFFFFu, 1, 2, 1, 0xDEADu, 0};
    link.SendCommand(Cmd::C1Clear);
    // 7, 0, -1 wait; 1 ends phase 3 (4 reads); 2, 1, 0xDEAD wait; 0 ends phase 5 (4 reads).
    EXPECT_TRUE(board.ackScript.empty());
    EXPECT_EQ(yields, 8);
    EXPECT_EQ(board.word(dspmem::CmdRequest), 0u);
}

TEST_F(Handshake, WritesStopAtTheTransferBufferEnd) {
    for (int i = 0; i < dspmem::XferWords + 10; ++i)
        link.writeNextXfer(1.0f);
    EXPECT_EQ(board.writes.size(), static_cast<std::size_t>(dspmem::XferWords));
    EXPECT_EQ(board.writes.back().address, 0x80006FFCu);
}

} // namespace
} // namespace quiro
