#pragma once
// A plot area: a drawing surface with a user coordinate system, erase and straight black lines.
//
// Lines are drawn into a retained image as they come, so a plot keeps its trace when another
// window covers it; the screen is refreshed from that image the next time the event loop runs,
// once for any number of lines drawn meanwhile. Anything outside the area is cut off at its
// edges, however far outside it lies.

#include "display/PlotGeometry.h"

#include <QImage>
#include <QLineF>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace quiro {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);
    ~PictureBox() override;

    // Sets the user coordinate system used by line(). Until it is set, coordinates are pixels
    // from the top-left corner.
    void setUserScale(const UserScale &scale);
    UserScale userScale() const;

    // Erases the whole area to the background and forgets the lines drawn so far.
    void erase();
    // A black line between two points in user coordinates. Infinite or NaN coordinates are
    // taken as the farthest single-precision value on their side.
    void line(QPointF from, QPointF to);

    // Test seam: from this call on, keeps the lines drawn since the last erase, in user
    // coordinates, as line() received them. The program never keeps them.
    void keepLineLog() { keepLines_ = true; }
    const std::vector<QLineF> &lines() const { return lines_; }
    // The retained picture, with every line drawn so far (the size the box had at its last
    // erase or line).
    const QImage &image() const;
    QColor background() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPainter &painter();
    void matchSize();
    void finishPainting() const;
    void scheduleRefresh();

    QImage image_;
    // Open while lines are being drawn, so a trace does not pay for a painter per segment;
    // closed before the image is shown or handed out.
    mutable std::unique_ptr<QPainter> painter_;
    std::optional<UserScale> scale_;
    bool keepLines_ = false;
    std::vector<QLineF> lines_;
    bool refreshPending_ = false;
};

} // namespace quiro
