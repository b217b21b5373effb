#pragma once
// The main window: the operator's whole console. Every control is built from the inventory table
// (app/Inventory.h) as a child whose objectName is its name; controls inside a frame are children
// of the frame's QGroupBox and placed relative to it. The window has a fixed client area of
// 915 x 660 pixels.
//
// Besides the controls the window holds the two identification flags, the ten group operations
// that switch buttons together as the system moves between idle, identification and
// cancellation, the display timer, and the program's directory.

#include <QHash>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace quiro {

enum class Group { C1, C2, Quiro, Param, Mode };

class MainForm : public QWidget {
    Q_OBJECT
public:
    explicit MainForm(QWidget *parent = nullptr);

    // The control of that name, or nullptr if there is none of that kind.
    template <class T> T *control(const QString &name) const {
        return qobject_cast<T *>(controls_.value(name));
    }
    QWidget *control(const QString &name) const { return controls_.value(name); }

    // Sets the Enabled property of the group's buttons, in the group's order, and nothing else.
    // Enabling the Quiro group first disables its buttons and enables them again only when both
    // paths are identified (C1Identified and C2Identified both -1).
    void enableGroup(Group group);
    void disableGroup(Group group);

    // The display timer: 100 ms, stopped at creation. Its tick handler belongs to the run loop.
    QTimer &timerDispInterval() { return timerDispInterval_; }

    // What BtnExit and the window's close box do. Until it is set, both only close the window.
    void setExitRoutine(std::function<void()> exitRoutine) { exitRoutine_ = std::move(exitRoutine); }

    // -1 True, 0 False; only -1 counts as True.
    std::int16_t C1Identified = 0;
    std::int16_t C2Identified = 0;
    // The directory of the program's executable, set during start-up.
    QString AppDir;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void build();
    void runExitRoutine();

    QHash<QString, QWidget *> controls_;
    QTimer timerDispInterval_;
    std::function<void()> exitRoutine_;
};

} // namespace quiro
