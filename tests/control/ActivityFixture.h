#pragma once
// The activities against the scripted fake board, shown in a view that records what the window
// would show. The fixture's yield plays the event queue: tests script clicks and timer ticks
// that happen "while the program yields", keyed to the command the DSP side is handling then.

#include "FakeBoard.h"
#include "control/Activities.h"
#include "params/ParameterDownload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <set>
#include <stdexcept>
#include <vector>

namespace quiro::test {

struct RecordingView : ActivityView {
    std::array<bool, ButtonCount> enabled{};
    std::array<QString, ButtonCount> caption{};
    QString modeText = QStringLiteral("消音無し");
    bool timer = false;
    std::array<int, PlotCount> draws{}, clears{};
    void showEnabled(Button b, bool on) override { enabled[std::size_t(b)] = on; }
    void showCaption(Button b, const QString &text) override { caption[std::size_t(b)] = text; }
    void showModeText(const QString &text) override { modeText = text; }
    void runDisplayTimer(bool on) override { timer = on; }
    void clearPlot(Plot p) override { ++clears[plotIndex(p)]; }
    void drawPlot(Plot p, const Trace &) override { ++draws[plotIndex(p)]; }
};

using B = Button;
using Buttons = std::set<Button>;
using Commands = std::vector<std::int32_t>;
constexpr std::int32_t n(Cmd c) { return static_cast<std::int32_t>(c); }

// The activities, the fake board and the recording view. The yield plays a script of events
// unless the user sets its own.
struct ActivityRig {
    struct Event {
        std::function<bool()> when;
        std::function<void()> what;
        bool done = false;
    };
    std::vector<Event> script;
    FakeBoard board;
    RecordingView view;
    ParameterTexts texts;
    std::vector<QString> messages; // refusals of the download
    std::function<void()> onYield = [this] {
        for (Event &e : script)
            if (!e.done && e.when()) {
                e.done = true;
                e.what();
            }
    };
    int yields = 0;
    void yield() {
        if (++yields > 20000) // far past any activity's length
            throw std::runtime_error("watchdog: the activity did not end");
        onYield();
    }

    CommandLink link{board, [this] { yield(); }};
    Activities act{view, link, texts,
                   [this] {
                       return DownloadParameters(
                           link, texts, QStringLiteral(QUIRO_SOURCE_DIR "/data"),
                           [this](MessageIcon, const QString &text, const QString &) {
                               messages.push_back(text);
                           });
                   },
                   [this] { yield(); }};

    ActivityRig() { act.showAll(); }
    void identifyBoth() {
        act.C1Identified = act.C2Identified = -1;
        act.enableGroup(Group::Quiro);
    }
    Buttons enabledButtons() const {
        Buttons out;
        for (std::size_t i = 0; i < ButtonCount; ++i)
            if (view.enabled[i])
                out.insert(static_cast<Button>(i));
        return out;
    }
    // A scripted event fires once, at the first yield where `when` holds.
    void at(std::function<bool()> when, std::function<void()> what) {
        script.push_back({std::move(when), std::move(what)});
    }
    // While the DSP side handles this command (during the program's wait for it).
    std::function<bool()> during(Cmd code) {
        return [this, code] { return board.current() == n(code); };
    }
    // At a yield outside any command, once `count` commands numbered `code` have been taken.
    std::function<bool()> after(Cmd code, int count = 1) {
        return [this, code, count] {
            return board.current() == 0 &&
                   std::count(board.commands.begin(), board.commands.end(), n(code)) >= count;
        };
    }
};

struct ActivityFixture : ::testing::Test, ActivityRig {};

} // namespace quiro::test
