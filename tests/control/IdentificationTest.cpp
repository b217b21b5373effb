// Identification of C1 and C2, clearing, and the operating states they move through, on the real
// window against the scripted fake board.

#include "ConsoleFixture.h"
#include "params/DlgParameter.h"

#include <QTimer>

#include <algorithm>

namespace quiro::test {
namespace {

using Commands = std::vector<std::int32_t>;
using Buttons = std::set<std::string>;

const Buttons idleNothingIdentified = {"BtnC1Ident", "BtnC1Clear", "BtnC2Ident", "BtnC2Clear",
                                       "BtnParamSet"};
const Buttons idleBothIdentified = {"BtnC1Ident", "BtnC1Clear", "BtnC2Ident", "BtnC2Clear",
                                    "BtnParamSet", "BtnQuiro",   "BtnWClear"};

struct PathCase {
    const char *ident;
    const char *startCaption;
    const char *stopCaption;
    Cmd start;
    Cmd fetch;
    Buttons whileIdentifying;
    friend void PrintTo(const PathCase &p, std::ostream *os) { *os << p.ident; }
};

const PathCase paths[] = {
    {"BtnC1Ident", "C1同定開始", "C1同定終了", Cmd::C1IdentStart, Cmd::C1Fetch,
     {"BtnC1Ident", "BtnC1Wide", "BtnC1Tele"}},
    {"BtnC2Ident", "C2同定開始", "C2同定終了", Cmd::C2IdentStart, Cmd::C2Fetch,
     {"BtnC2Ident", "BtnC2Wide", "BtnC2Tele"}},
};

constexpr std::int32_t n(Cmd c) { return static_cast<std::int32_t>(c); }

class Identification : public ConsoleFixture, public ::testing::WithParamInterface<PathCase> {};

TEST_P(Identification, FetchesAndDrawsEveryPassUntilStoppedThenMarksThePath) {
    const PathCase &p = GetParam();
    Buttons during;
    QString captionDuring;
    at(after(p.fetch, 3), [&] {
        during = enabledOperatingButtons();
        captionDuring = caption(p.ident);
        click(p.ident);
    });
    click(p.ident);

    EXPECT_EQ(board.commands,
              (Commands{12, 17, 16, n(p.start), n(p.fetch), n(p.fetch), n(p.fetch), 7,
                        n(p.fetch)}));
    EXPECT_EQ(during, p.whileIdentifying);
    EXPECT_EQ(captionDuring, QString::fromUtf8(p.stopCaption));
    EXPECT_EQ(caption(p.ident), QString::fromUtf8(p.startCaption));
    EXPECT_EQ(enabledOperatingButtons(), idleNothingIdentified);
    EXPECT_EQ(form.C1Identified + form.C2Identified, -1);
    EXPECT_FALSE(board.overlapped);
}

TEST_P(Identification, AStopAtTheFirstYieldStillFetchesOnce) {
    const PathCase &p = GetParam();
    at(after(p.start), [&] { click(p.ident); });
    click(p.ident);
    EXPECT_EQ(board.commands, (Commands{12, 17, 16, n(p.start), 7, n(p.fetch)}));
    EXPECT_EQ(form.C1Identified + form.C2Identified, -1);
}

TEST_P(Identification, AStopDuringACommandWaitsForTheLoopAndEndsWithOneLastFetch) {
    const PathCase &p = GetParam();
    for (Cmd during : {p.fetch, Cmd::SetParams, Cmd::LoadDFilter, p.start}) {
        const std::size_t first = board.commands.size();
        script.clear();
        at(this->during(during), [&] { click(p.ident); });
        click(p.ident);
        const Commands seen = commandsFrom(first);
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen[seen.size() - 2], 7) << "stop during " << n(during);
        EXPECT_EQ(seen.back(), n(p.fetch)) << "stop during " << n(during);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 7), 1);
        EXPECT_LT(std::find(seen.begin(), seen.end(), n(p.start)) - seen.begin(),
                  std::find(seen.begin(), seen.end(), 7) - seen.begin());
        EXPECT_FALSE(board.overlapped);
        EXPECT_EQ(caption(p.ident), QString::fromUtf8(p.startCaption));
    }
}

TEST_P(Identification, RefusedParametersStartNothingAndLeaveTheWindowAsItWas) {
    const PathCase &p = GetParam();
    form.control<QLineEdit>("TextCTapSize")->setText(QStringLiteral("abc"));
    const Buttons before = enabledOperatingButtons();
    click(p.ident);
    EXPECT_TRUE(board.commands.empty());
    EXPECT_TRUE(board.dataWrites().empty());
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(enabledOperatingButtons(), before);
    EXPECT_EQ(caption(p.ident), QString::fromUtf8(p.startCaption));
    EXPECT_EQ(form.C1Identified, 0);
    EXPECT_EQ(form.C2Identified, 0);
    EXPECT_EQ(op.identActive(Path::C1) + op.identActive(Path::C2), 0);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, Identification, ::testing::ValuesIn(paths),
                         [](const auto &info) { return std::string(info.param.ident + 3); });

class Operating : public ConsoleFixture {
protected:
    void identify(const char *button, Cmd start) {
        script.clear();
        at(after(start), [this, button] { click(button); });
        click(button);
    }
};

TEST_F(Operating, CancellationBecomesAvailableOnlyOnceBothPathsAreIdentified) {
    identify("BtnC1Ident", Cmd::C1IdentStart);
    EXPECT_EQ(enabledOperatingButtons(), idleNothingIdentified);
    identify("BtnC2Ident", Cmd::C2IdentStart);
    EXPECT_EQ(enabledOperatingButtons(), idleBothIdentified);

    // Identifying again takes cancellation away for the duration only.
    Buttons during;
    script.clear();
    at(after(Cmd::C1IdentStart, 2), [&] {
        during = enabledOperatingButtons();
        click("BtnC1Ident");
    });
    click("BtnC1Ident");
    EXPECT_EQ(during, (Buttons{"BtnC1Ident", "BtnC1Wide", "BtnC1Tele"}));
    EXPECT_EQ(enabledOperatingButtons(), idleBothIdentified);
}

TEST_F(Operating, ClearingAPathTakesCancellationAwayEmptiesItsPlotAndTellsTheDsp) {
    identify("BtnC1Ident", Cmd::C1IdentStart);
    identify("BtnC2Ident", Cmd::C2IdentStart);
    auto *pict = form.control<PictureBox>("PictC1");
    ASSERT_GT(pict->lines().size(), 2u); // the trace of the last fetch

    const std::size_t first = board.commands.size();
    click("BtnC1Clear");
    EXPECT_EQ(commandsFrom(first), (Commands{13}));
    EXPECT_EQ(form.C1Identified, 0);
    EXPECT_EQ(form.C2Identified, -1);
    EXPECT_EQ(pict->lines().size(), 2u); // the two axes only
    EXPECT_EQ(enabledOperatingButtons(), idleNothingIdentified);

    click("BtnC2Clear");
    click("BtnC1Clear"); // with nothing identified it still clears and sends
    EXPECT_EQ(commandsFrom(first), (Commands{13, 14, 13}));
}

TEST_F(Operating, ClearingWChangesNoState) {
    identify("BtnC1Ident", Cmd::C1IdentStart);
    identify("BtnC2Ident", Cmd::C2IdentStart);
    const std::size_t first = board.commands.size();
    click("BtnWClear");
    EXPECT_EQ(commandsFrom(first), (Commands{15}));
    EXPECT_EQ(enabledOperatingButtons(), idleBothIdentified);
}

TEST_F(Operating, DuringC2IdentificationTheC1PlotIsLeftAlone) {
    identify("BtnC1Ident", Cmd::C1IdentStart);
    const auto c1Lines = form.control<PictureBox>("PictC1")->lines().size();
    identify("BtnC2Ident", Cmd::C2IdentStart);
    EXPECT_EQ(form.control<PictureBox>("PictC1")->lines().size(), c1Lines);
}

TEST_F(Operating, ATapCountChangedInTheDialogReachesTheDspAtTheNextIdentification) {
    ParameterSetting setting(form);
    QTimer::singleShot(0, [&] { // inside the modal dialog's own event loop
        DlgParameter *dialog = setting.dialog();
        dialog->findChild<QLineEdit *>(QStringLiteral("TextCTapSize"))->setText("128");
        dialog->findChild<QPushButton *>(QStringLiteral("OKButton"))->click();
    });
    click("BtnParamSet");
    EXPECT_TRUE(board.commands.empty()); // the dialog itself sends nothing

    identify("BtnC1Ident", Cmd::C1IdentStart);
    ASSERT_FALSE(board.dataWrites().empty());
    EXPECT_EQ(board.dataWrites().front().address, dspmem::CmdArg1);
    EXPECT_EQ(board.dataWrites().front().word, 128u);
    EXPECT_EQ(form.control<PictureBox>("PictC1")->lines().size(), 2u + 122u); // 123 points
}

} // namespace
} // namespace quiro::test
