#pragma once
// A stand-in for the main window holding only the controls the plots use, named and captioned as
// on the real one: six picture boxes, their "+1"/"-1" labels, twelve zoom buttons (disabled, as at
// creation) and the two count texts at "256".

#include "QtApplication.h"
#include "display/PictureBox.h"
#include "display/PlotTable.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace quiro::test {

class StandInForm : private UsesQt, public QWidget {
public:
    StandInForm() {
        resize(915, 660);
        int top = 0;
        for (const PlotControls &row : PlotTable) {
            make<PictureBox>(row.picture)->setGeometry(80, top, 313, 121);
            make<QLabel>(row.topLabel)->setText(QStringLiteral("+1"));
            make<QLabel>(row.bottomLabel)->setText(QStringLiteral("-1"));
            for (const char *zoom : {row.zoomIn, row.zoomOut})
                make<QPushButton>(zoom)->setEnabled(false);
            if (get<QLineEdit>(row.countText) == nullptr)
                make<QLineEdit>(row.countText)->setText(QStringLiteral("256"));
            top += 125;
        }
    }

    template <typename Control> Control *get(const char *name) const {
        return findChild<Control *>(QString::fromLatin1(name));
    }

private:
    template <typename Control> Control *make(const char *name) {
        auto *control = new Control(this);
        control->setObjectName(QString::fromLatin1(name));
        return control;
    }
};

// Counts the paints a widget receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace quiro::test
