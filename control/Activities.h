#pragma once
// The operator's activities: identifying the two secondary paths, clearing the filters, choosing
// the cancellation mode and the cancellation run itself. This is the console's state, held in
// typed form; the window only shows it (through ActivityView) and passes clicks in as calls.
//
// Each activity runs as a loop inside the click that started it. The loop yields to the event
// queue on every pass (and the command handshake yields while it waits), so the stop click,
// zoom clicks, mode clicks and display-timer ticks are handled nested inside it. Those nested
// handlers never send a command themselves: they only record what the loop should do, and the
// loop sends every command, one at a time, at its next pass.
//
// A click that would start a command sequence of its own (an identification, a clear, a run)
// while a command or an activity is in progress is deferred whole: it runs once the activity in
// progress has ended, if its button is still enabled then, and is dropped otherwise. A second
// click of the same button while the first waits is dropped, as a click of a disabled button.

#include "control/Plot.h"
#include "dsp/CommandLink.h"
#include "params/ParameterCheck.h"

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace quiro {

enum class Path { C1, C2 };

// The buttons whose enabled state and caption follow the activities.
enum class Button {
    C1Ident, C1Clear, C1Wide, C1Tele, C2Ident, C2Clear, C2Wide, C2Tele,
    Quiro, WClear, WWide, WTele, ParamSet, Mode0, Mode1, Mode2, Mode3,
};
inline constexpr std::size_t ButtonCount = 17;
static_assert(static_cast<std::size_t>(Button::Mode3) + 1 == ButtonCount);

// The display timer's interval, and the time between two captures of the signals during a run,
// which the run counts in display ticks.
inline constexpr std::chrono::milliseconds DisplayTick{100};
inline constexpr std::chrono::milliseconds CapturePeriod{500};
static_assert(CapturePeriod % DisplayTick == std::chrono::milliseconds::zero());

// The control groups that are switched together.
enum class Group { C1, C2, Quiro, Param, Mode };

// What the window shows of the activities.
class ActivityView {
public:
    virtual ~ActivityView() = default;
    virtual void showEnabled(Button button, bool enabled) = 0;
    virtual void showCaption(Button button, const QString &caption) = 0;
    virtual void showModeText(const QString &text) = 0;
    virtual void runDisplayTimer(bool on) = 0;
    // Erases a plot to its axes; draws a trace just fetched from the DSP program.
    virtual void clearPlot(Plot plot) = 0;
    virtual void drawPlot(Plot plot, const Trace &trace) = 0;
};

class Activities {
public:
    using Yield = std::function<void()>;
    // Sends the operating parameters; false when they were refused (nothing was sent).
    using Download = std::function<bool()>;

    // `texts` are the parameter texts as they stand, read for the plots' tap counts.
    Activities(ActivityView &view, CommandLink &link, const ParameterTexts &texts,
               Download download, Yield yield);

    // Shows every button's enabled state as the activities hold it (the state at creation).
    void showAll();

    // A click of the button: the calls below for the buttons they name, nothing for the zoom
    // buttons (the plots' own) and the parameter button (the dialog's).
    void click(Button button);

    // Identification of a secondary path (the toggle buttons BtnC1Ident and BtnC2Ident).
    void BtnIdent_Click(Path path);
    // Clearing of C1, C2 (which takes away the path's identification) and W.
    void BtnClear_Click(Path path);
    void BtnWClear_Click();
    // The four mode buttons: 0 = no cancellation, 1..3 = the cancellation modes.
    void BtnMode_Click(int mode);
    // Start or stop of cancellation (the toggle button BtnQuiro).
    void BtnQuiro_Click();
    void TimerDispInterval_Timer();

    // Sets the Enabled state of the group's buttons, in the group's order, and nothing else.
    // Enabling the Quiro group first disables its buttons and enables them again only when both
    // paths are identified.
    void enableGroup(Group group);
    void disableGroup(Group group);
    bool enabled(Button button) const { return enabled_[static_cast<std::size_t>(button)]; }

    // -1 True, 0 False; only -1 counts as True.
    std::int16_t C1Identified = 0;
    std::int16_t C2Identified = 0;
    // Run-state words shared by the identification loops and the cancellation run.
    std::int16_t RunState = 0;      // -1: the running loop ends at the end of its pass
    std::int16_t ModePending = 0;   // -1: a mode choice waits to be sent
    std::int32_t ModeCmd = 0;       // command of the mode chosen last
    QString ModeText;               // text of the mode chosen last
    std::int16_t QuiroActive = 0;   // 1 while cancellation is on
    std::int32_t DispCountdown = 0; // display ticks before the next capture query
    std::int16_t identActive(Path path) const { return identActive_[index(path)]; }

    struct PathRow;

private:
    // The clicks that start a command sequence.
    enum class Starter { C1Ident, C2Ident, C1Clear, C2Clear, WClear, Quiro };
    // Runs the click now when nothing is in progress, otherwise defers it; then runs the clicks
    // deferred meanwhile, each only if its button is still enabled.
    void startOrDefer(Starter starter);
    void runStarter(Starter starter);
    bool available(Starter starter) const;

    static std::size_t index(Path path) { return path == Path::C1 ? 0 : 1; }
    static const PathRow &row(Path path);
    void setEnabled(Button button, bool on);

    enum class MarkIdentified { No, Yes };
    void enterIdentifying(const PathRow &r);
    void leaveIdentifying(const PathRow &r, MarkIdentified mark);
    void runIdent(Path path);
    void clearPath(Path path);

    // Sends the plot's fetch command, reads what it returned and has it drawn.
    void fetchAndDraw(Plot plot);

    void switchCancellationControls(bool on);
    void RunCancellation();
    void passOfRun();
    void showModeText(const QString &text);

    ActivityView &view_;
    CommandLink &link_;
    const ParameterTexts &texts_;
    Download download_;
    Yield yield_;
    std::array<bool, ButtonCount> enabled_{};
    std::int16_t identActive_[2] = {0, 0};
    bool stopIdentRequested_ = false; // a stop clicked, to be sent by the loop at its next yield
    bool busy_ = false;               // a click's command sequence or activity is running
    std::vector<Starter> deferred_;   // clicks waiting for it to end, in order, each once
    QString shownModeText_ = QStringLiteral("消音無し"); // what TextMode shows
};

} // namespace quiro
