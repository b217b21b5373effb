#include "params/Download.h"

namespace quiro {

namespace {

// The value each field's text becomes: an integer for a tap count, a single otherwise.
struct NumberTarget {
    NumberField field;
    std::int32_t ParameterValues::*tapCount;
    float ParameterValues::*real;
};

constexpr NumberTarget numberTargets[] = {
    {NumberField::CTapSize, &ParameterValues::cTapSize, nullptr},
    {NumberField::WTapSize, &ParameterValues::wTapSize, nullptr},
    {NumberField::CBeta, nullptr, &ParameterValues::cBeta},
    {NumberField::WBeta, nullptr, &ParameterValues::wBeta},
    {NumberField::CFreq, nullptr, &ParameterValues::cFreq},
    {NumberField::CGain, nullptr, &ParameterValues::cGain},
    {NumberField::WGain, nullptr, &ParameterValues::wGain},
    {NumberField::DGain, nullptr, &ParameterValues::dGain},
};

static_assert(inFieldOrder(numberTargets), "numberTargets is indexed by NumberField");
static_assert(
    [] {
        for (const NumberTarget &t : numberTargets)
            if ((t.tapCount != nullptr) != isTapCount(t.field) ||
                (t.real != nullptr) == isTapCount(t.field))
                return false;
        return true;
    }(),
    "each field of numberTargets has the one value its kind needs");

} // namespace

std::vector<NumberProblem>
convertNumbers(const std::array<std::string_view, NumberFieldCount> &texts,
               ParameterValues &values) {
    std::vector<NumberProblem> problems;
    for (const NumberTarget &t : numberTargets) {
        const std::string_view text = texts[static_cast<std::size_t>(t.field)];
        NumberStatus status = NumberStatus::Ok;
        if (t.tapCount) {
            const LongValue v = toRoundedLong(text, MinTapCount, MaxTapCount);
            status = v.status;
            if (status == NumberStatus::Ok)
                values.*t.tapCount = v.value;
        } else {
            const SingleValue v = toSingle(text);
            status = v.status;
            if (status == NumberStatus::Ok)
                values.*t.real = v.value;
        }
        if (status != NumberStatus::Ok)
            problems.push_back({t.field, status});
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
