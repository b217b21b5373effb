// The cancellation run: start and stop, the pass loop, the display timer and the sending of the
// mode the operator chose.

#include "control/Activities.h"

namespace quiro {

namespace {

// The three signals of a completed capture, fetched and drawn in this order.
constexpr Plot capturedSignals[] = {Plot::Prim, Plot::Error, Plot::Ctrl};

constexpr std::int32_t TicksBetweenCaptures = CapturePeriod / DisplayTick;
constexpr std::int32_t TicksBeforeRetry = 1;

} // namespace

void Activities::BtnQuiro_Click() {
    if (QuiroActive == 0) {
        startOrDefer(Starter::Quiro);
        return;
    }
    switchCancellationControls(false);
    RunState = -1;
}

void Activities::switchCancellationControls(bool on) {
    QuiroActive = on ? 1 : 0;
    view_.showCaption(Button::Quiro, on ? QStringLiteral("消音終了") : QStringLiteral("消音開始"));
    setEnabled(Button::WClear, !on);
    setEnabled(Button::WWide, on);
    setEnabled(Button::WTele, on);
    if (on) {
        disableGroup(Group::C1);
        disableGroup(Group::C2);
        disableGroup(Group::Param);
        enableGroup(Group::Mode);
    } else {
        enableGroup(Group::C1);
        enableGroup(Group::C2);
        enableGroup(Group::Param);
        disableGroup(Group::Mode);
    }
}

void Activities::RunCancellation() {
    const QString modeBefore = shownModeText_;
    showModeText(QStringLiteral("消音無し"));
    // Cleared before the first yield, so that a stop or a mode clicked while the run is still
    // starting is honoured rather than overwritten.
    RunState = 0;
    ModePending = 0;
    if (!download_()) {
        // Nothing was sent: the click starts nothing and the window returns to where it was.
        showModeText(modeBefore);
        switchCancellationControls(false);
        return;
    }
    link_.SendCommand(Cmd::CaptureStart);
    link_.SendCommand(Cmd::ModeOff);
    DispCountdown = TicksBetweenCaptures;
    view_.runDisplayTimer(true);
    do {
        yield_();
        passOfRun();
    } while (RunState != -1);
    link_.SendCommand(Cmd::RunStop);
    view_.runDisplayTimer(false);
}

void Activities::passOfRun() {
    fetchAndDraw(Plot::W);

    if (DispCountdown == 0) {
        link_.SendCommand(Cmd::CaptureQuery);
        // A read that leaves the preset untouched counts as not ready.
        std::uint32_t status = 1;
        link_.getWord(dspmem::CmdArg1, status);
        if (status != 0) {
            DispCountdown = TicksBeforeRetry;
        } else {
            for (Plot plot : capturedSignals)
                fetchAndDraw(plot);
            DispCountdown = TicksBetweenCaptures;
            link_.SendCommand(Cmd::CaptureStart);
        }
    }

    if (ModePending == -1) {
        showModeText(ModeText);
        // Cleared before sending, so that a mode clicked during this command's waits is kept
        // for the next pass.
        ModePending = 0;
        link_.SendCommand(ModeCmd);
    }
}

void Activities::TimerDispInterval_Timer() {
    if (DispCountdown > 0)
        --DispCountdown;
}

void Activities::showModeText(const QString &text) {
    shownModeText_ = text;
    view_.showModeText(text);
}

} // namespace quiro
