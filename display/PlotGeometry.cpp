#include "display/PlotGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quiro {

QPointF UserScale::toDevice(QPointF user, QSize pixels) const {
    return {(user.x() - left) * pixels.width() / width,
            (user.y() - top) * pixels.height() / height};
}

std::optional<QLineF> clipSegment(QLineF segment, QRectF area) {
    const double x0 = segment.x1();
    const double y0 = segment.y1();
    const double dx = segment.x2() - x0;
    const double dy = segment.y2() - y0;
    double enter = 0.0;
    double leave = 1.0;
    // Each edge as p * t <= q: the segment is inside that edge for such t.
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - area.left(), area.right() - x0, y0 - area.top(), area.bottom() - y0};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0)
                return std::nullopt; // parallel to this edge and outside it
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0.0)
            enter = std::max(enter, t);
        else
            leave = std::min(leave, t);
        if (enter > leave)
            return std::nullopt;
    }
    return QLineF(x0 + enter * dx, y0 + enter * dy, x0 + leave * dx, y0 + leave * dy);
}

float plotSingle(double value) {
    constexpr float largest = std::numeric_limits<float>::max();
    if (std::isnan(value))
        return std::signbit(value) ? -largest : largest;
    if (value > largest)
        return largest;
    if (value < -largest)
        return -largest;
    return static_cast<float>(value);
}

} // namespace quiro
