#include "app/Console.h"

#include "dsp/KestoLibrary.h"
#include "params/ParameterDownload.h"

#include <QCoreApplication>

#include <cstdlib>

namespace quiro {

Console::Console(const QString &appDir)
    : Console(std::make_unique<KestoLibrary>(appDir), StartupHooks{}, InstanceLock::defaultPath()) {
    hooks_.appDir = appDir;
    hooks_.endProgram = [this] {
        // The lock file would be recognised as stale anyway; removing it keeps the folder tidy.
        lock_.release();
        std::_Exit(0);
    };
}

Console::Console(std::unique_ptr<Board> board, StartupHooks hooks, const QString &lockPath)
    : board_(std::move(board)), hooks_(std::move(hooks)), lock_(lockPath),
      link_(*board_, [] { QCoreApplication::processEvents(); }), plots_(form_, link_),
      parameterSetting_(form_),
      operation_(
          form_, link_, plots_,
          [this] { return DownloadParameters(link_, form_, form_.AppDir, hooks_.showMessage); },
          [] { QCoreApplication::processEvents(); }) {
    hooks_.initialiseDisplay = [this] { plots_.initialiseDisplay(); };
    form_.setExitRoutine([this] { BtnExit_Click(*board_, hooks_.endProgram); });
}

StartupResult Console::start() {
    const StartupResult result = Form_Load(*board_, form_, lock_, hooks_);
    if (result != StartupResult::Refused && result != StartupResult::LibraryFailed)
        form_.show();
    return result;
}

} // namespace quiro
