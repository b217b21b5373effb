// The cancellation run's passes: the capture, paced by the display timer, and the modes the
// operator chooses, against the scripted fake board.

#include "ActivityFixture.h"

namespace quiro::test {
namespace {

using CancellationRun = ActivityFixture;

// Five ticks after the start a ready capture is fetched, drawn and restarted (ticks beyond the
// fifth change nothing); one not yet complete is asked for again one tick later. A mode click only
// records the mode: the last one recorded before a pass is sent once, by the pass; one clicked
// just before the stop still goes before 9; one clicked during the mode command is kept for the
// next pass.
TEST_F(CancellationRun, EachPassFetchesAReadyCaptureAndSendsTheModeClickedLast) {
    const struct {
        const char *name;
        bool ready;
        int ticks[2]; // display ticks after passes 1 and 3
        std::vector<Button> atPass1;
        bool clickDuringMode1;
        int stopAtPass; // 1: with the clicks at pass 1
        Commands commands;
        int draws;
        const char *modeText;
    } cases[] = {
        // Pass 2 queries; pass 3 waits for the tick; pass 4 queries again; pass 5 waits.
        {"captures never ready", false, {5, 1}, {}, false, 4, {12, 17, 16, 33, 8, 10, 10, 34, 10, 10, 34, 10, 9}, 0, "消音無し"},
        {"two modes clicked, the last sent", true, {}, {B::Mode2, B::Mode1}, false, 2, {12, 17, 16, 33, 8, 10, 10, 81, 10, 9}, 0,
         "消音ﾓｰﾄﾞ1"},
        {"a mode clicked with the stop", true, {}, {B::Mode3}, false, 1, {12, 17, 16, 33, 8, 10, 10, 83, 9}, 0, "消音ﾓｰﾄﾞ3"},
        {"a mode clicked while one is sent", true, {}, {B::Mode1}, true, 3, {12, 17, 16, 33, 8, 10, 10, 81, 10, 82, 10, 9}, 0,
         "消音ﾓｰﾄﾞ2"},
        // Last, as a run starts showing no cancellation whatever the run before showed.
        {"a capture fetched after its ticks", true, {4, 3}, {}, false, 4,
         {12, 17, 16, 33, 8, 10, 10, 10, 10, 34, 35, 36, 37, 33, 10, 9}, 1, "消音無し"},
    };
    identifyBoth();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        board.onCommand = [&c](std::int32_t code, FakeBoard &b) {
            if (code == n(Cmd::CaptureQuery))
                b.setLong(dspmem::CmdArg1, c.ready ? 0 : 1);
        };
        script.clear();
        board.commands.clear(); // so that after() counts this run's passes
        view.draws = {};
        auto tick = [this](int count) {
            for (int i = 0; i < count; ++i)
                act.TimerDispInterval_Timer();
        };
        at(after(Cmd::WFetch, 1), [&] {
            tick(c.ticks[0]);
            for (Button b : c.atPass1)
                act.click(b);
        });
        at(after(Cmd::WFetch, 3), [&] { tick(c.ticks[1]); });
        if (c.clickDuringMode1)
            at(during(Cmd::Mode1), [&] { act.click(B::Mode2); });
        at(after(Cmd::WFetch, c.stopAtPass), [&] { act.click(B::Quiro); });
        act.click(B::Quiro);
        EXPECT_EQ(board.commands, c.commands) << c.modeText;
        EXPECT_EQ(view.modeText, QString::fromUtf8(c.modeText));
        for (Plot plot : {Plot::Prim, Plot::Error, Plot::Ctrl})
            EXPECT_EQ(view.draws[plotIndex(plot)], c.draws);
    }
}

} // namespace
} // namespace quiro::test
