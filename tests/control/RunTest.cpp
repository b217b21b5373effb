// The cancellation run: its order of commands, its pacing by the display timer, the modes and
// the stop, on the real window against the scripted fake board.

#include "ConsoleFixture.h"

#include <algorithm>

namespace quiro::test {
namespace {

using Commands = std::vector<std::int32_t>;

class Run : public ConsoleFixture {
protected:
    bool captureReady = true;

    Run() {
        form.C1Identified = -1;
        form.C2Identified = -1;
        form.enableGroup(Group::Quiro);
        board.onCommand = [this](std::int32_t code, FakeBoard &b) {
            if (code == 34)
                b.setLong(dspmem::CmdArg1, captureReady ? 0 : 1);
        };
    }
    // Runs a cancellation with the given script; the stop must come from the script.
    Commands run() {
        const std::size_t first = board.commands.size();
        click("BtnQuiro");
        return commandsFrom(first);
    }
    void tick() { op.TimerDispInterval_Timer(); }
    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            tick();
    }
    std::function<bool()> afterPasses(int count) { return after(Cmd::WFetch, count); }
};

TEST_F(Run, StartsWithoutCancellationFetchesWEveryPassAndEndsWithRunStop) {
    bool timerOn = false;
    QString captionDuring;
    at(afterPasses(3), [&] {
        timerOn = form.timerDispInterval().isActive();
        captionDuring = caption("BtnQuiro");
        EXPECT_EQ(enabledOperatingButtons(),
                  (std::set<std::string>{"BtnQuiro", "BtnWWide", "BtnWTele", "BtnMode0",
                                         "BtnMode1", "BtnMode2", "BtnMode3"}));
        click("BtnQuiro");
    });
    EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 10, 10, 10, 9}));
    EXPECT_TRUE(timerOn);
    EXPECT_EQ(captionDuring, QStringLiteral("消音終了"));
    EXPECT_EQ(caption("BtnQuiro"), QStringLiteral("消音開始"));
    EXPECT_FALSE(form.timerDispInterval().isActive());
    EXPECT_EQ(enabledOperatingButtons(),
              (std::set<std::string>{"BtnC1Ident", "BtnC1Clear", "BtnC2Ident", "BtnC2Clear",
                                     "BtnParamSet", "BtnQuiro", "BtnWClear"}));
    EXPECT_EQ(form.control<QLineEdit>("TextMode")->text(), QStringLiteral("消音無し"));
}

TEST_F(Run, AReadyCaptureIsFetchedAndRestartedAfterFiveTicks) {
    at(afterPasses(1), [&] { ticks(5); });
    at(afterPasses(2), [&] { click("BtnQuiro"); });
    const Commands seen = run();
    EXPECT_EQ(seen, (Commands{12, 17, 16, 33, 8, 10, 10, 34, 35, 36, 37, 33, 10, 9}));
    for (const char *pict : {"PictPrim", "PictError", "PictCtrl"})
        EXPECT_GT(form.control<PictureBox>(pict)->lines().size(), 2u) << pict;
}

TEST_F(Run, ACaptureNotYetCompleteIsAskedForAgainOneTickLater) {
    captureReady = false;
    at(afterPasses(1), [&] { ticks(5); });
    at(afterPasses(3), [&] { tick(); });
    at(afterPasses(4), [&] { click("BtnQuiro"); });
    // Pass 2 queries; pass 3 waits for the tick; pass 4 queries again; pass 5 waits.
    EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 10, 34, 10, 10, 34, 10, 9}));
}

TEST_F(Run, TheTimerCountsDownToZeroAndNoFurther) {
    op.DispCountdown = 1;
    tick();
    tick();
    EXPECT_EQ(op.DispCountdown, 0);
}

TEST_F(Run, OnlyTheLastOfTwoModeClicksInOnePassIsSentOnce) {
    at(afterPasses(1), [&] {
        click("BtnMode2");
        click("BtnMode1");
    });
    at(afterPasses(2), [&] { click("BtnQuiro"); });
    EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 10, 81, 10, 9}));
    EXPECT_EQ(form.control<QLineEdit>("TextMode")->text(), QStringLiteral("消音ﾓｰﾄﾞ1"));
}

TEST_F(Run, AModeClickedBeforeTheStopIsStillSentBeforeRunStop) {
    at(afterPasses(1), [&] {
        click("BtnMode3");
        click("BtnQuiro");
    });
    EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 10, 83, 9}));
}

TEST_F(Run, AModeClickedDuringTheModeCommandIsKeptForTheNextPass) {
    at(afterPasses(1), [&] { click("BtnMode1"); });
    at(during(Cmd::Mode1), [&] { click("BtnMode2"); });
    at(afterPasses(3), [&] { click("BtnQuiro"); });
    EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 10, 81, 10, 82, 10, 9}));
    EXPECT_EQ(form.control<QLineEdit>("TextMode")->text(), QStringLiteral("消音ﾓｰﾄﾞ2"));
    EXPECT_FALSE(board.overlapped);
}

TEST_F(Run, AStopWhileTheRunIsStartingIsHonoured) {
    for (Cmd during : {Cmd::SetParams, Cmd::LoadDFilter, Cmd::ModeOff}) {
        script.clear();
        at(this->during(during), [&] { click("BtnQuiro"); });
        EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 9}))
            << "stop during " << static_cast<int>(during);
        EXPECT_EQ(caption("BtnQuiro"), QStringLiteral("消音開始"));
        EXPECT_FALSE(form.timerDispInterval().isActive());
        EXPECT_EQ(op.QuiroActive, 0);
    }
}

TEST_F(Run, RefusedParametersStartNothingAndLeaveTheWindowAsItWas) {
    form.control<QLineEdit>("TextMode")->setText(QStringLiteral("消音ﾓｰﾄﾞ3"));
    form.control<QLineEdit>("TextWBeta")->setText(QStringLiteral("1e99"));
    const auto before = enabledOperatingButtons();
    EXPECT_TRUE(run().empty());
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(enabledOperatingButtons(), before);
    EXPECT_EQ(caption("BtnQuiro"), QStringLiteral("消音開始"));
    EXPECT_EQ(form.control<QLineEdit>("TextMode")->text(), QStringLiteral("消音ﾓｰﾄﾞ3"));
    EXPECT_EQ(op.QuiroActive, 0);
    EXPECT_FALSE(form.timerDispInterval().isActive());
}

TEST_F(Run, TheNextRunStartsWithoutCancellationWhateverWasChosenBefore) {
    at(afterPasses(1), [&] {
        click("BtnMode1");
        click("BtnQuiro");
    });
    run();
    script.clear();
    at(afterPasses(3), [&] { // the first run fetched W twice
        EXPECT_EQ(form.control<QLineEdit>("TextMode")->text(), QStringLiteral("消音無し"));
        click("BtnQuiro");
    });
    EXPECT_EQ(run(), (Commands{12, 17, 16, 33, 8, 10, 10, 9}));
}

} // namespace
} // namespace quiro::test
