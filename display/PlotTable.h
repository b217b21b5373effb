#pragma once
// The six plots of the console and the controls each one uses, found on the main window by name.
// The first three show filter coefficients as they are; the last three show converter samples,
// whose gain is divided by the converters' full scale (ConverterFullScale), so that a signal word
// at full scale reaches the edge of a plot at gain 1.

#include "contract/BoardContract.h"
#include "control/Plot.h"

#include <array>
#include <cstddef>

namespace quiro {

struct PlotControls {
    Plot plot;
    const char *picture;     // PictureBox
    const char *topLabel;    // QLabel showing "+" and the full scale
    const char *bottomLabel; // QLabel showing "-" and the full scale
    const char *zoomIn;      // QPushButton "拡大": one step down, a larger trace
    const char *zoomOut;     // QPushButton "縮小": one step up, a smaller trace
    bool signal;             // converter samples rather than coefficients
};

inline constexpr std::array<PlotControls, PlotCount> PlotTable{{
    {Plot::C1, "PictC1", "LblC1Pfs", "LblC1Mfs", "BtnC1Wide", "BtnC1Tele", false},
    {Plot::C2, "PictC2", "LblC2Pfs", "LblC2Mfs", "BtnC2Wide", "BtnC2Tele", false},
    {Plot::W, "PictW", "LblWPfs", "LblWMfs", "BtnWWide", "BtnWTele", false},
    {Plot::Prim, "PictPrim", "LblPrimPfs", "LblPrimMfs", "BtnPrimWide", "BtnPrimTele", true},
    {Plot::Error, "PictError", "LblErrorPfs", "LblErrorMfs", "BtnErrorWide", "BtnErrorTele", true},
    {Plot::Ctrl, "PictCtrl", "LblCtrlPfs", "LblCtrlMfs", "BtnCtrlWide", "BtnCtrlTele", true},
}};

constexpr const PlotControls &controlsOf(Plot plot) {
    return PlotTable[plotIndex(plot)];
}

static_assert(indexedByPlot(PlotTable), "PlotTable is indexed by Plot");

} // namespace quiro
