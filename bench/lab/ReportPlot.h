#pragma once
// PNG line plots for the lab report, drawn offscreen with QPainter.

#include <QColor>
#include <QString>

#include <vector>

namespace lab {

struct Series {
    QString name;
    QColor colour;
    std::vector<double> x, y;
    bool dots = false; // points instead of a line
};

struct Marker {
    double x;
    QString label;
};

// Draws the series on shared axes and writes a PNG; false if it cannot be written.
bool writePlot(const QString &file, const QString &title, const QString &xLabel,
               const QString &yLabel, const std::vector<Series> &series,
               const std::vector<Marker> &markers = {}, bool logX = false);

} // namespace lab
