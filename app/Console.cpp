#include "app/Console.h"

#include "dsp/KestoLibrary.h"
#include "params/ParameterDownload.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <cstdlib>

namespace quiro {

void WindowView::showEnabled(Button button, bool enabled) { form_.button(button).setEnabled(enabled); }

void WindowView::showCaption(Button button, const QString &caption) {
    form_.button(button).setText(caption);
}

void WindowView::showModeText(const QString &text) { form_.textMode().setText(text); }

void WindowView::runDisplayTimer(bool on) {
    on ? form_.timerDispInterval().start() : form_.timerDispInterval().stop();
}

Console::Console(const QString &appDir)
    : Console(std::make_unique<KestoLibrary>(appDir), StartupHooks{}, InstanceLock::thisUsersPlace()) {
    hooks_.appDir = appDir;
    hooks_.endProgram = [this] {
        // The lock file would be recognised as stale anyway; removing it keeps the folder tidy.
        lock_.release();
        std::_Exit(0);
    };
}

Console::Console(std::unique_ptr<Board> board, StartupHooks hooks, const InstanceLock::Place &lock)
    : board_(std::move(board)), hooks_(std::move(hooks)), lock_(lock),
      link_(*board_, [] { QCoreApplication::processEvents(); }), plots_(form_.plotWidgets()),
      view_(form_, plots_),
      activities_(
          view_, link_, parameters_.texts(),
          [this] {
              return DownloadParameters(link_, parameters_.texts(), hooks_.appDir,
                                        hooks_.showMessage);
          },
          [] { QCoreApplication::processEvents(); }),
      parameterSetting_(parameters_) {
    hooks_.initialiseDisplay = [this] { plots_.initialiseDisplay(); };
    form_.setExitRoutine([this] { BtnExit_Click(*board_, hooks_.endProgram); });
    wire();
}

void Console::wire() {
    for (std::size_t i = 0; i < ButtonCount; ++i) {
        const auto button = static_cast<Button>(i);
        if (button != Button::ParamSet)
            QObject::connect(&form_.button(button), &QPushButton::clicked, &form_,
                             [this, button] { activities_.click(button); });
    }
    QObject::connect(&form_.button(Button::ParamSet), &QPushButton::clicked, &form_,
                     [this] { parameterSetting_.BtnParamSet_Click(); });
    for (const PlotControls &row : PlotTable) {
        const PlotWidgets &c = form_.plotWidgets()[plotIndex(row.plot)];
        const Plot plot = row.plot;
        QObject::connect(c.zoomIn, &QPushButton::clicked, &form_,
                         [this, plot] { plots_.BtnWide_Click(plot); });
        QObject::connect(c.zoomOut, &QPushButton::clicked, &form_,
                         [this, plot] { plots_.BtnTele_Click(plot); });
    }
    QObject::connect(&form_.timerDispInterval(), &QTimer::timeout, &form_,
                     [this] { activities_.TimerDispInterval_Timer(); });
    QObject::connect(&parameters_, &Parameters::changed, &form_,
                     [this](const ParameterTexts &texts) { form_.parameterFields().show(texts); });
    form_.parameterFields().show(parameters_.texts());
    activities_.showAll();
}

StartupResult Console::start() {
    const StartupResult result = Form_Load(*board_, lock_, hooks_);
    if (result == StartupResult::LoadFailed || result == StartupResult::RunFailed) {
        // No DSP program answers: a command would wait for ever. The buttons that send one stay
        // disabled; Form_Load's message has said why, once. The parameters can still be edited.
        for (const Group group : {Group::C1, Group::C2, Group::Quiro, Group::Mode})
            activities_.disableGroup(group);
    }
    if (result != StartupResult::Refused && result != StartupResult::LibraryFailed)
        form_.show();
    return result;
}

} // namespace quiro
