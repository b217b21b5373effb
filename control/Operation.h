#pragma once
// The operator's activities on the main window: identifying the two secondary paths, clearing
// the filters, choosing the cancellation mode and the cancellation run itself.
//
// Each activity runs as a loop inside the click handler that started it. The loop yields to the
// event queue on every pass (and the command handshake yields while it waits), so the stop click,
// zoom clicks, mode clicks and display-timer ticks are handled nested inside it. Those nested
// handlers never send a command themselves: they only record what the loop should do, and the
// loop sends every command, one at a time, at its next pass.
//
// A click that would start a command sequence of its own (an identification, a clear, a run)
// while a command or an activity is in progress is deferred whole: it runs once the activity in
// progress has ended, if its button is still enabled then, and is dropped otherwise. A second
// click of the same button while the first waits is dropped, as a click of a disabled button.

#include "app/MainForm.h"
#include "display/Plots.h"
#include "dsp/CommandLink.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace quiro {

enum class Path { C1, C2 };

class Operation : public QObject {
    Q_OBJECT
public:
    using Yield = std::function<void()>;
    // Sends the operating parameters; false when they were refused (nothing was sent).
    using Download = std::function<bool()>;

    Operation(MainForm &form, CommandLink &link, Plots &plots, Download download, Yield yield);

    // Identification of a secondary path (the toggle buttons BtnC1Ident and BtnC2Ident).
    void identClick(Path path);
    // Clearing of C1, C2 (which takes away the path's identification) and W.
    void clearClick(Path path);
    void BtnWClear_Click();
    // The four mode buttons: 0 = no cancellation, 1..3 = the cancellation modes.
    void modeClick(int mode);
    // Start or stop of cancellation (the toggle button BtnQuiro).
    void BtnQuiro_Click();
    void TimerDispInterval_Timer();

    // Run-state words shared by the identification loops and the cancellation run.
    std::int16_t RunState = 0;     // -1: the running loop ends at the end of its pass
    std::int16_t ModePending = 0;  // -1: a mode choice waits to be sent
    std::int32_t ModeCmd = 0;      // command of the mode chosen last
    QString ModeText;              // text of the mode chosen last
    std::int16_t QuiroActive = 0;  // 1 while cancellation is on
    std::int32_t DispCountdown = 0; // display ticks before the next capture query
    std::int16_t identActive(Path path) const;

    struct PathRow;

private:
    // The clicks that start a command sequence.
    enum class Starter { C1Ident, C2Ident, C1Clear, C2Clear, WClear, Quiro };
    // Runs the click now when nothing is in progress, otherwise defers it; then runs the clicks
    // deferred meanwhile, each only if its button is still enabled.
    void startOrDefer(Starter starter);
    void runStarter(Starter starter);
    bool available(Starter starter) const;

    static const PathRow &row(Path path);

    enum class MarkIdentified { No, Yes };
    void enterIdentifying(const PathRow &r);
    void leaveIdentifying(const PathRow &r, MarkIdentified mark);
    void runIdent(Path path);
    std::int16_t &activeFlag(Path path);
    void StopIdent();

    void switchCancellationControls(bool on);
    void RunCancellation();
    void StopRun();
    void passOfRun();

    MainForm &form_;
    CommandLink &link_;
    Plots &plots_;
    Download download_;
    Yield yield_;
    std::int16_t identActive_[2] = {0, 0};
    bool stopIdentRequested_ = false; // a stop clicked, to be sent by the loop at its next yield
    bool busy_ = false;               // a click's command sequence or activity is running
    std::vector<Starter> deferred_;   // clicks waiting for it to end, in order, each once
};

} // namespace quiro
