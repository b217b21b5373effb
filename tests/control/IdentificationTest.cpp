// Identification of C1 and C2, clearing, the control groups and the operating states they move
// through, against the scripted fake board.

#include "ActivityFixture.h"

namespace quiro::test {
namespace {

using B = Button;
const Buttons idleNothingIdentified = {B::C1Ident, B::C1Clear, B::C2Ident, B::C2Clear, B::ParamSet};
const Buttons idleBothIdentified = {B::C1Ident,  B::C1Clear, B::C2Ident, B::C2Clear,
                                    B::ParamSet, B::Quiro,   B::WClear};

struct PathCase {
    Path path;
    Button ident;
    const char *startCaption;
    const char *stopCaption;
    Cmd start;
    Cmd fetch;
    Buttons whileIdentifying;
    friend void PrintTo(const PathCase &p, std::ostream *os) { *os << p.startCaption; }
};

const PathCase paths[] = {
    {Path::C1, B::C1Ident, "C1同定開始", "C1同定終了", Cmd::C1IdentStart, Cmd::C1Fetch,
     {B::C1Ident, B::C1Wide, B::C1Tele}},
    {Path::C2, B::C2Ident, "C2同定開始", "C2同定終了", Cmd::C2IdentStart, Cmd::C2Fetch,
     {B::C2Ident, B::C2Wide, B::C2Tele}},
};

class Identification : public ActivityFixture, public ::testing::WithParamInterface<PathCase> {
protected:
    QString caption(Button b) const { return view.caption[std::size_t(b)]; }
};

TEST_P(Identification, FetchesAndDrawsEveryPassUntilStoppedThenMarksThePath) {
    const PathCase &p = GetParam();
    Buttons during;
    QString captionDuring;
    at(after(p.fetch, 3), [&] {
        during = enabledButtons();
        captionDuring = caption(p.ident);
        act.click(p.ident);
    });
    act.click(p.ident);

    EXPECT_EQ(board.commands, (Commands{12, 17, 16, n(p.start), n(p.fetch), n(p.fetch),
                                        n(p.fetch), 7, n(p.fetch)}));
    EXPECT_EQ(view.draws[plotIndex(p.path == Path::C1 ? Plot::C1 : Plot::C2)], 4);
    EXPECT_EQ(during, p.whileIdentifying);
    EXPECT_EQ(captionDuring, QString::fromUtf8(p.stopCaption));
    EXPECT_EQ(caption(p.ident), QString::fromUtf8(p.startCaption));
    EXPECT_EQ(enabledButtons(), idleNothingIdentified);
    EXPECT_EQ(act.C1Identified + act.C2Identified, -1);
    EXPECT_FALSE(board.overlapped);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, Identification, ::testing::ValuesIn(paths),
                         [](const auto &info) { return info.param.path == Path::C1 ? "C1" : "C2"; });

class Operating : public ActivityFixture {
protected:
    void identify(Button button, Cmd start) {
        script.clear();
        at(after(start), [this, button] { act.click(button); });
        act.click(button);
    }
};

// Parameters the download refuses start no activity: nothing reaches the board and the buttons,
// captions and states stay as they were.
TEST_F(Operating, RefusedParametersStartNothingAndLeaveTheStatesAsTheyWere) {
    const std::pair<Button, const char *> starts[] = {
        {B::C1Ident, "C1同定開始"}, {B::C2Ident, "C2同定開始"}, {B::Quiro, "消音開始"}};
    identifyBoth();
    texts.cTapSize = QStringLiteral("abc");
    for (const auto &[button, caption] : starts) {
        const Buttons before = enabledButtons();
        messages.clear();
        act.click(button);
        EXPECT_TRUE(board.commands.empty() && board.dataWrites().empty()) << caption;
        EXPECT_EQ(messages.size(), 1u);
        EXPECT_EQ(enabledButtons(), before);
        EXPECT_EQ(view.caption[std::size_t(button)], QString::fromUtf8(caption));
        EXPECT_EQ(act.C1Identified + act.C2Identified, -2);
        EXPECT_EQ(act.identActive(Path::C1) + act.identActive(Path::C2) + act.QuiroActive, 0);
        EXPECT_FALSE(view.timer);
    }
}

TEST_F(Operating, CancellationBecomesAvailableOnlyOnceBothPathsAreIdentified) {
    EXPECT_EQ(enabledButtons(), idleNothingIdentified);
    identify(B::C1Ident, Cmd::C1IdentStart);
    EXPECT_EQ(enabledButtons(), idleNothingIdentified);
    identify(B::C2Ident, Cmd::C2IdentStart);
    EXPECT_EQ(enabledButtons(), idleBothIdentified);
    EXPECT_EQ(view.draws[plotIndex(Plot::C1)], 1) << "C2's identification leaves C1's plot alone";

    // Identifying again takes cancellation away for the duration only.
    Buttons during;
    script.clear();
    at(after(Cmd::C1IdentStart, 2), [&] {
        during = enabledButtons();
        act.click(B::C1Ident);
    });
    act.click(B::C1Ident);
    EXPECT_EQ(during, (Buttons{B::C1Ident, B::C1Wide, B::C1Tele}));
    EXPECT_EQ(enabledButtons(), idleBothIdentified);
}

TEST_F(Operating, ClearingAPathTakesCancellationAwayEmptiesItsPlotAndTellsTheDsp) {
    identifyBoth();
    act.click(B::WClear);
    EXPECT_EQ(enabledButtons(), idleBothIdentified) << "clearing W changes no state";
    act.click(B::C1Clear);
    EXPECT_EQ(act.C1Identified, 0);
    EXPECT_EQ(act.C2Identified, -1);
    EXPECT_EQ(enabledButtons(), idleNothingIdentified);
    act.click(B::C2Clear);
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
