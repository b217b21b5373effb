#pragma once
// The six plots of the main window: their scales and their drawing.
//
// Each plot has a step into the twenty-step scale table and a gain, the reciprocal of the full
// scale at that step. The zoom handlers move a plot's step one place and apply it: the gain is
// taken, the edge labels rewritten and the plot cleared to its two axes. A drawing takes the
// values it is handed, scales each by the plot's gain (a signal's by the gain over the
// converters' full scale) and joins them as one black polyline across the plot. Nothing here
// reads the board or sends a command.
//
// Everything runs on the window's thread; a drawing never yields, so a zoom click can only fall
// between two drawings and takes effect with the next one.

#include "control/Plot.h"
#include "display/PictureBox.h"
#include "display/PlotTable.h"
#include "display/ScaleTable.h"

#include <QString>

#include <array>
#include <cstdint>

class QLabel;
class QPushButton;

namespace quiro {

// The controls of one plot on the main window (named in PlotTable).
struct PlotWidgets {
    PictureBox *picture;
    QLabel *topLabel;
    QLabel *bottomLabel;
    QPushButton *zoomIn;
    QPushButton *zoomOut;
};
using PlotWidgetSet = std::array<PlotWidgets, PlotTable.size()>;

class Plots {
public:
    // Takes the plots' controls, indexed by Plot. Their zoom buttons' clicks are the caller's to
    // connect to BtnWide_Click and BtnTele_Click.
    explicit Plots(const PlotWidgetSet &widgets);

    // The last step of a successful start-up: fills the scale table, gives every plot its
    // coordinate system and step 7 (full scale 0.2, gain 5) with its axes drawn, and enables
    // the zoom buttons of the three signal plots. Until it runs every step and gain is 0 and
    // the labels keep their design-time captions.
    void initialiseDisplay();

    // Applies the plot's step: gain, edge labels, and a clear.
    void setScale(Plot plot);
    // Erases the plot and draws its axes: the left edge and the zero line.
    void clear(Plot plot);
    // Clears the plot and draws the trace: point i at x = i / span, its value scaled to y.
    void draw(Plot plot, const Trace &trace);

    // The zoom buttons' handlers. At the end of the table they change nothing, not even by
    // clearing the plot.
    void BtnTele_Click(Plot plot); // "縮小": one step up
    void BtnWide_Click(Plot plot); // "拡大": one step down

    std::int16_t step(Plot plot) const { return state_[plotIndex(plot)].step; }
    double gain(Plot plot) const { return state_[plotIndex(plot)].gain; }
    PictureBox &picture(Plot plot) const { return *controls_[plotIndex(plot)].picture; }

private:
    struct State {
        std::int16_t step = 0;
        double gain = 0.0;
    };

    void moveStep(Plot plot, int by);

    PlotWidgetSet controls_;
    std::array<State, PlotTable.size()> state_{};
    // The scale table as start-up fills it; one entry beyond the last step stays empty.
    std::array<QString, ScaleSteps.size() + 1> scaleLabel_{};
    std::array<double, ScaleSteps.size() + 1> scaleGain_{};
};

} // namespace quiro
