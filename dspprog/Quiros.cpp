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
constexpr std::int32_t GuardBlock = 256;     // samples between the guard's checks
constexpr float FullScale = 2048.0f;         // counts
constexpr float PowerFloor = 0.1f;           // counts^2: below the converters' rounding noise
constexpr float ClipLeak = 0.99f;            // W's shrink on a sample whose output clips
constexpr float Leak = 1e-3f;                // W's leakage relative to the step (see docs)
constexpr float WhitenLength = 5000.0f;      // samples, the autocorrelation's time constant
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
    : host_(host), noise_(seed * 11 + 5), outputCorrelation_(MaxTaps), micCorrelation_(MaxTaps),
      solveX_(MaxTaps), solveY_(MaxTaps), solveZ_(MaxTaps), blockOutput_(MaxTaps),
      blockMic_(MaxTaps) {
    c1_.setTaps(static_cast<std::size_t>(cTaps_));
    c2_.setTaps(static_cast<std::size_t>(cTaps_));
    w_.setTaps(static_cast<std::size_t>(wTaps_));
    dFilter_.setTaps(1);
    dFilter_.setCoefficient(0, 1.0f);
    designBand();
    outputEnergy_.setLength(static_cast<std::size_t>(cTaps_));
    updateEnergy_.setLength(static_cast<std::size_t>(wTaps_));
    slowPower_.setLength(static_cast<std::size_t>(rate_));
    for (PowerMeter *p : {&errorFast_, &uncancelledFast_, &referencePower_})
        p->setLength(GuardBlock / 4);
    for (PowerMeter *p : {&errorSlow_, &uncancelledSlow_})
        p->setLength(static_cast<std::size_t>(rate_ / 8));
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
    // The fit's sums: in float over 64 samples, then into double.
    const std::size_t n = fitTaps();
    kesto::addScaled(blockOutput_.data(), output_.recent(), output_.recent()[0], n);
    kesto::addScaled(blockMic_.data(), output_.recent(), target, n);
    if (++blockCount_ == 64)
        flushStatistics();
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
    errors_.push(error);
    bandedErrors_.push(band_(errors_));
    // Both then pass the whitening filter, so that every frequency of the reference converges
    // at the same pace: loud tones no longer hold the broadband noise's step down.
    const float *xb = banded_.recent();
    // A running mean at first, then exponential over WhitenLength samples.
    const float weight = 1.0f / std::min(++autocorrelationCount_, WhitenLength);
    for (std::size_t k = 0; k < whiten_.size(); ++k)
        autocorrelation_[k] += (xb[0] * xb[k] - autocorrelation_[k]) * weight;
    whitened_.push(kesto::dot(whiten_.data(), xb, whiten_.size()));
    const float ew = kesto::dot(whiten_.data(), bandedErrors_.recent(), whiten_.size());
    const double energy = updateEnergy_(whitened_);
    const float slow = slowPower_(whitened_.recent()[0]);
    blockPower_ += static_cast<double>(whitened_.recent()[0]) * whitened_.recent()[0];
    if (mode_ != CancelMode::Off && (guardCount_ & 3) == 0) {
        const auto n = static_cast<std::size_t>(wTaps_);
        const float z = kesto::dot(eigenvector_.data(), whitened_.recent(), n);
        eigenSum_ += static_cast<double>(z) * z;
        ++eigenCount_;
        kesto::addScaled(eigenNext_.data(), whitened_.recent(), z, n);
    }
    if ((mode_ == CancelMode::FxLms || mode_ == CancelMode::NormalisedFxLms) && warmup_ == 0) {
        // 81: the power tracked over about a second; 82: the energy over W's taps right now.
        const float power = mode_ == CancelMode::FxLms
                                ? slow
                                : static_cast<float>(energy) / static_cast<float>(wTaps_);
        const float mu = stepScale_ * CancelStep * betaW_ / (stepNorm_ * (power + PowerFloor));
        w_.adapt(whitened_, -mu * ew, 1.0f - Leak * std::min(mu * (power + PowerFloor), 1.0f));
    } else if (warmup_ > 0 && --warmup_ == 0) {
        designWhitening();
        slowPower_.set(predictionError_); // what the whitened reference's power will be
    }
    const float u = mode_ == CancelMode::Off ? 0.0f : gainW_ * w_(reference_);
    if (mode_ != CancelMode::Off) {
        // What the error microphone would hear without the output, the guard's yardstick, is
        // sampled on every 4th sample like the error beside it (their powers are what counts).
        if ((guardCount_ & 3) == 0) {
            const float uncancelled = error - gainC_ * c2_(output_);
            errorFast_(error);
            errorSlow_(error);
            uncancelledFast_(uncancelled);
            uncancelledSlow_(uncancelled);
            referencePower_(x);
        }
        if (!(std::abs(u) < FullScale)) {
            ++clipped_;
            w_.scale(ClipLeak); // an output past the converter's range pulls W back
        }
        if (++guardCount_ == GuardBlock)
            watch();
    }
    return u;
}

// The divergence guard: W is reset and the step quartered when it runs away: the output clipping
// in more than 5 % of the last ~0.1 s, the error microphone 9 dB above what it would hear
// without the output for three checks (~40 ms), 3 dB above it over half a second once the mode
// has run a second, W's coefficients non-finite, or W's energy big enough to drive the
// converter past full scale with the present reference. After 10 s without a trip the step
// doubles again, up to the set one.
void Quiros::watch() {
    guardCount_ = 0;
    if (warmup_ == 0)
        designWhitening();
    trackSpread();
    modeSamples_ += GuardBlock;
    clipShare_ += (static_cast<float>(clipped_) / GuardBlock - clipShare_) / 8.0f;
    clipped_ = 0;
    const float floor = PowerFloor;
    const bool loud = errorFast_.value() > 8.0f * uncancelledFast_.value() + floor;
    loudChecks_ = loud ? loudChecks_ + 1 : 0;
    const bool settled = static_cast<double>(modeSamples_) > rate_;
    const float wEnergy = w_.energy();
    const bool runaway =
        !std::isfinite(wEnergy) || clipShare_ > 0.05f || loudChecks_ >= 3 ||
        (settled && errorSlow_.value() > 2.0f * uncancelledSlow_.value() + floor) ||
        wEnergy * referencePower_.value() > 4.0f * FullScale * FullScale;
    if (runaway)
        return trip();
    if (++calmChecks_ * GuardBlock > 10 * static_cast<std::int32_t>(rate_)) {
        calmChecks_ = 0;
        stepScale_ = std::min(1.0f, 2.0f * stepScale_);
    }
}

// The whitening filter: the prediction-error filter of the banded reference (Levinson-Durbin
// on its running autocorrelation, with a floor of 10 % of its power so that it lifts nothing
// by more than 10 dB).
void Quiros::designWhitening() {
    constexpr std::size_t p = WhitenOrder;
    std::array<double, p + 1> a{1.0}, prev{};
    double err = autocorrelation_[0] * 1.1;
    for (std::size_t i = 1; i <= p && err > 0; ++i) {
        double acc = autocorrelation_[i];
        for (std::size_t j = 1; j < i; ++j)
            acc += a[j] * autocorrelation_[i - j];
        const double k = -acc / err;
        prev = a;
        for (std::size_t j = 1; j < i; ++j)
            a[j] = prev[j] + k * prev[i - j];
        a[i] = k;
        err *= 1 - k * k;
    }
    predictionError_ = std::isfinite(err) && err > 0 ? static_cast<float>(err) : 0.0f;
    for (std::size_t i = 0; i <= p; ++i)
        whiten_[i] = std::isfinite(a[i]) && err > 0 ? static_cast<float>(a[i]) : (i == 0 ? 1.0f : 0.0f);
}

// One step of power iteration: the eigenvector estimate becomes what the last block's samples
// made of it, and the spread the largest eigenvalue (its Rayleigh quotient, which approaches
// it from below) over the block's mean power. Until four blocks have passed, the spread stays
// at its largest, a single tone's.
void Quiros::trackSpread() {
    const auto n = static_cast<std::size_t>(wTaps_);
    const float norm = std::sqrt(kesto::dot(eigenNext_.data(), eigenNext_.data(), n));
    const double power = blockPower_ / GuardBlock;
    const double lambda = eigenCount_ > 0 ? eigenSum_ / eigenCount_ : 0.0;
    if (norm > 0 && std::isfinite(norm)) {
        for (std::size_t i = 0; i < n; ++i)
            eigenvector_[i] = eigenNext_[i] / norm;
        ++eigenBlocks_;
    }
    const float most = static_cast<float>(wTaps_) / 2.0f;
    spread_ = eigenBlocks_ < 4 || !(power > 0) ? most
                                               : std::clamp(static_cast<float>(lambda / power), 1.0f, most);
    stepNorm_ = static_cast<float>(wTaps_) + 2.0f * loopDelay_ * spread_;
    std::fill(eigenNext_.begin(), eigenNext_.end(), 0.0f);
    eigenSum_ = blockPower_ = 0;
    eigenCount_ = 0;
}

void Quiros::resetSpread() {
    std::fill(eigenvector_.begin(), eigenvector_.end(), 0.0f);
    std::fill(eigenNext_.begin(), eigenNext_.end(), 0.0f);
    eigenvector_[0] = 1.0f;
    eigenSum_ = blockPower_ = 0;
    eigenCount_ = eigenBlocks_ = 0;
    spread_ = static_cast<float>(wTaps_) / 2.0f;
    stepNorm_ = static_cast<float>(wTaps_) + 2.0f * loopDelay_ * spread_;
}

void Quiros::trip() {
    w_.clear();
    stepScale_ = std::max(stepScale_ * 0.25f, 1.0f / 4096.0f);
    put(quiro::dspmem::GuardTrips, wordOfLong(++trips_));
    for (PowerMeter *p : {&errorFast_, &errorSlow_, &uncancelledSlow_})
        p->set(uncancelledFast_.value());
    clipShare_ = 0;
    loudChecks_ = calmChecks_ = modeSamples_ = 0;
    resetSpread();
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

// The float sums cover fitTaps(), so a new tap count flushes them first.
void Quiros::flushStatistics() {
    const std::size_t n = fitTaps();
    for (std::size_t i = 0; i < n; ++i) {
        outputCorrelation_[i] += blockOutput_[i];
        micCorrelation_[i] += blockMic_[i];
        blockOutput_[i] = blockMic_[i] = 0.0f;
    }
    blockCount_ = 0;
}

void Quiros::startIdent(Activity which) {
    finishIdentification();
    activity_ = which;
    identSamples_ = 0;
    flushStatistics();
    std::fill(outputCorrelation_.begin(), outputCorrelation_.end(), 0.0);
    std::fill(micCorrelation_.begin(), micCorrelation_.end(), 0.0);
    outputEnergy_.clear();
    output_.clear();
}

// When an identification ends, its model becomes the least-squares fit of everything it heard:
// the outputs' autocorrelation R (as a Toeplitz matrix) and their correlation p with the
// microphone give (R + l I) w = p + l w_lms, solved by Levinson's recursion, with l = 1e-3 of
// the outputs' power, so that where the excitation was too weak to tell, the coefficients stay
// what the LMS left (as they were before, out of the excitation's band). The fit has twice the
// model's taps (as far as the delay lines reach), so that a path longer than the model does not
// bend its first taps; the model keeps those. The LMS model already tracks the path; the fit
// removes what its step could not average out in the time it had.
void Quiros::finishIdentification() {
    if (activity_ != Activity::IdentC1 && activity_ != Activity::IdentC2)
        return;
    flushStatistics();
    LmsFilter &path = activity_ == Activity::IdentC1 ? c1_ : c2_;
    const std::size_t n = fitTaps();
    if (identSamples_ < 10.0 * static_cast<double>(n) || !(outputCorrelation_[0] > 0) ||
        !(betaC_ > 0)) // a step of 0 holds the model
        return;
    const double ridge = 1e-3 * outputCorrelation_[0], t0 = outputCorrelation_[0] + ridge;
    auto t = [&](std::size_t k) { return outputCorrelation_[k] / t0; };
    auto b = [&](std::size_t k) { return (micCorrelation_[k] + ridge * path.coefficient(k)) / t0; };
    // Levinson (Golub and Van Loan, 4.7.3): x solves the system, y the Yule-Walker one.
    double *x = solveX_.data(), *y = solveY_.data(), *z = solveZ_.data();
    y[0] = -t(1), x[0] = b(0);
    double beta = 1, alpha = -t(1);
    for (std::size_t k = 1; k < n; ++k) {
        beta *= 1 - alpha * alpha;
        if (!(beta > 0))
            return; // not positive definite: keep the LMS model
        double acc = b(k);
        for (std::size_t i = 0; i < k; ++i)
            acc -= t(i + 1) * x[k - 1 - i];
        const double mu = acc / beta;
        for (std::size_t i = 0; i < k; ++i)
            z[i] = x[i] + mu * y[k - 1 - i];
        std::copy_n(z, k, x);
        x[k] = mu;
        if (k + 1 < n) {
            double a = -t(k + 1);
            for (std::size_t i = 0; i < k; ++i)
                a -= t(i + 1) * y[k - 1 - i];
            alpha = a / beta;
            for (std::size_t i = 0; i < k; ++i)
                z[i] = y[i] + alpha * y[k - 1 - i];
            std::copy_n(z, k, y);
            y[k] = alpha;
        }
    }
    for (std::size_t k = 0; k < n; ++k)
        if (!std::isfinite(x[k]))
            return;
    for (std::size_t k = 0; k < static_cast<std::size_t>(cTaps_); ++k)
        path.setCoefficient(k, static_cast<float>(x[k]));
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
        whiten_ = {1.0f};
        autocorrelation_ = {};
        autocorrelationCount_ = 0;
        warmup_ = wTaps_;
        for (PowerMeter *p : {&slowPower_, &errorFast_, &uncancelledFast_, &errorSlow_,
                              &uncancelledSlow_, &referencePower_})
            p->clear();
        guardCount_ = clipped_ = loudChecks_ = calmChecks_ = modeSamples_ = 0;
        clipShare_ = 0;
        stepScale_ = 1;
    }
    // The loop's delay: where C2 peaks, plus the band filter's centre.
    std::size_t peak = 0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(cTaps_); ++k)
        if (std::abs(c2_.coefficient(k)) > std::abs(c2_.coefficient(peak)))
            peak = k;
    loopDelay_ = static_cast<float>(peak + static_cast<std::size_t>(bandDelay_) + WhitenOrder);
    resetSpread();
    activity_ = Activity::Cancel;
    mode_ = m;
}

namespace {
// A step size or gain: finite values are taken, anything else turns the quantity off.
float finiteOr0(float v) { return std::isfinite(v) ? v : 0.0f; }
} // namespace

void Quiros::setParams() {
    flushStatistics();
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
        rate_ = std::clamp(static_cast<double>(hz), 1000.0, 100000.0);
        if (host_.set_rate)
            host_.set_rate(host_.ctx, rate_);
    }
    slowPower_.setLength(static_cast<std::size_t>(rate_));
    for (PowerMeter *p : {&errorSlow_, &uncancelledSlow_})
        p->setLength(static_cast<std::size_t>(rate_ / 8)); // half a second of every 4th sample
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
    capLength_ = std::clamp(cTaps_ - 5, 1, XferWords);
    capFilled_ = 0;
    captureStarted_ = true;
}

void Quiros::captureQuery() {
    const bool complete = captureStarted_ && capFilled_ >= capLength_;
    put(mem::CmdArg1, wordOfLong(complete ? 0 : 1));
}

} // namespace quiros
