// The activities' operating states: identification of C1 and C2 and the run, clearing, refused
// parameters and the control groups, against the scripted fake board.

#include "ActivityFixture.h"

namespace quiro::test {
namespace {

const Buttons idleNothingIdentified = {B::C1Ident, B::C1Clear, B::C2Ident, B::C2Clear, B::ParamSet};
const Buttons idleBothIdentified = {B::C1Ident,  B::C1Clear, B::C2Ident, B::C2Clear,
                                    B::ParamSet, B::Quiro,   B::WClear};

// An activity its button stops at the yield after its third pass; a fourth pass ends it.
struct ActivityCase {
    const char *name;
    Button button;
    std::int16_t c2Before; // C1 is identified before every case
    Commands commands;
    Buttons during;
    const char *stopCaption, *startCaption;
    Cmd fetch; // once a pass
    Plot plot; // drawn by every pass
    friend void PrintTo(const ActivityCase &c, std::ostream *os) { *os << c.name; }
};

const ActivityCase activityCases[] = {
    // Both paths identified: identifying takes cancellation away for the duration only.
    {"C1Identification", B::C1Ident, -1, {12, 17, 16, 1, 2, 2, 2, 7, 2},
     {B::C1Ident, B::C1Wide, B::C1Tele}, "C1同定終了", "C1同定開始", Cmd::C1Fetch, Plot::C1},
    // Only C1 identified: identifying C2 makes cancellation available.
    {"C2Identification", B::C2Ident, 0, {12, 17, 16, 4, 5, 5, 5, 7, 5},
     {B::C2Ident, B::C2Wide, B::C2Tele}, "C2同定終了", "C2同定開始", Cmd::C2Fetch, Plot::C2},
    // Starts without cancellation and ends with the run's stop.
    {"Cancellation", B::Quiro, -1, {12, 17, 16, 33, 8, 10, 10, 10, 10, 9},
     {B::Quiro, B::WWide, B::WTele, B::Mode0, B::Mode1, B::Mode2, B::Mode3}, "消音終了", "消音開始",
     Cmd::WFetch, Plot::W},
};

class Activity : public ActivityFixture, public ::testing::WithParamInterface<ActivityCase> {};

TEST_P(Activity, OffersOnlyItsOwnButtonsUntilStoppedThenReturnsToIdle) {
    const ActivityCase &c = GetParam();
    act.C1Identified = -1;
    act.C2Identified = c.c2Before;
    act.enableGroup(Group::Quiro);
    Buttons during;
    QString captionDuring;
    bool timerDuring = false;
    at(after(c.fetch, 3), [&] {
        during = enabledButtons();
        captionDuring = view.caption[std::size_t(c.button)];
        timerDuring = view.timer;
        act.click(c.button);
    });
    act.click(c.button);

    EXPECT_EQ(board.commands, c.commands);
    EXPECT_EQ(view.draws[plotIndex(c.plot)], 4);
    EXPECT_EQ(during, c.during);
    EXPECT_EQ(captionDuring, QString::fromUtf8(c.stopCaption));
    EXPECT_EQ(timerDuring, c.button == B::Quiro) << "only the run paces itself by the timer";
    EXPECT_EQ(view.caption[std::size_t(c.button)], QString::fromUtf8(c.startCaption));
    EXPECT_EQ(enabledButtons(), idleBothIdentified);
}

INSTANTIATE_TEST_SUITE_P(Activities, Activity, ::testing::ValuesIn(activityCases),
                         [](const auto &info) { return std::string(info.param.name); });

using Operating = ActivityFixture;

// Parameters the download refuses start no activity: nothing reaches the board, and the buttons,
// captions, states and the mode shown (mode 3, from the run before) stay as they were.
TEST_F(Operating, RefusedParametersStartNothingAndLeaveTheStatesAsTheyWere) {
    const std::pair<Button, const char *> starts[] = {
        {B::C1Ident, "C1同定開始"}, {B::C2Ident, "C2同定開始"}, {B::Quiro, "消音開始"}};
    identifyBoth();
    at(after(Cmd::WFetch), [&] {
        act.click(B::Mode3);
        act.click(B::Quiro);
    });
    act.click(B::Quiro);
    board.writes.clear();
    texts.cTapSize = QStringLiteral("abc");
    for (const auto &[button, caption] : starts) {
        const Buttons before = enabledButtons();
        messages.clear();
        act.click(button);
        EXPECT_TRUE(board.writes.empty()) << caption; // a command is a write too
        EXPECT_EQ(messages.size(), 1u);
        EXPECT_EQ(enabledButtons(), before);
        EXPECT_EQ(view.caption[std::size_t(button)], QString::fromUtf8(caption));
        EXPECT_EQ(view.modeText, QStringLiteral("消音ﾓｰﾄﾞ3"));
        EXPECT_EQ(act.C1Identified + act.C2Identified, -2);
        EXPECT_EQ(act.identActive(Path::C1) + act.identActive(Path::C2) + act.QuiroActive, 0);
        EXPECT_FALSE(view.timer);
    }
}

// Clearing a path takes cancellation away, empties its plot and tells the DSP; clearing W changes
// no state. A click that would start a command sequence while another's command is in progress
// runs after it, once however often it was clicked, and only if its button is still enabled then.
TEST_F(Operating, ClearsTakeCancellationAwayAndClicksMeanwhileRunAfterOnceIfStillEnabled) {
    identifyBoth();
    act.click(B::WClear);
    EXPECT_EQ(enabledButtons(), idleBothIdentified);
    at(during(Cmd::C1Clear), [&] {
        EXPECT_EQ(act.C2Identified, -1);
        for (Button b : {B::WClear, B::Quiro, B::C2Clear, B::C2Clear}) // clearing C1 closed W and run
            act.click(b);
    });
    act.click(B::C1Clear);
    EXPECT_EQ(act.C1Identified + act.C2Identified, 0);
    EXPECT_EQ(enabledButtons(), idleNothingIdentified);
    act.click(B::C1Clear); // with nothing identified it still clears and sends
    EXPECT_EQ(board.commands, (Commands{15, 13, 14, 13}));
    EXPECT_EQ(view.clears[plotIndex(Plot::C1)], 2);
    EXPECT_EQ(view.clears[plotIndex(Plot::C2)], 1);
    EXPECT_EQ(view.clears[plotIndex(Plot::W)], 1);
}

// The Quiro group opens only when both paths are identified (only -1 counts as True); asked to
// open when they are not, it closes.
TEST_F(Operating, TheQuiroGroupOpensOnlyWhenBothPathsAreIdentified) {
    const std::tuple<std::int16_t, std::int16_t, bool> flags[] = {
        {-1, -1, true}, {-1, 0, false}, {-1, -1, true}, {0, -1, false},
        {-1, -1, true}, {1, -1, false}, {0, 0, false}};
    for (const auto &[c1, c2, opens] : flags) {
        act.C1Identified = c1;
        act.C2Identified = c2;
        act.enableGroup(Group::Quiro);
        EXPECT_EQ(enabledButtons().count(B::Quiro) + enabledButtons().count(B::WClear),
                  opens ? 2u : 0u) << c1 << " " << c2;
    }
}

} // namespace
} // namespace quiro::test
