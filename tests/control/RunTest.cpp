// The cancellation run: its order of commands, its pacing by the display timer, the modes and
// the stop, against the scripted fake board.

#include "ActivityFixture.h"

namespace quiro::test {
namespace {

using B = Button;

class Run : public ActivityFixture {
protected:
    bool captureReady = true;

    Run() {
        identifyBoth();
        board.onCommand = [this](std::int32_t code, FakeBoard &b) {
            if (code == 34)
                b.setLong(dspmem::CmdArg1, captureReady ? 0 : 1);
        };
    }
    // Runs a cancellation with the given script; the stop must come from the script.
    Commands run() {
        const auto first = static_cast<std::ptrdiff_t>(board.commands.size());
        passesBefore = taken(Cmd::WFetch);
        act.click(B::Quiro);
        return {board.commands.begin() + first, board.commands.end()};
    }
    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            act.TimerDispInterval_Timer();
    }
    // At a yield outside any command, once this run has fetched W `count` times.
    int passesBefore = 0;
    std::function<bool()> afterPasses(int count) {
        return [this, count] { return board.current() == 0 && taken(Cmd::WFetch) - passesBefore >= count; };
    }
};

TEST_F(Run, StartsWithoutCancellationFetchesWEveryPassAndEndsWithRunStop) {
    bool timerOn = false;
    QString captionDuring;
    at(afterPasses(3), [&] {
        timerOn = view.timer;
        captionDuring = view.caption[std::size_t(B::Quiro)];
        EXPECT_EQ(enabledButtons(), (Buttons{B::Quiro, B::WWide, B::WTele, B::Mode0, B::Mode1,
                                             B::Mode2, B::Mode3}));
        act.click(B::Quiro);
    });
    EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 10, 10, 10, 9}));
    EXPECT_TRUE(timerOn);
    EXPECT_EQ(captionDuring, QStringLiteral("消音終了"));
    EXPECT_EQ(view.caption[std::size_t(B::Quiro)], QStringLiteral("消音開始"));
    EXPECT_FALSE(view.timer);
    EXPECT_EQ(enabledButtons(), (Buttons{B::C1Ident, B::C1Clear, B::C2Ident, B::C2Clear,
                                         B::ParamSet, B::Quiro, B::WClear}));
    EXPECT_EQ(view.modeText, QStringLiteral("消音無し"));
}

// Five ticks after the start a ready capture is fetched, drawn and restarted (ticks beyond the
// fifth change nothing); one not yet complete is asked for again one tick later.
TEST_F(Run, ACaptureIsFetchedWhenReadyAndAskedForAgainOneTickLaterWhenNot) {
    const struct {
        bool ready;
        int ticksAtPass1, stopAtPass;
        Commands commands;
        int draws;
    } cases[] = {
        {true, 7, 2, {12, 17, 16, 33, 8, 10, 10, 34, 35, 36, 37, 33, 10, 9}, 1},
        // Pass 2 queries; pass 3 waits for the tick; pass 4 queries again; pass 5 waits.
        {false, 5, 4, {12, 17, 16, 33, 8, 10, 10, 34, 10, 10, 34, 10, 9}, 0},
    };
    for (const auto &c : cases) {
        captureReady = c.ready;
        script.clear();
        view.draws = {};
        at(afterPasses(1), [&] { ticks(c.ticksAtPass1); });
        at(afterPasses(3), [&] { ticks(1); });
        at(afterPasses(c.stopAtPass), [&] { act.click(B::Quiro); });
        EXPECT_EQ(run(), c.commands);
        for (Plot plot : {Plot::Prim, Plot::Error, Plot::Ctrl})
            EXPECT_EQ(view.draws[plotIndex(plot)], c.draws);
    }
}

// A mode click only records the mode: the last one recorded before a pass is sent once, by the
// pass; one clicked just before the stop still goes before 9; one clicked during the mode command
// is kept for the next pass.
TEST_F(Run, ModeClicksAreSentByTheNextPass) {
    const struct {
        std::vector<Button> atPass1;
        bool clickDuringMode1;
        int stopAtPass; // 0: with the clicks at pass 1
        Commands commands;
        const char *modeText;
    } cases[] = {
        {{B::Mode2, B::Mode1}, false, 2, {12, 17, 16, 33, 8, 10, 10, 81, 10, 9}, "消音ﾓｰﾄﾞ1"},
        {{B::Mode3}, false, 0, {12, 17, 16, 33, 8, 10, 10, 83, 9}, "消音ﾓｰﾄﾞ3"},
        {{B::Mode1}, true, 3, {12, 17, 16, 33, 8, 10, 10, 81, 10, 82, 10, 9}, "消音ﾓｰﾄﾞ2"},
    };
    for (const auto &c : cases) {
        script.clear();
        at(afterPasses(1), [&] {
            for (Button b : c.atPass1)
                act.click(b);
            if (c.stopAtPass == 0)
                act.click(B::Quiro);
        });
        if (c.clickDuringMode1)
            at(during(Cmd::Mode1), [&] { act.click(B::Mode2); });
        if (c.stopAtPass != 0)
            at(afterPasses(c.stopAtPass), [&] { act.click(B::Quiro); });
        EXPECT_EQ(run(), c.commands) << c.modeText;
        EXPECT_EQ(view.modeText, QString::fromUtf8(c.modeText));
        EXPECT_FALSE(board.overlapped);
    }
}

// After a run that ended in mode 3, refused parameters leave mode 3 shown; the next run starts
// without cancellation, whatever was chosen before.
TEST_F(Run, AfterRefusedParametersTheNextRunStartsWithoutCancellation) {
    at(afterPasses(1), [&] {
        act.click(B::Mode3);
        act.click(B::Quiro);
    });
    run();
    texts.wBeta = QStringLiteral("1e99");
    EXPECT_TRUE(run().empty());
    EXPECT_EQ(view.modeText, QStringLiteral("消音ﾓｰﾄﾞ3"));

    texts.wBeta = QStringLiteral("0.00001");
    script.clear();
    at(afterPasses(1), [&] {
        EXPECT_EQ(view.modeText, QStringLiteral("消音無し"));
        act.click(B::Quiro);
    });
    EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 10, 9}));
}

} // namespace
} // namespace quiro::test
