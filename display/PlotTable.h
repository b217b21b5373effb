#pragma once
// The six plots of the console and the controls each one uses, found on the main window by name.
// The first three show filter coefficients as they are; the last three show converter samples,
// whose gain is divided by the converters' full scale.

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
    const char *countText;   // QLineEdit holding the tap count; the plot shows five fewer values
    bool signal;             // converter samples rather than coefficients
    Cmd fetch;               // the command that fills the transfer buffer for this plot
};

inline constexpr std::array<PlotControls, 6> PlotTable{{
    {Plot::C1, "PictC1", "LblC1Pfs", "LblC1Mfs", "BtnC1Wide", "BtnC1Tele", "TextCTapSize", false,
     Cmd::C1Fetch},
    {Plot::C2, "PictC2", "LblC2Pfs", "LblC2Mfs", "BtnC2Wide", "BtnC2Tele", "TextCTapSize", false,
     Cmd::C2Fetch},
    {Plot::W, "PictW", "LblWPfs", "LblWMfs", "BtnWWide", "BtnWTele", "TextWTapSize", false,
     Cmd::WFetch},
    {Plot::Prim, "PictPrim", "LblPrimPfs", "LblPrimMfs", "BtnPrimWide", "BtnPrimTele",
     "TextCTapSize", true, Cmd::PrimFetch},
    {Plot::Error, "PictError", "LblErrorPfs", "LblErrorMfs", "BtnErrorWide", "BtnErrorTele",
     "TextCTapSize", true, Cmd::ErrorFetch},
    {Plot::Ctrl, "PictCtrl", "LblCtrlPfs", "LblCtrlMfs", "BtnCtrlWide", "BtnCtrlTele",
     "TextCTapSize", true, Cmd::CtrlFetch},
}};

constexpr const PlotControls &controlsOf(Plot plot) {
    return PlotTable[plotIndex(plot)];
}

static_assert(
    [] {
        for (std::size_t i = 0; i < PlotTable.size(); ++i)
            if (plotIndex(PlotTable[i].plot) != i)
                return false;
        return true;
    }(),
    "PlotTable is indexed by Plot");

// Converter counts at full scale: a signal word of 2048 reaches the edge of a plot at gain 1.
inline constexpr double SampleFullScale = 2048.0;

} // namespace quiro
