#pragma once
// The composition of the program: the board, the main window and the command link, wired
// together and started by Form_Load. The operation logic, the display and the parameter dialog
// hang off the same objects.

#include "app/InstanceLock.h"
#include "app/MainForm.h"
#include "app/Startup.h"
#include "dsp/Board.h"
#include "dsp/CommandLink.h"

#include <memory>

namespace quiro {

class Console {
public:
    // The program: the board library "Kesto32" found from appDir, modal message boxes, the
    // per-user instance lock, and an exit that ends the process at once.
    explicit Console(const QString &appDir);
    // Any board and hooks (tests).
    Console(std::unique_ptr<Board> board, StartupHooks hooks, const QString &lockPath);
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    // Runs Form_Load and shows the window unless start-up ended the program.
    StartupResult start();

    MainForm &form() { return form_; }
    CommandLink &link() { return link_; }
    Board &board() { return *board_; }

private:
    std::unique_ptr<Board> board_;
    StartupHooks hooks_;
    InstanceLock lock_;
    MainForm form_;
    CommandLink link_;
};

} // namespace quiro
