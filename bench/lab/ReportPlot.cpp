#include "ReportPlot.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace lab {

bool writePlot(const QString &file, const QString &title, const QString &xLabel,
               const QString &yLabel, const std::vector<Series> &series,
               const std::vector<Marker> &markers, bool logX) {
    constexpr int W = 1000, H = 560, Left = 70, Right = 20, Top = 40, Bottom = 50;
    QImage img(W, H, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);

    auto tx = [&](double x) { return logX ? std::log10(std::max(x, 1e-9)) : x; };
    double x0 = std::numeric_limits<double>::max(), x1 = -x0, y0 = x0, y1 = -x0;
    for (const auto &s : series)
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            if (logX && s.x[i] <= 0)
                continue;
            x0 = std::min(x0, tx(s.x[i])), x1 = std::max(x1, tx(s.x[i]));
            y0 = std::min(y0, s.y[i]), y1 = std::max(y1, s.y[i]);
        }
    if (!(x1 > x0) || !(y1 > y0))
        return false;
    y0 = std::floor(y0 / 10) * 10, y1 = std::ceil(y1 / 10) * 10;
    auto px = [&](double x) { return Left + (tx(x) - x0) / (x1 - x0) * (W - Left - Right); };
    auto py = [&](double y) { return Top + (y1 - y) / (y1 - y0) * (H - Top - Bottom); };

    g.setPen(QColor(220, 220, 220));
    for (double y = y0; y <= y1; y += 10)
        g.drawLine(QPointF(Left, py(y)), QPointF(W - Right, py(y)));
    g.setPen(Qt::black);
    g.drawRect(Left, Top, W - Left - Right, H - Top - Bottom);
    for (double y = y0; y <= y1; y += 10)
        g.drawText(QRectF(0, py(y) - 8, Left - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(y));
    for (int i = 0; i <= 5; ++i) {
        const double t = x0 + (x1 - x0) * i / 5;
        const double v = logX ? std::pow(10.0, t) : t;
        g.drawText(QRectF(px(logX ? v : t) - 40, H - Bottom + 4, 80, 16), Qt::AlignCenter,
                   QString::number(v, 'f', v < 100 ? 1 : 0));
    }
    g.drawText(QRectF(0, 8, W, 24), Qt::AlignCenter, title);
    g.drawText(QRectF(0, H - 24, W, 20), Qt::AlignCenter, xLabel);
    g.save();
    g.translate(14, H / 2.0);
    g.rotate(-90);
    g.drawText(QRectF(-100, -10, 200, 20), Qt::AlignCenter, yLabel);
    g.restore();

    g.setPen(QPen(QColor(150, 150, 150), 1, Qt::DashLine));
    // Marker labels take three rows in turn, so that close markers do not write over each other.
    int row = 0;
    for (const auto &m : markers) {
        g.drawLine(QPointF(px(m.x), Top), QPointF(px(m.x), H - Bottom));
        g.drawText(QPointF(px(m.x) + 3, Top + 14 + 14 * (row++ % 3)), m.label);
    }
    int legend = 3; // below the marker labels
    for (const auto &s : series) {
        QPainterPath path;
        bool started = false;
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            if (logX && s.x[i] <= 0)
                continue;
            const QPointF p(px(s.x[i]), py(s.y[i]));
            started ? path.lineTo(p) : path.moveTo(p);
            started = true;
        }
        g.setPen(QPen(s.colour, 1.3));
        if (s.dots) {
            for (std::size_t i = 0; i < s.x.size(); ++i)
                g.drawEllipse(QPointF(px(s.x[i]), py(s.y[i])), 4, 4);
        } else {
            g.drawPath(path);
        }
        g.drawText(QPointF(W - Right - 260, Top + 18 + 16 * legend++), s.name);
    }
    return img.save(file, "PNG");
}

} // namespace lab
