#include "dspprog/Quiros.h"

#include "contract/BoardContract.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <numbers>

namespace quiros {

namespace mem = quiro::dspmem;
using quiro::longOfWord;
using quiro::singleOfWord;
using quiro::wordOfLong;
using quiro::wordOfSingle;

namespace {
constexpr float PowerFloor = DivergenceGuard::PowerFloor; // counts^2
constexpr float ClipLeak = 0.99f; // W's shrink on a sample whose output clips
constexpr float Leak = 1e-3f;     // W's leakage relative to the step (see docs)
constexpr std::int32_t GuardBlock = DivergenceGuard::Block;
} // namespace

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

Quiros::Quiros(const KestoDspHost &host, std::uint64_t seed)
    : host_(host), noise_(seed * 11 + 5), follower_(MaxTaps, XferWords, seed * 13 + 7) {
    c1_.setTaps(static_cast<std::size_t>(cTaps_));
    c2_.setTaps(static_cast<std::size_t>(cTaps_));
    w_.setTaps(static_cast<std::size_t>(wTaps_));
    dFilter_.setTaps(1);
    dFilter_.setCoefficient(0, 1.0f);
    designBand();
    outputEnergy_.setLength(static_cast<std::size_t>(cTaps_));
    updateEnergy_.setLength(static_cast<std::size_t>(wTaps_));
    slowPower_.setLength(static_cast<std::size_t>(rate_));
    put(mem::CmdAck, 0);
    put(quiro::dspmem::GuardTrips, 0);
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

// Normalised LMS identification: the path's model predicts the microphone from the excitation
// already sent (output_ holds the outputs up to the previous sample: tap 0 is the converter
// latency); the step is divided by the energy of those outputs over the model's taps.
KESTO_VECTOR_CLONES float Quiros::identify(float detection, float error) {
    LmsFilter &path = activity_ == Activity::IdentC1 ? c1_ : c2_;
    const float target = activity_ == Activity::IdentC1 ? detection : error;
    const float e = target - path(output_);
    const double energy = outputEnergy_(output_);
    fit_.add(output_.recent(), target, fitTaps());
    // In the excitation's band each coefficient mode then gains 1.5 / n per sample, which
    // makes the model a least-squares fit of everything heard so far, give or take 0.5 dB.
    // The relative step never passes 1, well inside normalised LMS's stable range (below 2).
    const double step = std::min({static_cast<double>(IdentStep * betaC_), 1.0,
                                  1.5 * cTaps_ / (++identSamples_ * excitationPeak_)});
    path.adapt(output_, static_cast<float>(step * e / (energy + PowerFloor * static_cast<float>(cTaps_))));
    // Next excitation: white noise through the D filter, times the D gain.
    excitation_.push(ExcitationRms * noise_());
    return gainD_ * dFilter_(excitation_);
}

// Filtered-x LMS with the loudspeaker's feedback to the detection microphone removed through C1.
KESTO_VECTOR_CLONES float Quiros::cancel(float detection, float error) {
    const float x = detection - gainC_ * c1_(output_);
    // The filtered reference for this sample: past references through C2 (tap 0 = latency).
    const float xf = gainC_ * gainW_ * c2_(reference_);
    reference_.push(x);
    filtered_.push(xf);
    // The update sees only the identified band: the filtered reference and the error through the
    // band filter (zero phase, so the gradient keeps its direction there).
    banded_.push(band_(filtered_));
    // Mode 82 follows the secondary path: its auxiliary noise's share, as modelled, leaves the
    // error the update sees.
    const bool following = mode_ == CancelMode::NormalisedFxLms;
    errors_.push(following ? follower_.follow(c2_, error, c2_.taps()) : error);
    bandedErrors_.push(band_(errors_));
    // Both then pass the whitening filter, so that every frequency of the reference converges
    // at the same pace: loud tones no longer hold the broadband noise's step down.
    whitener_.observe(banded_.recent());
    whitened_.push(whitener_(banded_.recent()));
    const float ew = whitener_(bandedErrors_.recent());
    const double energy = updateEnergy_(whitened_);
    const float slow = slowPower_(whitened_.recent()[0]);
    spread_.addPower(whitened_.recent()[0]);
    const bool listening = blockCount_ % DivergenceGuard::ListenEvery == 0;
    if (mode_ != CancelMode::Off && listening)
        spread_.sample(whitened_.recent(), static_cast<std::size_t>(wTaps_));
    if ((mode_ == CancelMode::FxLms || mode_ == CancelMode::NormalisedFxLms) && warmup_ == 0) {
        // 81: the power tracked over about a second, but never below that over W's taps, so that
        // a sudden rise meets a step already cut; 82: the energy over W's taps right now.
        const float now = static_cast<float>(energy) / static_cast<float>(wTaps_);
        const float power = mode_ == CancelMode::FxLms ? std::max(slow, now) : now;
        // Following the path, W adapts only as fast as the path's model is sure.
        const float sure = following ? follower_.confidence() : 1.0f;
        const float mu = sure * guard_.stepScale() * CancelStep * betaW_ / (stepNorm_ * (power + PowerFloor));
        w_.adapt(whitened_, -mu * ew, 1.0f - Leak * std::min(mu * (power + PowerFloor), 1.0f));
    } else if (warmup_ > 0 && --warmup_ == 0) {
        whitener_.design();
        slowPower_.set(whitener_.predictionError()); // what the whitened reference's power will be
    }
    const float u = mode_ == CancelMode::Off ? 0.0f : gainW_ * w_(reference_) + (following ? follower_.next(dFilter_) : 0.0f);
    if (mode_ != CancelMode::Off) {
        // What the error microphone would hear without the output, the guard's yardstick, is
        // sampled on every 4th sample like the error beside it (their powers are what counts).
        // It takes C2's own taps without the tail, as the guard was made with: with the tail,
        // the large room's reverberation, which even the tail holds only in part, tripped it.
        if (listening)
            guard_.listen(error, error - gainC_ * c2_.leading(output_, static_cast<std::size_t>(cTaps_)), x);
        if (guard_.output(u))
            w_.scale(ClipLeak); // an output past the converter's range pulls W back
        if (++blockCount_ == GuardBlock)
            endBlock();
    }
    return u;
}

// After each block: the whitening filter is designed afresh, the spread (and with it the step's
// normalisation) follows the reference, and the guard looks for a runaway: then W is reset and
// the spread starts again from its largest.
void Quiros::endBlock() {
    blockCount_ = 0;
    if (warmup_ == 0)
        whitener_.design();
    if (mode_ == CancelMode::NormalisedFxLms)
        follower_.adjustLevel();
    const float spread = spread_.endBlock(static_cast<std::size_t>(wTaps_), GuardBlock);
    stepNorm_ = static_cast<float>(wTaps_) + 2.0f * loopDelay_ * spread;
    const bool following = mode_ == CancelMode::NormalisedFxLms;
    using Model = DivergenceGuard::Model;
    const Model model = following ? Model::Followed : Model::Identified;
    const bool tripped = guard_.check(w_.energy(), model);
    // Following the path, a yardstick that rose also sends a settled model to its largest step
    // (one already catching up goes on as it was).
    if (following && guard_.modelDoubted() && follower_.confidence() >= 1.0f)
        follower_.doubt();
    if (tripped) {
        w_.clear();
        put(quiro::dspmem::GuardTrips, wordOfLong(guard_.trips()));
        resetSpread();
    }
}

void Quiros::resetSpread() {
    spread_.reset(static_cast<std::size_t>(wTaps_));
    stepNorm_ = static_cast<float>(wTaps_) + 2.0f * loopDelay_ * spread_.spread();
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
    const std::int32_t n = std::clamp(taps - quiro::FetchShortfall, 0, XferWords);
    for (std::int32_t i = 0; i < n; ++i)
        put(mem::XferBuf + 4u * static_cast<std::uint32_t>(i),
            wordOfSingle(filter.coefficient(static_cast<std::size_t>(i))));
}

void Quiros::fetchSignal(const std::array<float, XferWords> &signal) {
    const std::int32_t n = std::clamp(cTaps_ - quiro::FetchShortfall, 0, XferWords);
    for (std::int32_t i = 0; i < n; ++i)
        put(mem::XferBuf + 4u * static_cast<std::uint32_t>(i),
            wordOfSingle(i < capFilled_ ? signal[static_cast<std::size_t>(i)] : 0.0f));
}

void Quiros::startIdent(Activity which) {
    finishIdentification();
    activity_ = which;
    // The model learns over its own taps: a tail from before is dropped, and the finish fits it
    // anew. With a step of 0 nothing is learnt and the model is held, tail and all.
    if (betaC_ > 0)
        (which == Activity::IdentC1 ? c1_ : c2_).setTaps(static_cast<std::size_t>(cTaps_));
    identSamples_ = 0;
    fit_.flush(fitTaps());
    fit_.restart();
    outputEnergy_.clear();
    output_.clear();
}

// When an identification ends, its model becomes the least-squares fit of everything it heard
// (see LeastSquaresFit), over twice the model's taps as far as the delay lines reach, so that a
// path longer than the model does not bend its first taps. The LMS model already tracks the
// path; the fit removes what its step could not average out in the time it had. A step of 0
// holds the model.
//
// C1 keeps the fit's first taps. C2 keeps all of it: the taps past the model's own are its tail,
// which the filtered reference and the path follower use and the fetch does not show. A
// secondary path that outlasts the model (a distant loudspeaker in a lined duct rings on at low
// frequencies) otherwise leaves the filtered reference tens of degrees off in phase there, and
// W, adapting on it, drifts away from the optimum it had neared, losing decibels over a minute.
void Quiros::finishIdentification() {
    if (activity_ != Activity::IdentC1 && activity_ != Activity::IdentC2)
        return;
    const std::size_t n = fitTaps();
    fit_.flush(n);
    if (identSamples_ < 10.0 * static_cast<double>(n) || !(betaC_ > 0))
        return;
    const auto taps = static_cast<std::size_t>(cTaps_);
    if (activity_ == Activity::IdentC1) {
        fit_.solve(n, c1_, taps);
        return;
    }
    c2_.setTaps(n);
    if (!fit_.solve(n, c2_, n))
        c2_.setTaps(taps);
}

void Quiros::stopActivity() {
    finishIdentification();
    activity_ = Activity::Idle;
    mode_ = CancelMode::Off;
}

void Quiros::setMode(CancelMode m) {
    finishIdentification();
    if (activity_ != Activity::Cancel) {
        // A run starts with its first mode: fresh delay lines, W as it stands.
        for (kesto::DelayLine *line : {&reference_, &filtered_, &banded_, &errors_, &bandedErrors_, &whitened_})
            line->clear();
        updateEnergy_.clear();
        whitener_.reset();
        warmup_ = wTaps_;
        slowPower_.clear();
        guard_.restart();
        blockCount_ = 0;
    }
    // The loop's delay: where C2 peaks, plus the band filter's centre.
    std::size_t peak = 0;
    for (std::size_t k = 0; k < c2_.taps(); ++k)
        if (std::abs(c2_.coefficient(k)) > std::abs(c2_.coefficient(peak)))
            peak = k;
    loopDelay_ = static_cast<float>(peak + static_cast<std::size_t>(bandDelay_) + Whitener::Order);
    resetSpread();
    if (m == CancelMode::NormalisedFxLms && (mode_ != m || activity_ != Activity::Cancel)) {
        follower_.restart(speakerCorner());
        follower_.anchor(c2_, c2_.taps());
    }
    activity_ = Activity::Cancel;
    mode_ = m;
}

// The lowest frequency (cycles per sample) at which C2's gain reaches half its largest in the
// identified band: below it the loudspeaker barely reaches the error microphone.
double Quiros::speakerCorner() const {
    constexpr int Points = 96;
    std::array<double, Points> gain{}, band{};
    double most = 0, widest = 0;
    for (int k = 0; k < Points; ++k) {
        const double f = 0.001 * std::pow(400.0, k / (Points - 1.0)); // 20 Hz to 8 kHz at 20 kHz
        std::complex<double> c = 0, d = 0;
        for (std::size_t i = 0; i < c2_.taps(); ++i)
            c += static_cast<double>(c2_.coefficient(i)) * std::polar(1.0, -2 * std::numbers::pi * f * static_cast<double>(i));
        for (std::size_t i = 0; i < dFilter_.taps(); ++i)
            d += static_cast<double>(dFilter_.coefficient(i)) * std::polar(1.0, -2 * std::numbers::pi * f * static_cast<double>(i));
        gain[static_cast<std::size_t>(k)] = std::abs(c), band[static_cast<std::size_t>(k)] = std::abs(d);
        widest = std::max(widest, band[static_cast<std::size_t>(k)]);
    }
    for (int k = 0; k < Points; ++k)
        if (band[static_cast<std::size_t>(k)] >= 0.5 * widest)
            most = std::max(most, gain[static_cast<std::size_t>(k)]);
    int k = 0;
    while (k < Points - 1 && gain[static_cast<std::size_t>(k)] < 0.5 * most)
        ++k;
    return k > 0 ? 0.001 * std::pow(400.0, k / (Points - 1.0)) : 0.0;
}

namespace {
// A step size or gain: finite values are taken, anything else turns the quantity off.
float finiteOr0(float v) { return std::isfinite(v) ? v : 0.0f; }
} // namespace

void Quiros::setParams() {
    fit_.flush(fitTaps()); // the float sums cover the old length
    cTaps_ = std::clamp(argLong(mem::CmdArg1), MinTaps, MaxTaps);
    wTaps_ = std::clamp(argLong(mem::CmdArg2), MinTaps, MaxTaps);
    betaC_ = std::max(0.0f, finiteOr0(argSingle(mem::CmdArg4)));
    betaW_ = std::max(0.0f, finiteOr0(argSingle(mem::CmdArg5)));
    c1_.setTaps(static_cast<std::size_t>(cTaps_));
    c2_.setTaps(static_cast<std::size_t>(cTaps_));
    w_.setTaps(static_cast<std::size_t>(wTaps_));
    outputEnergy_.setLength(static_cast<std::size_t>(cTaps_));
    updateEnergy_.setLength(static_cast<std::size_t>(wTaps_));
    outputEnergy_.recompute(output_); // a new window length mid-run
    updateEnergy_.recompute(whitened_);
    const float hz = argSingle(mem::CmdArg6);
    if (std::isfinite(hz) && hz > 0) {
        rate_ = std::clamp(static_cast<double>(hz), quiro::MinSampleRate, quiro::MaxSampleRate);
        if (host_.set_rate)
            host_.set_rate(host_.ctx, rate_);
    }
    slowPower_.setLength(static_cast<std::size_t>(rate_));
    guard_.setRate(rate_);
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
    designBand();
}

// The band filter: D's autocorrelation (zero phase, its response |D|^2, centred at
// BandHalfLength samples), Hann-windowed to that half-length and scaled to a peak gain of 1.
// A one-tap or empty D gives a plain delay-free unit filter: the whole band was identified.
void Quiros::designBand() {
    const auto n = static_cast<std::int32_t>(dFilter_.taps());
    excitationPeak_ = 1.0;
    band_.setTaps(n > 1 ? 2 * BandHalfLength + 1 : 1);
    bandDelay_ = n > 1 ? BandHalfLength : 0;
    if (n <= 1)
        return band_.setCoefficient(0, 1.0f);
    std::array<float, 2 * BandHalfLength + 1> b{};
    for (std::int32_t lag = -BandHalfLength; lag <= BandHalfLength; ++lag) {
        double r = 0;
        for (std::int32_t i = std::max(0, -lag); i < n && i + lag < n; ++i)
            r += static_cast<double>(dFilter_.coefficient(static_cast<std::size_t>(i))) *
                 dFilter_.coefficient(static_cast<std::size_t>(i + lag));
        const double window = 0.5 + 0.5 * std::cos(std::numbers::pi * lag / (BandHalfLength + 1));
        b[static_cast<std::size_t>(lag + BandHalfLength)] = static_cast<float>(r * window);
    }
    double peak = 0; // the largest gain over 128 frequencies
    for (int k = 0; k <= 128; ++k) {
        std::complex<double> g = 0;
        for (std::size_t i = 0; i < b.size(); ++i)
            g += static_cast<double>(b[i]) * std::polar(1.0, -std::numbers::pi * k * static_cast<double>(i) / 128);
        peak = std::max(peak, std::abs(g));
    }
    for (std::size_t i = 0; i < b.size(); ++i)
        band_.setCoefficient(i, peak > 0 ? static_cast<float>(b[i] / peak) : 0.0f);
    // The excitation's densest frequency over its mean: how much faster than white noise the
    // identification's in-band modes converge.
    const double mean = b[BandHalfLength];
    excitationPeak_ = mean > 0 && peak > mean ? peak / mean : 1.0;
    if (!(peak > 0)) {
        band_.setTaps(1);
        bandDelay_ = 0;
        band_.setCoefficient(0, 1.0f);
    }
}

void Quiros::captureStart() {
    capLength_ = std::clamp(cTaps_ - quiro::FetchShortfall, 1, XferWords);
    capFilled_ = 0;
    captureStarted_ = true;
}

void Quiros::captureQuery() {
    const bool complete = captureStarted_ && capFilled_ >= capLength_;
    put(mem::CmdArg1, wordOfLong(complete ? 0 : 1));
}

} // namespace quiros
