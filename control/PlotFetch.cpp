#include "control/PlotFetch.h"

#include <QLocale>

#include <cmath>

namespace quiro {

std::optional<double> pointSpan(const QString &tapCountText) {
    bool ok = false;
    const double total = QLocale::c().toDouble(tapCountText.trimmed(), &ok);
    if (!ok || !std::isfinite(total))
        return std::nullopt;
    const double span = total - FetchShortfall;
    if (!(span > 0.0))
        return std::nullopt;
    return span;
}

int pointCount(double span) {
    if (!(span >= 1.0))
        return 0;
    if (span >= dspmem::XferWords)
        return dspmem::XferWords;
    return static_cast<int>(std::floor(span));
}

Trace readTrace(CommandLink &link, Plot plot, const ParameterTexts &texts) {
    Trace trace;
    link.rewindXfer();
    const std::optional<double> span = pointSpan(texts.*sourceOf(plot).tapCount);
    if (!span)
        return trace; // not a number, or nothing to span: the axes alone
    trace.span = *span;
    trace.values.resize(static_cast<std::size_t>(pointCount(*span)));
    float value = 0.0F; // the last value read; a failed read leaves it as it was
    for (float &v : trace.values) {
        link.readNextXfer(value);
        v = value;
    }
    return trace;
}

} // namespace quiro
