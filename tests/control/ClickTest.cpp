// Every enabled button clicked, and the display timer ticked, at every yield of every command of
// every activity: whatever the moment, the commands come in an order the DSP program understands,
// and no command is ever asked for over another.

#include "ActivityFixture.h"

#include <QRegularExpression>

namespace quiro::test {
namespace {

// The activities against the fake board. At yield `clickAt` it clicks the `which`-th enabled
// button (one past the last: a timer tick); at quiet yields it stops an activity that has run a
// while, as the operator would.
struct Session : ActivityRig {
    std::string order; // the command numbers taken, one and a space each
    int clickAt = -1;
    std::size_t which = 0;
    bool clicked = false; // there was a button (or the tick) to click at clickAt
    int quietYields[3] = {};

    explicit Session(bool identified) {
        if (identified)
            identifyBoth();
        board.onCommand = [this](std::int32_t code, FakeBoard &b) {
            order += std::to_string(code) + ' ';
            if (code == n(Cmd::CaptureQuery))
                b.setLong(dspmem::CmdArg1, 0);
        };
        onYield = [this] {
            if (yields == clickAt) {
                const Buttons enabled = enabledButtons();
                clicked = which <= enabled.size();
                if (which < enabled.size())
                    act.click(*std::next(enabled.begin(), static_cast<std::ptrdiff_t>(which)));
                else if (which == enabled.size())
                    act.TimerDispInterval_Timer();
            }
            if (board.current() != 0)
                return;
            // The operator's stops: an identification after three passes, a run after eight,
            // with a display tick at every pass so that captures are fetched.
            const bool active[3] = {act.identActive(Path::C1) == 1, act.identActive(Path::C2) == 1,
                                    act.QuiroActive == 1};
            const Button stop[3] = {Button::C1Ident, Button::C2Ident, Button::Quiro};
            const int passes[3] = {3, 3, 8};
            for (int i = 0; i < 3; ++i) {
                quietYields[i] = active[i] ? quietYields[i] + 1 : 0;
                if (i == 2 && active[i])
                    act.TimerDispInterval_Timer();
                if (active[i] && quietYields[i] >= passes[i])
                    act.click(stop[i]);
            }
        };
    }
};

// The order the DSP program expects, one command number and a space each: clears only between
// activities; a download (12, 17, 16) before every start; an identification (1 or 4) fetches
// until its stop (7), then fetches once more; a run starts a capture and the mode without
// cancellation (33, 8), then makes at least one pass before its stop (9). A pass fetches W (10),
// may query the capture (34) and, when it is ready, fetch its signals and restart it (35 36 37
// 33), and may send a mode (8, 81-83).
const QRegularExpression InOrder(
    QRegularExpression::anchoredPattern("((13|14|15) |12 17 16 (1 (2 )*7 2 |4 (5 )*7 5 |"
                                        "33 8 (10 (34 (35 36 37 33 )?)?(8[1-3]? )?)+9 ))*"));

struct ClickedActivity {
    const char *name;
    bool identified;
    Button button;
    friend void PrintTo(const ClickedActivity &a, std::ostream *os) { *os << a.name; }
};

const ClickedActivity activities[] = {
    {"C1Identification", false, Button::C1Ident}, {"C2Identification", false, Button::C2Ident},
    {"C1Clear", true, Button::C1Clear},           {"C2Clear", false, Button::C2Clear},
    {"WClear", true, Button::WClear},             {"Cancellation", true, Button::Quiro},
};

class EveryClick : public ::testing::TestWithParam<ClickedActivity> {};

TEST_P(EveryClick, AtEveryYieldKeepsTheOrder) {
    const ClickedActivity &a = GetParam();
    int length = 0; // yields of the activity left to itself
    {
        Session s(a.identified);
        s.act.click(a.button);
        length = s.yields;
    }
    ASSERT_GT(length, 1);
    for (int at = 1; at <= length; ++at) {
        for (std::size_t which = 0;; ++which) {
            Session s(a.identified);
            s.clickAt = at;
            s.which = which;
            SCOPED_TRACE(testing::Message() << "yield " << at << " button " << which);
            s.act.click(a.button); // throws on a command asked for over another, or on no end
            if (!s.clicked)
                break;
            EXPECT_FALSE(s.board.overlapped);
            EXPECT_TRUE(InOrder.match(QString::fromStdString(s.order)).hasMatch()) << s.order;
            EXPECT_EQ(s.act.identActive(Path::C1) + s.act.identActive(Path::C2) + s.act.QuiroActive,
                      0);
            if (HasFailure())
                return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Activities, EveryClick, ::testing::ValuesIn(activities),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace quiro::test
