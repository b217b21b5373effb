#include "dspprog/Quiros.h"

#include "contract/BoardContract.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace quiros {

namespace mem = quiro::dspmem;
using quiro::longOfWord;
using quiro::singleOfWord;
using quiro::wordOfLong;
using quiro::wordOfSingle;

using quiro::Cmd;

constexpr Quiros::Command Quiros::Commands[] = {
    {Cmd::C1IdentStart, &Quiros::startC1},    {Cmd::C1Fetch, &Quiros::fetchC1},
    {Cmd::C2IdentStart, &Quiros::startC2},    {Cmd::C2Fetch, &Quiros::fetchC2},
    {Cmd::IdentStop, &Quiros::stopActivity},  {Cmd::ModeOff, &Quiros::modeOff},
    {Cmd::RunStop, &Quiros::stopActivity},    {Cmd::WFetch, &Quiros::fetchW},
    {Cmd::SetParams, &Quiros::setParams},     {Cmd::C1Clear, &Quiros::clearC1},
    {Cmd::C2Clear, &Quiros::clearC2},         {Cmd::WClear, &Quiros::clearW},
    {Cmd::LoadDFilter, &Quiros::loadDFilter}, {Cmd::SetGains, &Quiros::setGains},
    {Cmd::CaptureStart, &Quiros::captureStart}, {Cmd::CaptureQuery, &Quiros::captureQuery},
    {Cmd::PrimFetch, &Quiros::fetchPrim},     {Cmd::ErrorFetch, &Quiros::fetchError},
    {Cmd::CtrlFetch, &Quiros::fetchCtrl},     {Cmd::Mode1, &Quiros::mode1},
    {Cmd::Mode2, &Quiros::mode2},             {Cmd::Mode3, &Quiros::mode3},
};

// Each command of the contract has exactly one entry, and the table holds nothing else.
constexpr bool Quiros::coversEveryCommand() {
    if (std::size(Commands) != std::size(quiro::AllCommands))
        return false;
    for (const Cmd code : quiro::AllCommands) {
        int entries = 0;
        for (const Command &c : Commands)
            entries += c.code == code ? 1 : 0;
        if (entries != 1)
            return false;
    }
    return true;
}

Quiros::Quiros(const KestoDspHost &host, std::uint64_t seed) : host_(host), noise_(seed * 11 + 5) {
    c1_.setTaps(static_cast<std::size_t>(cTaps_));
    c2_.setTaps(static_cast<std::size_t>(cTaps_));
    w_.setTaps(static_cast<std::size_t>(wTaps_));
    dFilter_.setTaps(1);
    dFilter_.setCoefficient(0, 1.0f);
    filteredPower_.setLength(static_cast<std::size_t>(wTaps_));
    put(mem::CmdAck, 0);
}

// --- samples --------------------------------------------------------------------------------

std::int32_t Quiros::sample(std::int32_t detection, std::int32_t error) {
    float y = 0.0f;
    if (activity_ == Activity::IdentC1 || activity_ == Activity::IdentC2)
        y = identify(static_cast<float>(detection), static_cast<float>(error));
    else if (activity_ == Activity::Cancel)
        y = cancel(static_cast<float>(detection), static_cast<float>(error));
    const std::int32_t out = kesto::toCounts(y); // never beyond the converter
    capture(detection, error, out);
    output_.push(static_cast<float>(out));
    return out;
}

// LMS identification: the path's model predicts the microphone from the excitation already sent
// (output_ holds the outputs up to the previous sample: tap 0 is the converter latency).
float Quiros::identify(float detection, float error) {
    LmsFilter &path = activity_ == Activity::IdentC1 ? c1_ : c2_;
    const float target = activity_ == Activity::IdentC1 ? detection : error;
    const float e = target - path(output_);
    path.adapt(output_, betaC_ / (IdentUnit * IdentUnit) * e);
    // Next excitation: white noise through the D filter, times the D gain.
    excitation_.push(ExcitationRms * noise_());
    return gainD_ * dFilter_(excitation_);
}

// Filtered-x LMS with the loudspeaker's feedback to the detection microphone removed through C1.
float Quiros::cancel(float detection, float error) {
    const float x = detection - gainC_ * c1_(output_);
    // The filtered reference for this sample: past references through C2 (tap 0 = latency).
    const float xf = gainC_ * gainW_ * c2_(reference_);
    reference_.push(x);
    filtered_.push(xf);
    const float power = filteredPower_(xf);
    if (mode_ == CancelMode::FxLms || mode_ == CancelMode::NormalisedFxLms) {
        // 81: a fixed step; 82: the step scaled by the filtered reference's energy over W.
        const float mu = mode_ == CancelMode::FxLms
                             ? betaW_ / (CancelUnit * CancelUnit)
                             : NormalisedStep * betaW_ / (static_cast<float>(wTaps_) * (power + 1.0f));
        w_.adapt(filtered_, -mu * error);
    }
    const float u = w_(reference_);
    return mode_ == CancelMode::Off ? 0.0f : gainW_ * u;
}

void Quiros::capture(std::int32_t detection, std::int32_t error, std::int32_t control) {
    if (capFilled_ >= capLength_)
        return;
    const auto i = static_cast<std::size_t>(capFilled_++);
    capDetection_[i] = static_cast<float>(detection);
    capError_[i] = static_cast<float>(error);
    capControl_[i] = static_cast<float>(control);
}

// --- mailbox --------------------------------------------------------------------------------

bool Quiros::service() {
    const std::int32_t request = longOfWord(get(mem::CmdRequest));
    if (!acked_ && request == 1) {
        execute(longOfWord(get(mem::CmdCode))); // results are in place before the acknowledgement
        put(mem::CmdAck, wordOfLong(1));
        acked_ = true;
        return true;
    }
    if (acked_ && request == 0) {
        put(mem::CmdAck, wordOfLong(0));
        acked_ = false;
        return true;
    }
    return false;
}

void Quiros::execute(std::int32_t code) {
    // The output check catches a diverged filter at its next sample; this catches it before a
    // fetch can hand it to the PC.
    for (Fir *f : {static_cast<Fir *>(&c1_), static_cast<Fir *>(&c2_), static_cast<Fir *>(&w_)})
        f->resetIfNonFinite();
    static_assert(coversEveryCommand(), "the command table must hold every command once");
    for (const Command &c : Commands)
        if (static_cast<std::int32_t>(c.code) == code)
            return (this->*c.run)();
    // Any other number is acknowledged and ignored.
}

float Quiros::argSingle(std::uint32_t address) const { return singleOfWord(get(address)); }
std::int32_t Quiros::argLong(std::uint32_t address) const { return longOfWord(get(address)); }

void Quiros::fetch(const Fir &filter, std::int32_t taps) {
    const std::int32_t n = std::clamp(taps - 5, 0, XferWords);
    for (std::int32_t i = 0; i < n; ++i)
        put(mem::XferBuf + 4u * static_cast<std::uint32_t>(i),
            wordOfSingle(filter.coefficient(static_cast<std::size_t>(i))));
}

void Quiros::fetchSignal(const std::array<float, XferWords> &signal) {
    const std::int32_t n = std::clamp(cTaps_ - 5, 0, XferWords);
    for (std::int32_t i = 0; i < n; ++i)
        put(mem::XferBuf + 4u * static_cast<std::uint32_t>(i),
            wordOfSingle(i < capFilled_ ? signal[static_cast<std::size_t>(i)] : 0.0f));
}

void Quiros::startIdent(Activity which) { activity_ = which; }

void Quiros::stopActivity() {
    activity_ = Activity::Idle;
    mode_ = CancelMode::Off;
}

void Quiros::setMode(CancelMode m) {
    if (activity_ != Activity::Cancel) {
        // A run starts with its first mode: fresh delay lines, W as it stands.
        reference_.clear();
        filtered_.clear();
        filteredPower_.clear();
    }
    activity_ = Activity::Cancel;
    mode_ = m;
}

namespace {
// A step size or gain: finite values are taken, anything else turns the quantity off.
float finiteOr0(float v) { return std::isfinite(v) ? v : 0.0f; }
} // namespace

void Quiros::setParams() {
    cTaps_ = std::clamp(argLong(mem::CmdArg1), MinTaps, MaxTaps);
    wTaps_ = std::clamp(argLong(mem::CmdArg2), MinTaps, MaxTaps);
    betaC_ = std::max(0.0f, finiteOr0(argSingle(mem::CmdArg4)));
    betaW_ = std::max(0.0f, finiteOr0(argSingle(mem::CmdArg5)));
    c1_.setTaps(static_cast<std::size_t>(cTaps_));
    c2_.setTaps(static_cast<std::size_t>(cTaps_));
    w_.setTaps(static_cast<std::size_t>(wTaps_));
    filteredPower_.setLength(static_cast<std::size_t>(wTaps_));
    const float hz = argSingle(mem::CmdArg6);
    if (std::isfinite(hz) && hz > 0) {
        rate_ = std::clamp(static_cast<double>(hz), 1000.0, 100000.0);
        if (host_.set_rate)
            host_.set_rate(host_.ctx, rate_);
    }
}

void Quiros::setGains() {
    gainC_ = finiteOr0(argSingle(mem::CmdArg4));
    gainW_ = finiteOr0(argSingle(mem::CmdArg5));
    gainD_ = finiteOr0(argSingle(mem::CmdArg6));
}

void Quiros::loadDFilter() {
    const std::int32_t n = std::clamp(argLong(mem::CmdArg1), 0, XferWords);
    dFilter_.setTaps(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i)
        dFilter_.setCoefficient(static_cast<std::size_t>(i),
                                argSingle(mem::XferBuf + 4u * static_cast<std::uint32_t>(i)));
}

void Quiros::captureStart() {
    capLength_ = std::clamp(cTaps_ - 5, 1, XferWords);
    capFilled_ = 0;
    captureStarted_ = true;
}

void Quiros::captureQuery() {
    const bool complete = captureStarted_ && capFilled_ >= capLength_;
    put(mem::CmdArg1, wordOfLong(complete ? 0 : 1));
}

} // namespace quiros
