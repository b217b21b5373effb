#pragma once
// Where each plot's values come from: the command that fills the transfer buffer with them and
// the parameter text that holds the plot's tap count; and the reading of a trace after a fetch.

#include "contract/BoardContract.h"
#include "control/Plot.h"
#include "dsp/CommandLink.h"
#include "params/ParameterCheck.h"

#include <array>
#include <optional>

namespace quiro {

struct PlotSource {
    Plot plot;
    Cmd fetch;                         // fills the transfer buffer with what the plot shows
    QString ParameterTexts::*tapCount; // the plot shows FetchShortfall fewer values than this
};

inline constexpr std::array<PlotSource, PlotCount> PlotSources{{
    {Plot::C1, Cmd::C1Fetch, &ParameterTexts::cTapSize},
    {Plot::C2, Cmd::C2Fetch, &ParameterTexts::cTapSize},
    {Plot::W, Cmd::WFetch, &ParameterTexts::wTapSize},
    {Plot::Prim, Cmd::PrimFetch, &ParameterTexts::cTapSize},
    {Plot::Error, Cmd::ErrorFetch, &ParameterTexts::cTapSize},
    {Plot::Ctrl, Cmd::CtrlFetch, &ParameterTexts::cTapSize},
}};

constexpr const PlotSource &sourceOf(Plot plot) {
    return PlotSources[plotIndex(plot)];
}

static_assert(indexedByPlot(PlotSources), "PlotSources is indexed by Plot");

// The span of a plot, n = T - FetchShortfall, from the text T of its tap count; nothing when the
// text is not a finite number or n is not positive (n = 0 would make the x step 1/0).
std::optional<double> pointSpan(const QString &tapCountText);

// The values a trace of span n holds: i = 0, 1, ... while i <= n - 1, never more than the
// transfer buffer holds.
int pointCount(double span);

// Reads what the plot's fetch command has just left in the transfer buffer, from its start, one
// board read per value; a failed read repeats the value before it (0 for the first).
Trace readTrace(CommandLink &link, Plot plot, const ParameterTexts &texts);

} // namespace quiro
