// The click handling of the activities: the buttons' states at start and the control groups that
// switch them, the dispatch of a click to its handler, the deferral of clicks that would start a
// command sequence while another is in progress, and the mode buttons.

#include "control/Activities.h"

#include <algorithm>

namespace quiro {

namespace {

struct ModeRow {
    const char *text; // shown in TextMode once the run loop has sent the mode
    Cmd command;
};

constexpr ModeRow modeRows[] = {
    {"消音無し", Cmd::ModeOff},
    {"消音ﾓｰﾄﾞ1", Cmd::Mode1},
    {"消音ﾓｰﾄﾞ2", Cmd::Mode2},
    {"消音ﾓｰﾄﾞ3", Cmd::Mode3},
};

struct GroupRow {
    Group group;
    std::vector<Button> buttons; // in the order their Enabled state is set
};

const std::vector<GroupRow> &groups() {
    static const std::vector<GroupRow> table{
        {Group::C1, {Button::C1Ident, Button::C1Clear}},
        {Group::C2, {Button::C2Ident, Button::C2Clear}},
        {Group::Quiro, {Button::Quiro, Button::WClear}},
        {Group::Param, {Button::ParamSet}},
        {Group::Mode, {Button::Mode0, Button::Mode1, Button::Mode2, Button::Mode3}},
    };
    return table;
}

// Enabled when the window opens: the paths' buttons and the parameter button; the others start
// disabled.
constexpr Button enabledAtStart[] = {Button::C1Ident, Button::C1Clear, Button::C2Ident,
                                     Button::C2Clear, Button::ParamSet};

} // namespace

Activities::Activities(ActivityView &view, CommandLink &link, const ParameterTexts &texts,
                       Download download, Yield yield)
    : view_(view), link_(link), texts_(texts), download_(std::move(download)),
      yield_(std::move(yield)) {
    for (Button button : enabledAtStart)
        enabled_[static_cast<std::size_t>(button)] = true;
}

void Activities::showAll() {
    for (std::size_t i = 0; i < ButtonCount; ++i)
        view_.showEnabled(static_cast<Button>(i), enabled_[i]);
}

void Activities::setEnabled(Button button, bool on) {
    enabled_[static_cast<std::size_t>(button)] = on;
    view_.showEnabled(button, on);
}

void Activities::enableGroup(Group group) {
    for (const GroupRow &g : groups()) {
        if (g.group != group)
            continue;
        if (group == Group::Quiro) {
            disableGroup(group);
            if (C1Identified != -1 || C2Identified != -1)
                return;
        }
        for (Button b : g.buttons)
            setEnabled(b, true);
    }
}

void Activities::disableGroup(Group group) {
    for (const GroupRow &g : groups())
        if (g.group == group)
            for (Button b : g.buttons)
                setEnabled(b, false);
}

void Activities::click(Button button) {
    switch (button) {
    case Button::C1Ident:
        return BtnIdent_Click(Path::C1);
    case Button::C2Ident:
        return BtnIdent_Click(Path::C2);
    case Button::C1Clear:
        return BtnClear_Click(Path::C1);
    case Button::C2Clear:
        return BtnClear_Click(Path::C2);
    case Button::WClear:
        return BtnWClear_Click();
    case Button::Quiro:
        return BtnQuiro_Click();
    case Button::Mode0:
        return BtnMode_Click(0);
    case Button::Mode1:
        return BtnMode_Click(1);
    case Button::Mode2:
        return BtnMode_Click(2);
    case Button::Mode3:
        return BtnMode_Click(3);
    case Button::C1Wide:
    case Button::C1Tele:
    case Button::C2Wide:
    case Button::C2Tele:
    case Button::WWide:
    case Button::WTele:
    case Button::ParamSet:
        return;
    }
}

void Activities::startOrDefer(Starter starter) {
    if (busy_) {
        if (std::find(deferred_.begin(), deferred_.end(), starter) == deferred_.end())
            deferred_.push_back(starter);
        return;
    }
    busy_ = true;
    runStarter(starter);
    while (!deferred_.empty()) {
        const Starter next = deferred_.front();
        deferred_.erase(deferred_.begin());
        if (available(next))
            runStarter(next);
    }
    busy_ = false;
}

void Activities::runStarter(Starter starter) {
    switch (starter) {
    case Starter::C1Ident:
        return runIdent(Path::C1);
    case Starter::C2Ident:
        return runIdent(Path::C2);
    case Starter::C1Clear:
        return clearPath(Path::C1);
    case Starter::C2Clear:
        return clearPath(Path::C2);
    case Starter::WClear:
        view_.clearPlot(Plot::W);
        return link_.SendCommand(Cmd::WClear);
    case Starter::Quiro:
        switchCancellationControls(true);
        return RunCancellation();
    }
}

bool Activities::available(Starter starter) const {
    switch (starter) {
    case Starter::C1Ident:
        return enabled(Button::C1Ident) && identActive(Path::C1) == 0;
    case Starter::C2Ident:
        return enabled(Button::C2Ident) && identActive(Path::C2) == 0;
    case Starter::C1Clear:
        return enabled(Button::C1Clear);
    case Starter::C2Clear:
        return enabled(Button::C2Clear);
    case Starter::WClear:
        return enabled(Button::WClear);
    case Starter::Quiro:
        return enabled(Button::Quiro) && QuiroActive == 0;
    }
    return false;
}

void Activities::BtnWClear_Click() {
    startOrDefer(Starter::WClear);
}

void Activities::BtnMode_Click(int mode) {
    ModeText = QString::fromUtf8(modeRows[mode].text);
    ModeCmd = static_cast<std::int32_t>(modeRows[mode].command);
    ModePending = -1;
}

} // namespace quiro
