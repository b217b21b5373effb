#pragma once
// Start-up against the board and the exit.
//
// Form_Load refuses a second copy, opens the board library, selects and initialises board 0,
// loads and starts the DSP program, and only when it runs initialises the display. Each tested
// failure is shown in a modal message. Refusal and a failed library end the program at once; a
// failed load or run leaves the window to open in its design-time state with the library open.

#include "app/InstanceLock.h"
#include "dsp/Board.h"
#include "window/MessageBox.h"

#include <QString>

#include <functional>

namespace quiro {

enum class StartupResult { Refused, LibraryFailed, LoadFailed, RunFailed, Ready };

// Ends the process at once: no further code of the program runs. Tests inject one that returns.
using EndProgram = std::function<void()>;

struct StartupHooks {
    ShowMessage showMessage = showMessageBox;
    EndProgram endProgram;
    std::function<void()> initialiseDisplay; // the last step, run only when the DSP program runs
    QString appDir;                          // the directory of the program's executable
};

// The DSP program beside the program's directory, passed unresolved.
QString dspProgramPath(const QString &appDir);

StartupResult Form_Load(Board &board, InstanceLock &lock, const StartupHooks &hooks);

// Closes the board library and ends the program; nothing is sent to the DSP program first.
void BtnExit_Click(Board &board, const EndProgram &endProgram);

} // namespace quiro
