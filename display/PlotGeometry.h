#pragma once
// The arithmetic behind the plot areas, kept free of widgets so it can be checked on its own:
// the user coordinate system of a picture box, the cutting of a line at the area's edges, the
// taming of values that a painter cannot take.

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSize>

#include <optional>

namespace quiro {

// A picture box's user coordinate system: the user coordinates of its top-left corner and the
// extent of its area (a negative height makes y grow upwards). The plots use left 0, top +1,
// width 1, height -2: x from 0 to 1 left to right, y from +1 at the top to -1 at the bottom.
struct UserScale {
    double left = 0.0;
    double top = 0.0;
    double width = 1.0;
    double height = 1.0;

    // Where a point in user coordinates falls on an area of `pixels`, in device pixels.
    QPointF toDevice(QPointF user, QSize pixels) const;

    friend bool operator==(const UserScale &, const UserScale &) = default;
};

inline constexpr UserScale PlotScale{0.0, 1.0, 1.0, -2.0};

// The part of `segment` that lies inside `area` (Liang-Barsky), or nothing if it misses the
// area. Works for any finite coordinates, however far outside.
std::optional<QLineF> clipSegment(QLineF segment, QRectF area);

// A coordinate as single precision, never infinite or NaN: values beyond the single range and
// infinities become the largest single of their sign, NaN the largest of its sign bit. A point
// so placed still lies far outside the area on the side its value points to.
float plotSingle(double value);

} // namespace quiro
