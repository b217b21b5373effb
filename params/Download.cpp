#include "params/Download.h"

namespace quiro {

namespace {

bool isTapCount(NumberField field) {
    return field == NumberField::CTapSize || field == NumberField::WTapSize;
}

} // namespace

std::vector<NumberProblem> convertNumbers(const std::array<std::string_view, NumberFieldCount> &texts,
                                          ParameterValues &values) {
    std::int32_t *const taps[] = {&values.cTapSize, &values.wTapSize};
    float *const reals[] = {&values.cBeta, &values.wBeta, &values.cFreq,
                            &values.cGain, &values.wGain, &values.dGain};
    std::vector<NumberProblem> problems;
    for (std::size_t i = 0; i < NumberFieldCount; ++i) {
        const auto field = static_cast<NumberField>(i);
        NumberStatus status = NumberStatus::Ok;
        if (isTapCount(field)) {
            const LongValue v = toRoundedLong(texts[i], MinTapCount, MaxTapCount);
            status = v.status;
            if (status == NumberStatus::Ok)
                *taps[i] = v.value;
        } else {
            const SingleValue v = toSingle(texts[i]);
            status = v.status;
            if (status == NumberStatus::Ok)
                *reals[i - 2] = v.value;
        }
        if (status != NumberStatus::Ok)
            problems.push_back({field, status});
    }
    return problems;
}

void sendParameters(CommandLink &link, const ParameterValues &values) {
    link.putLong(dspmem::CmdArg1, values.cTapSize);
    link.putLong(dspmem::CmdArg2, values.wTapSize);
    link.putSingle(dspmem::CmdArg4, values.cBeta);
    link.putSingle(dspmem::CmdArg5, values.wBeta);
    link.putSingle(dspmem::CmdArg6, values.cFreq);
    link.SendCommand(Cmd::SetParams);

    link.putSingle(dspmem::CmdArg4, values.cGain);
    link.putSingle(dspmem::CmdArg5, values.wGain);
    link.putSingle(dspmem::CmdArg6, values.dGain);
    link.SendCommand(Cmd::SetGains);

    if (!values.loadsDFilter)
        return;
    link.rewindXfer();
    for (float c : values.dCoefficients)
        link.writeNextXfer(c);
    link.putLong(dspmem::CmdArg1, static_cast<std::int32_t>(values.dCoefficients.size()));
    link.SendCommand(Cmd::LoadDFilter);
}

} // namespace quiro
