#pragma once
// A stand-in for the main window holding only the controls the plots use, named and captioned
// as on the real window: the six picture boxes, their "+1" and "-1" labels, the twelve zoom
// buttons (disabled, as at creation) and the two count texts at their defaults.

#include "display/PictureBox.h"
#include "display/PlotTable.h"
#include "QtApplication.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <vector>

namespace quiro::test {

// The columns of `row` where the image is black: where lines were drawn.
inline std::vector<int> blackColumns(const QImage &image, int row) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, row) == qRgb(0, 0, 0))
            columns.push_back(x);
    return columns;
}

class StandInForm : private UsesQt, public QWidget {
public:
    StandInForm() {
        resize(915, 660);
        int top = 0;
        for (const PlotControls &row : PlotTable) {
            auto *box = make<PictureBox>(row.picture);
            box->setGeometry(80, top, 313, 121);
            make<QLabel>(row.topLabel)->setText(QStringLiteral("+1"));
            make<QLabel>(row.bottomLabel)->setText(QStringLiteral("-1"));
            for (const char *zoom : {row.zoomIn, row.zoomOut})
                make<QPushButton>(zoom)->setEnabled(false);
            if (findChild<QLineEdit *>(QString::fromLatin1(row.countText)) == nullptr)
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

} // namespace quiro::test
