#include "display/Plots.h"

#include <QLabel>
#include <QPushButton>

namespace quiro {

Plots::Plots(const PlotWidgetSet &widgets) : controls_(widgets) {}

void Plots::initialiseDisplay() {
    for (std::size_t i = 0; i < ScaleSteps.size(); ++i) {
        scaleLabel_[i] = QString::fromUtf8(ScaleSteps[i].label.data(),
                                           static_cast<qsizetype>(ScaleSteps[i].label.size()));
        scaleGain_[i] = ScaleSteps[i].gain;
    }
    // The coordinate systems come before the first clear, so the axes that clear draws land
    // inside the plots and show from start-up on.
    for (const PlotControls &row : PlotTable)
        picture(row.plot).setUserScale(PlotScale);
    for (const PlotControls &row : PlotTable) {
        state_[plotIndex(row.plot)].step = StartUpStep;
        setScale(row.plot);
    }
    for (const PlotControls &row : PlotTable) {
        if (row.signal) {
            const PlotWidgets &c = controls_[plotIndex(row.plot)];
            c.zoomIn->setEnabled(true);
            c.zoomOut->setEnabled(true);
        }
    }
}

void Plots::setScale(Plot plot) {
    State &s = state_[plotIndex(plot)];
    const PlotWidgets &c = controls_[plotIndex(plot)];
    const auto at = static_cast<std::size_t>(s.step);
    s.gain = scaleGain_[at];
    c.topLabel->setText(QStringLiteral("+") + scaleLabel_[at]);
    c.bottomLabel->setText(QStringLiteral("-") + scaleLabel_[at]);
    clear(plot);
}

void Plots::clear(Plot plot) {
    PictureBox &box = picture(plot);
    box.erase();
    box.line({0.0, 1.0}, {0.0, -1.0}); // the vertical axis along the left edge
    box.line({0.0, 0.0}, {1.0, 0.0});  // the zero line across the middle
}

void Plots::moveStep(Plot plot, int by) {
    State &s = state_[plotIndex(plot)];
    const int next = s.step + by;
    if (next < NarrowestStep || next > WidestStep)
        return;
    s.step = static_cast<std::int16_t>(next);
    setScale(plot);
}

void Plots::BtnTele_Click(Plot plot) {
    moveStep(plot, +1);
}
void Plots::BtnWide_Click(Plot plot) {
    moveStep(plot, -1);
}

void Plots::draw(Plot plot, const Trace &trace) {
    const bool signal = controlsOf(plot).signal;
    PictureBox &box = picture(plot);
    clear(plot);
    if (trace.values.empty())
        return;
    const double dx = 1.0 / trace.span;
    const double gain = this->gain(plot);
    // A signal's factor is formed once, in single precision, as the DSP side's samples are.
    const float factor = plotSingle(gain / ConverterFullScale);

    QPointF previous;
    for (std::size_t i = 0; i < trace.values.size(); ++i) {
        const double x = dx * static_cast<double>(i);
        const float value = trace.values[i];
        const double y = signal ? plotSingle(static_cast<double>(value) * factor)
                                : static_cast<double>(value) * gain;
        const QPointF point(plotSingle(x), plotSingle(y));
        if (i != 0)
            box.line(previous, point);
        previous = point;
    }
}

} // namespace quiro
