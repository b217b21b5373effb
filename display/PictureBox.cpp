#include "display/PictureBox.h"

#include <QPaintEvent>
#include <QPainter>

namespace quiro {

namespace {
// A picture box on the console's form is 313 x 121 pixels.
constexpr QSize DefaultSize{313, 121};
} // namespace

PictureBox::PictureBox(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent); // every paint covers the whole area from the image
    resize(DefaultSize);
    image_ = QImage(DefaultSize, QImage::Format_RGB32);
    image_.fill(background());
}

PictureBox::~PictureBox() {
    finishPainting();
}

QSize PictureBox::sizeHint() const {
    return DefaultSize;
}

QColor PictureBox::background() const {
    return palette().color(QPalette::Window);
}

void PictureBox::setUserScale(const UserScale &scale) {
    scale_ = scale;
}

UserScale PictureBox::userScale() const {
    if (scale_)
        return *scale_;
    return {0.0, 0.0, static_cast<double>(image_.width()), static_cast<double>(image_.height())};
}

QPainter &PictureBox::painter() {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setPen(QPen(Qt::black, 0)); // one pixel wide, whatever the scale
        painter_->setRenderHint(QPainter::Antialiasing, false);
    }
    return *painter_;
}

void PictureBox::finishPainting() const {
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

void PictureBox::scheduleRefresh() {
    if (!refreshPending_) {
        refreshPending_ = true;
        update();
    }
}

void PictureBox::erase() {
    matchSize();
    finishPainting();
    image_.fill(background());
    lines_.clear();
    scheduleRefresh();
}

void PictureBox::line(QPointF from, QPointF to) {
    const QLineF asked(plotSingle(from.x()), plotSingle(from.y()), plotSingle(to.x()),
                       plotSingle(to.y()));
    if (keepLines_)
        lines_.push_back(asked);
    matchSize();

    const UserScale scale = userScale();
    const QLineF device(scale.toDevice(asked.p1(), image_.size()),
                        scale.toDevice(asked.p2(), image_.size()));
    // Cut in double precision first, with a pixel to spare, so the painter only ever sees
    // coordinates near the area and draws the edge pixels itself.
    const QRectF area = QRectF(QPointF(0, 0), QSizeF(image_.size())).adjusted(-1, -1, 1, 1);
    if (const std::optional<QLineF> visible = clipSegment(device, area)) {
        painter().drawLine(*visible);
        scheduleRefresh();
    }
}

const QImage &PictureBox::image() const {
    finishPainting();
    return image_;
}

void PictureBox::paintEvent(QPaintEvent *event) {
    matchSize();
    finishPainting();
    refreshPending_ = false;
    QPainter screen(this);
    screen.drawImage(event->rect(), image_, event->rect());
}

void PictureBox::matchSize() {
    // A hidden widget hears of its size only when shown, so the image follows the size itself.
    const QSize wanted = size().expandedTo(QSize(1, 1));
    if (wanted == image_.size())
        return;
    finishPainting();
    QImage resized(wanted, QImage::Format_RGB32);
    resized.fill(background());
    QPainter copy(&resized);
    copy.drawImage(0, 0, image_);
    copy.end();
    image_ = std::move(resized);
}

} // namespace quiro
