#pragma once
// The main window: the operator's whole console. Every control is built from the inventory table
// (window/Inventory.h) as a child whose objectName is its name; controls inside a frame are
// children of the frame's QGroupBox and placed relative to it. The window has a fixed client area
// of ClientWidth x ClientHeight pixels.
//
// Besides the controls the window holds the display timer. The controls the program drives are
// found once, when the window is built: the buttons the activities switch, the mode text, the
// nine parameter fields and each plot's widgets; a missing name stops the program there.

#include "control/Activities.h"
#include "display/Plots.h"
#include "window/FieldText.h"
#include "window/FormControls.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;

namespace quiro {

class MainForm : public QWidget {
    Q_OBJECT
public:
    explicit MainForm(QWidget *parent = nullptr);

    // The control of that name, or nullptr if there is none of that kind.
    template <class T> T *control(const QString &name) const { return controls_->control<T>(name); }
    QWidget *control(const QString &name) const { return controls_->control(name); }

    // The button the activities know as `button`.
    QPushButton &button(Button button) const { return *buttons_[static_cast<std::size_t>(button)]; }
    QLineEdit &textMode() const { return *textMode_; }
    // The nine parameter fields, which only show the parameter set.
    ParameterFields &parameterFields() { return *parameterFields_; }
    // Each plot's picture, labels and zoom buttons, indexed by Plot.
    const PlotWidgetSet &plotWidgets() const { return plotWidgets_; }

    // The display timer: DisplayTick, stopped at creation. Its tick handler belongs to the run
    // loop.
    QTimer &timerDispInterval() { return timerDispInterval_; }

    // What BtnExit and the window's close box do. Until it is set, both only close the window.
    void setExitRoutine(std::function<void()> exitRoutine) { exitRoutine_ = std::move(exitRoutine); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void runExitRoutine();

    std::unique_ptr<FormControls> controls_;
    std::array<QPushButton *, ButtonCount> buttons_{};
    QLineEdit *textMode_ = nullptr;
    std::unique_ptr<ParameterFields> parameterFields_;
    PlotWidgetSet plotWidgets_{};
    QTimer timerDispInterval_;
    std::function<void()> exitRoutine_;
};

} // namespace quiro
