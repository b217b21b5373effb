#pragma once
// The real main window with its plots and operations, against the scripted fake board. The
// fixture's yield plays the event queue: tests script clicks and timer ticks that happen "while
// the program yields", keyed to the command the DSP side is handling at that moment.

#include "FakeBoard.h"
#include "QtApplication.h"
#include "app/MainForm.h"
#include "control/Operation.h"
#include "display/Plots.h"
#include "dsp/CommandLink.h"
#include "params/ParameterDownload.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace quiro::test {

class ConsoleFixture : private UsesQt, public ::testing::Test {
protected:
    // A scripted event: fires once, at the first yield where `when` holds.
    struct Event {
        std::function<bool()> when;
        std::function<void()> what;
        bool done = false;
    };

    FakeBoard board;
    MainForm form;
    std::vector<Event> script;
    std::vector<QString> messages;
    int yields = 0;
    static constexpr int WatchdogYields = 200000;

    CommandLink link{board, [this] { yieldToEvents(); }};
    Plots plots{form, link};
    Operation op{form, link, plots,
                 [this] {
                     return DownloadParameters(
                         link, form, QStringLiteral(QUIRO_SOURCE_DIR "/data"),
                         [this](MessageIcon, const QString &text, const QString &) {
                             messages.push_back(text);
                         });
                 },
                 [this] { yieldToEvents(); }};

    ConsoleFixture() {
        board.ackAfterReads = 2;
        plots.initialiseDisplay();
    }

    void at(std::function<bool()> when, std::function<void()> what) {
        script.push_back({std::move(when), std::move(what)});
    }
    // While the DSP side handles this command (during the program's wait for it).
    std::function<bool()> during(Cmd code) {
        return [this, code] { return board.current() == static_cast<std::int32_t>(code); };
    }
    // At a yield outside any command, once `count` commands numbered `code` have been taken.
    std::function<bool()> after(Cmd code, int count = 1) {
        return [this, code, count] {
            return board.current() == 0 && taken(code) >= count;
        };
    }
    int taken(Cmd code) const {
        int n = 0;
        for (std::int32_t c : board.commands)
            n += c == static_cast<std::int32_t>(code);
        return n;
    }

    void click(const char *button) { form.control<QPushButton>(button)->click(); }
    bool enabled(const char *button) { return form.control<QPushButton>(button)->isEnabled(); }
    QString caption(const char *button) { return form.control<QPushButton>(button)->text(); }

    // The enabled buttons among those the operating states switch.
    std::set<std::string> enabledOperatingButtons() {
        static const char *const names[] = {
            "BtnC1Ident", "BtnC1Clear", "BtnC1Wide", "BtnC1Tele", "BtnC2Ident", "BtnC2Clear",
            "BtnC2Wide",  "BtnC2Tele",  "BtnQuiro",  "BtnWClear", "BtnWWide",   "BtnWTele",
            "BtnParamSet", "BtnMode0",  "BtnMode1",  "BtnMode2",  "BtnMode3"};
        std::set<std::string> out;
        for (const char *n : names)
            if (enabled(n))
                out.insert(n);
        return out;
    }

    std::vector<std::int32_t> commandsFrom(std::size_t first) const {
        return {board.commands.begin() + static_cast<std::ptrdiff_t>(first), board.commands.end()};
    }

private:
    void yieldToEvents() {
        if (++yields == WatchdogYields) {
            ADD_FAILURE() << "watchdog: the activity did not end";
            op.RunState = -1;
            board.answers = true;
        }
        for (Event &e : script)
            if (!e.done && e.when()) {
                e.done = true;
                e.what();
            }
    }
};

} // namespace quiro::test
