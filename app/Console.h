#pragma once
// The composition of the program: the board, the main window, the command link, the plots, the
// parameter dialog's button and the operations (identification, clearing, modes, cancellation),
// wired together and started by Form_Load. The start-up's last step is the plots' display
// initialisation.

#include "app/InstanceLock.h"
#include "app/MainForm.h"
#include "app/Startup.h"
#include "control/Operation.h"
#include "dsp/Board.h"
#include "display/Plots.h"
#include "dsp/CommandLink.h"
#include "params/DlgParameter.h"

#include <memory>

namespace quiro {

class Console {
public:
    // The program: the board library "Kesto32" found from appDir, modal message boxes, the
    // per-user instance lock, and an exit that ends the process at once.
    explicit Console(const QString &appDir);
    // Any board and hooks (tests). The hooks' initialiseDisplay is replaced by the plots'.
    Console(std::unique_ptr<Board> board, StartupHooks hooks, const QString &lockPath);
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    // Runs Form_Load and shows the window unless start-up ended the program.
    StartupResult start();

    MainForm &form() { return form_; }
    CommandLink &link() { return link_; }
    Board &board() { return *board_; }
    Plots &plots() { return plots_; }
    Operation &operation() { return operation_; }

private:
    std::unique_ptr<Board> board_;
    StartupHooks hooks_;
    InstanceLock lock_;
    MainForm form_;
    CommandLink link_;
    Plots plots_;
    ParameterSetting parameterSetting_;
    Operation operation_;
};

} // namespace quiro
