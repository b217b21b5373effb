// Identification of the two secondary paths, the clear buttons and the mode buttons.

#include "control/Operation.h"

#include <QPushButton>

#include <algorithm>

namespace quiro {

// Everything that differs between the identification of C1 and that of C2.
struct Operation::PathRow {
    const char *identButton;
    const char *clearButton;
    const char *wideButton;
    const char *teleButton;
    const char *startCaption;
    const char *stopCaption;
    Group otherGroup;
    std::int16_t MainForm::*identified;
    Cmd start;
    Cmd fetch;
    Cmd clear;
    Plot plot;
};

namespace {

struct ModeRow {
    const char *button;
    const char *text; // shown in TextMode once the run loop has sent the mode
    Cmd command;
};

constexpr ModeRow modeRows[] = {
    {"BtnMode0", "消音無し", Cmd::ModeOff},
    {"BtnMode1", "消音ﾓｰﾄﾞ1", Cmd::Mode1},
    {"BtnMode2", "消音ﾓｰﾄﾞ2", Cmd::Mode2},
    {"BtnMode3", "消音ﾓｰﾄﾞ3", Cmd::Mode3},
};

} // namespace

const Operation::PathRow &Operation::row(Path path) {
    static const PathRow rows[] = {
        {"BtnC1Ident", "BtnC1Clear", "BtnC1Wide", "BtnC1Tele", "C1同定開始", "C1同定終了",
         Group::C2, &MainForm::C1Identified, Cmd::C1IdentStart, Cmd::C1Fetch, Cmd::C1Clear,
         Plot::C1},
        {"BtnC2Ident", "BtnC2Clear", "BtnC2Wide", "BtnC2Tele", "C2同定開始", "C2同定終了",
         Group::C1, &MainForm::C2Identified, Cmd::C2IdentStart, Cmd::C2Fetch, Cmd::C2Clear,
         Plot::C2},
    };
    return rows[path == Path::C1 ? 0 : 1];
}

Operation::Operation(MainForm &form, CommandLink &link, Plots &plots, Download download,
                     Yield yield)
    : form_(form), link_(link), plots_(plots), download_(std::move(download)),
      yield_(std::move(yield)) {
    for (Path path : {Path::C1, Path::C2}) {
        connect(form_.control<QPushButton>(row(path).identButton), &QPushButton::clicked, this,
                [this, path] { identClick(path); });
        connect(form_.control<QPushButton>(row(path).clearButton), &QPushButton::clicked, this,
                [this, path] { clearClick(path); });
    }
    for (int mode = 0; mode < 4; ++mode)
        connect(form_.control<QPushButton>(modeRows[mode].button), &QPushButton::clicked, this,
                [this, mode] { modeClick(mode); });
    connect(form_.control<QPushButton>("BtnWClear"), &QPushButton::clicked, this,
            &Operation::BtnWClear_Click);
    connect(form_.control<QPushButton>("BtnQuiro"), &QPushButton::clicked, this,
            &Operation::BtnQuiro_Click);
    connect(&form_.timerDispInterval(), &QTimer::timeout, this,
            &Operation::TimerDispInterval_Timer);
}

std::int16_t Operation::identActive(Path path) const {
    return identActive_[path == Path::C1 ? 0 : 1];
}

std::int16_t &Operation::activeFlag(Path path) { return identActive_[path == Path::C1 ? 0 : 1]; }

void Operation::identClick(Path path) {
    if (activeFlag(path) == 0) {
        startOrDefer(path == Path::C1 ? Starter::C1Ident : Starter::C2Ident);
        return;
    }
    activeFlag(path) = 0;
    leaveIdentifying(row(path), MarkIdentified::Yes);
    StopIdent();
}

void Operation::startOrDefer(Starter starter) {
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

void Operation::runStarter(Starter starter) {
    switch (starter) {
    case Starter::C1Ident:
    case Starter::C2Ident: {
        const Path path = starter == Starter::C1Ident ? Path::C1 : Path::C2;
        activeFlag(path) = 1;
        enterIdentifying(row(path));
        runIdent(path);
        return;
    }
    case Starter::C1Clear:
    case Starter::C2Clear: {
        const PathRow &r = row(starter == Starter::C1Clear ? Path::C1 : Path::C2);
        form_.*r.identified = 0;
        form_.disableGroup(Group::Quiro);
        plots_.clear(r.plot);
        link_.sendCommand(r.clear);
        return;
    }
    case Starter::WClear:
        plots_.clear(Plot::W);
        link_.sendCommand(Cmd::WClear);
        return;
    case Starter::Quiro:
        switchCancellationControls(true);
        RunCancellation();
        return;
    }
}

bool Operation::available(Starter starter) const {
    static const char *const buttons[] = {"BtnC1Ident", "BtnC2Ident", "BtnC1Clear",
                                          "BtnC2Clear", "BtnWClear",  "BtnQuiro"};
    const auto *button = form_.control<QPushButton>(buttons[static_cast<int>(starter)]);
    if (!button->isEnabled())
        return false;
    // The toggles must still stand at their start.
    switch (starter) {
    case Starter::C1Ident: return identActive(Path::C1) == 0;
    case Starter::C2Ident: return identActive(Path::C2) == 0;
    case Starter::Quiro: return QuiroActive == 0;
    default: return true;
    }
}

void Operation::enterIdentifying(const PathRow &r) {
    form_.control<QPushButton>(r.identButton)->setText(QString::fromUtf8(r.stopCaption));
    form_.control<QPushButton>(r.clearButton)->setEnabled(false);
    form_.control<QPushButton>(r.wideButton)->setEnabled(true);
    form_.control<QPushButton>(r.teleButton)->setEnabled(true);
    form_.disableGroup(r.otherGroup);
    form_.disableGroup(Group::Quiro);
    form_.disableGroup(Group::Param);
}

void Operation::leaveIdentifying(const PathRow &r, MarkIdentified mark) {
    form_.control<QPushButton>(r.identButton)->setText(QString::fromUtf8(r.startCaption));
    form_.control<QPushButton>(r.clearButton)->setEnabled(true);
    form_.control<QPushButton>(r.wideButton)->setEnabled(false);
    form_.control<QPushButton>(r.teleButton)->setEnabled(false);
    // The flag comes before the groups, so that the Quiro group already sees it.
    if (mark == MarkIdentified::Yes)
        form_.*r.identified = -1;
    form_.enableGroup(r.otherGroup);
    form_.enableGroup(Group::Quiro);
    form_.enableGroup(Group::Param);
}

void Operation::runIdent(Path path) {
    const PathRow &r = row(path);
    stopIdentRequested_ = false;
    if (!download_()) {
        // Nothing was sent: the click starts nothing and the window returns to where it was.
        activeFlag(path) = 0;
        leaveIdentifying(r, MarkIdentified::No);
        return;
    }
    link_.sendCommand(r.start);
    RunState = 0;
    do {
        yield_();
        // A stop clicked at any time so far is sent here, where no other command is in
        // progress and the start command has gone out; this pass still fetches and draws.
        if (stopIdentRequested_) {
            stopIdentRequested_ = false;
            link_.sendCommand(Cmd::IdentStop);
            RunState = -1;
        }
        link_.sendCommand(r.fetch);
        plots_.draw(r.plot);
    } while (RunState != -1);
}

void Operation::StopIdent() { stopIdentRequested_ = true; }

void Operation::clearClick(Path path) {
    startOrDefer(path == Path::C1 ? Starter::C1Clear : Starter::C2Clear);
}

void Operation::BtnWClear_Click() { startOrDefer(Starter::WClear); }

void Operation::modeClick(int mode) {
    ModeText = QString::fromUtf8(modeRows[mode].text);
    ModeCmd = static_cast<std::int32_t>(modeRows[mode].command);
    ModePending = -1;
}

} // namespace quiro
