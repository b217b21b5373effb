#pragma once
// A plot area. (Placeholder: the drawing surface comes with the display work.)

#include <QWidget>

namespace quiro {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr) : QWidget(parent) {}
};

} // namespace quiro
