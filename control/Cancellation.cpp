// The cancellation run: start and stop, the pass loop, the display timer and the sending of the
// mode the operator chose.

#include "control/Operation.h"

#include <QLineEdit>
#include <QPushButton>

namespace quiro {

namespace {

struct SignalRow {
    Cmd fetch;
    Plot plot;
};

// The three signals of a completed capture, fetched and drawn in this order.
constexpr SignalRow signalRows[] = {
    {Cmd::PrimFetch, Plot::Prim},
    {Cmd::ErrorFetch, Plot::Error},
    {Cmd::CtrlFetch, Plot::Ctrl},
};

constexpr std::int32_t TicksBetweenCaptures = 5; // 500 ms at the display timer's 100 ms
constexpr std::int32_t TicksBeforeRetry = 1;

} // namespace

void Operation::BtnQuiro_Click() {
    if (QuiroActive == 0) {
        startOrDefer(Starter::Quiro);
        return;
    }
    switchCancellationControls(false);
    StopRun();
}

void Operation::switchCancellationControls(bool on) {
    QuiroActive = on ? 1 : 0;
    form_.control<QPushButton>("BtnQuiro")->setText(on ? QStringLiteral("消音終了")
                                                       : QStringLiteral("消音開始"));
    form_.control<QPushButton>("BtnWClear")->setEnabled(!on);
    form_.control<QPushButton>("BtnWWide")->setEnabled(on);
    form_.control<QPushButton>("BtnWTele")->setEnabled(on);
    if (on) {
        form_.disableGroup(Group::C1);
        form_.disableGroup(Group::C2);
        form_.disableGroup(Group::Param);
        form_.enableGroup(Group::Mode);
    } else {
        form_.enableGroup(Group::C1);
        form_.enableGroup(Group::C2);
        form_.enableGroup(Group::Param);
        form_.disableGroup(Group::Mode);
    }
}

void Operation::StopRun() { RunState = -1; }

void Operation::RunCancellation() {
    auto *textMode = form_.control<QLineEdit>("TextMode");
    const QString modeBefore = textMode->text();
    textMode->setText(QStringLiteral("消音無し"));
    // Cleared before the first yield, so that a stop or a mode clicked while the run is still
    // starting is honoured rather than overwritten.
    RunState = 0;
    ModePending = 0;
    if (!download_()) {
        // Nothing was sent: the click starts nothing and the window returns to where it was.
        textMode->setText(modeBefore);
        switchCancellationControls(false);
        return;
    }
    link_.sendCommand(Cmd::CaptureStart);
    link_.sendCommand(Cmd::ModeOff);
    DispCountdown = TicksBetweenCaptures;
    form_.timerDispInterval().start();
    do {
        yield_();
        passOfRun();
    } while (RunState != -1);
    link_.sendCommand(Cmd::RunStop);
    form_.timerDispInterval().stop();
}

void Operation::passOfRun() {
    link_.sendCommand(Cmd::WFetch);
    plots_.draw(Plot::W);

    if (DispCountdown == 0) {
        link_.sendCommand(Cmd::CaptureQuery);
        // A read that leaves the preset untouched counts as not ready.
        std::uint32_t status = 1;
        link_.getWord(dspmem::CmdArg1, status);
        if (status != 0) {
            DispCountdown = TicksBeforeRetry;
        } else {
            for (const SignalRow &s : signalRows) {
                link_.sendCommand(s.fetch);
                plots_.draw(s.plot);
            }
            DispCountdown = TicksBetweenCaptures;
            link_.sendCommand(Cmd::CaptureStart);
        }
    }

    if (ModePending == -1) {
        form_.control<QLineEdit>("TextMode")->setText(ModeText);
        // Cleared before sending, so that a mode clicked during this command's waits is kept
        // for the next pass.
        ModePending = 0;
        link_.sendCommand(ModeCmd);
    }
}

void Operation::TimerDispInterval_Timer() {
    if (DispCountdown > 0)
        --DispCountdown;
}

} // namespace quiro
