#pragma once
// The composition of the program: the board, the command link, the parameter set and the
// activities below; the main window, its plots and the parameter dialog above; and the wiring
// between them: the window's clicks and timer ticks become calls on the activities (the zoom
// buttons' on the plots), and what the activities and the parameter set hold is shown in the
// window. Form_Load starts it all; its last step is the plots' display initialisation.

#include "app/InstanceLock.h"
#include "app/Startup.h"
#include "control/Activities.h"
#include "display/Plots.h"
#include "dsp/Board.h"
#include "dsp/CommandLink.h"
#include "params/Parameters.h"
#include "window/DlgParameter.h"
#include "window/MainForm.h"

#include <memory>

namespace quiro {

// Shows the activities in the main window and its plots.
class WindowView final : public ActivityView {
public:
    WindowView(MainForm &form, Plots &plots) : form_(form), plots_(plots) {}
    void showEnabled(Button button, bool enabled) override;
    void showCaption(Button button, const QString &caption) override;
    void showModeText(const QString &text) override;
    void runDisplayTimer(bool on) override;
    void clearPlot(Plot plot) override { plots_.clear(plot); }
    void drawPlot(Plot plot, const Trace &trace) override { plots_.draw(plot, trace); }

private:
    MainForm &form_;
    Plots &plots_;
};

class Console {
public:
    // The program: the board library "Kesto32" found from appDir, modal message boxes, the
    // per-user instance lock, and an exit that ends the process at once.
    explicit Console(const QString &appDir);
    // Any board and hooks (tests). The hooks' initialiseDisplay is replaced by the plots'.
    Console(std::unique_ptr<Board> board, StartupHooks hooks, const InstanceLock::Place &lock);
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    // Runs Form_Load and shows the window unless start-up ended the program. After a failed
    // load or run, the buttons that send commands to the DSP program stay disabled.
    StartupResult start();

    MainForm &form() { return form_; }
    CommandLink &link() { return link_; }
    Board &board() { return *board_; }
    Plots &plots() { return plots_; }
    Parameters &parameters() { return parameters_; }
    Activities &activities() { return activities_; }
    ParameterSetting &parameterSetting() { return parameterSetting_; }

private:
    void wire();

    std::unique_ptr<Board> board_;
    StartupHooks hooks_;
    InstanceLock lock_;
    MainForm form_;
    CommandLink link_;
    Plots plots_;
    Parameters parameters_;
    WindowView view_;
    Activities activities_;
    ParameterSetting parameterSetting_;
};

} // namespace quiro
