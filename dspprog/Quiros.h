#pragma once
// The DSP program quiros: identification of the secondary paths C1 and C2, feedforward
// filtered-x LMS cancellation, the signal capture, and the command handling through the mailbox.
// One instance per loaded program; the board calls sample() every sample period and service()
// between blocks and whenever the PC writes the mailbox. See docs/dsp-program.md.

#include "contract/BoardContract.h"
#include "dspkit/KestoDsp.h"
#include "dspkit/SignalKit.h"
#include "dspprog/Adaptive.h"
#include "dspprog/DivergenceGuard.h"
#include "dspprog/LeastSquaresFit.h"
#include "dspprog/PathFollower.h"
#include "dspprog/SpreadTracker.h"
#include "dspprog/Whitener.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace quiros {

inline constexpr std::int32_t MinTaps = quiro::MinTapCount;
inline constexpr std::int32_t MaxTaps = quiro::MaxTapCount;
inline constexpr std::int32_t XferWords = quiro::dspmem::XferWords;

// The identification's white noise before the D filter, counts rms at D gain 1.
inline constexpr float ExcitationRms = 800.0f;
// Both adaptations are normalised by the power of what their update sees, so that their speed
// and stability do not depend on the plant's level. Identification: normalised LMS with the
// relative step IdentStep * beta_C (0.004 at the default 1e-6), falling as 1.5 C taps / samples
// (over the excitation's peak-to-mean density) once that is smaller, so that a long
// identification approaches a least-squares fit.
// Cancellation: the relative step CancelStep * beta_W (0.2 at the default 1e-5), divided by the
// power and by W taps + 2 * delay * spread (delay: C2's peak, the band filter's centre and the
// whitening filter's order; spread: the update's largest eigenvalue over its power), the
// filtered-x LMS loop's stability bound.
inline constexpr float IdentStep = 4000.0f;
inline constexpr float CancelStep = 2e4f;
// The band filter that confines the cancellation's update to the identified band reaches this
// many samples either side of its centre.
inline constexpr std::int32_t BandHalfLength = 32;

enum class Activity { Idle, IdentC1, IdentC2, Cancel };
enum class CancelMode { Off, FxLms, NormalisedFxLms, Held };

class Quiros {
public:
    Quiros(const KestoDspHost &host, std::uint64_t seed);

    std::int32_t sample(std::int32_t detection, std::int32_t error);
    // The four-phase handshake; true when a command was taken or released.
    bool service();
    double rate() const { return rate_; }

    void execute(std::int32_t code);

private:
    struct Command {
        quiro::Cmd code;
        void (Quiros::*run)();
    };
    static const Command Commands[];
    static constexpr bool coversEveryCommand();

    float identify(float detection, float error);
    float cancel(float detection, float error);
    // Every DivergenceGuard::Block samples of cancellation: the whitening filter, the spread
    // and the guard's check.
    void endBlock();
    void finishIdentification();
    // The least-squares fit's length: twice the model's, as far as the delay lines reach.
    std::size_t fitTaps() const { return static_cast<std::size_t>(std::min(2 * cTaps_, MaxTaps)); }
    void resetSpread();
    double speakerCorner() const;
    void capture(std::int32_t detection, std::int32_t error, std::int32_t control);

    std::uint32_t get(std::uint32_t address) const { return host_.getmem(host_.ctx, address); }
    void put(std::uint32_t address, std::uint32_t word) { host_.putmem(host_.ctx, address, word); }
    float argSingle(std::uint32_t address) const;
    std::int32_t argLong(std::uint32_t address) const;
    void fetch(const Fir &filter, std::int32_t taps);
    void fetchSignal(const std::array<float, XferWords> &signal);

    // Commands.
    void startC1() { startIdent(Activity::IdentC1); }
    void startC2() { startIdent(Activity::IdentC2); }
    void startIdent(Activity which);
    void stopActivity();
    void fetchC1() { fetch(c1_, cTaps_); }
    void fetchC2() { fetch(c2_, cTaps_); }
    void fetchW() { fetch(w_, wTaps_); }
    void setParams();
    void setGains();
    void loadDFilter();
    void designBand();
    void clearC1() { c1_.clear(); }
    void clearC2() {
        c2_.clear();
        c2_.setTaps(static_cast<std::size_t>(cTaps_));
    }
    void clearW() { w_.clear(); }
    void modeOff() { setMode(CancelMode::Off); }
    void mode1() { setMode(CancelMode::FxLms); }
    void mode2() { setMode(CancelMode::NormalisedFxLms); }
    void mode3() { setMode(CancelMode::Held); }
    void setMode(CancelMode m);
    void captureStart();
    void captureQuery();
    void fetchPrim() { fetchSignal(capDetection_); }
    void fetchError() { fetchSignal(capError_); }
    void fetchCtrl() { fetchSignal(capControl_); }

    KestoDspHost host_;
    bool acked_ = false;

    // Parameters (commands 12, 16, 17).
    std::int32_t cTaps_ = 256, wTaps_ = 256;
    float betaC_ = 1e-6f, betaW_ = 1e-5f;
    double rate_ = 20000.0;
    float gainC_ = 1.0f, gainW_ = 1.0f, gainD_ = 1.0f;
    Fir dFilter_{XferWords};

    Activity activity_ = Activity::Idle;
    CancelMode mode_ = CancelMode::Off;
    LmsFilter c1_{MaxTaps}, c2_{MaxTaps}, w_{MaxTaps};
    kesto::DelayLine output_{MaxTaps + 1};    // control output, newest = last sample's
    kesto::DelayLine reference_{MaxTaps + 1}; // detection minus the loudspeaker's feedback
    kesto::DelayLine filtered_{MaxTaps + 1};  // the reference through C2
    kesto::DelayLine banded_{MaxTaps + 1};    // that through the band filter
    kesto::DelayLine whitened_{MaxTaps +
                               1};         // and through the whitening filter: what W's update sees
    kesto::DelayLine errors_{MaxTaps + 1}; // the error microphone
    kesto::DelayLine bandedErrors_{MaxTaps + 1}; // that through the band filter
    kesto::DelayLine excitation_{XferWords};
    WindowEnergy outputEnergy_, updateEnergy_;
    kesto::WhiteNoise noise_;

    // Cancellation's step: the relative step over W taps + 2 * the loop's delay * the spread;
    // mode 81 divides by a slowly tracked power of the whitened reference, mode 82 by its
    // energy over W's taps at this very sample.
    Fir band_{2 * BandHalfLength + 1};
    std::int32_t bandDelay_ = 0;
    float stepNorm_ = 1.0f;
    float loopDelay_ = 0.0f;
    Whitener whitener_;
    SpreadTracker spread_{MaxTaps};
    std::int32_t warmup_ = 0;     // samples before the update's window is full
    std::int32_t blockCount_ = 0; // samples of the guard's block so far
    double identSamples_ = 0;     // since the identification started
    double excitationPeak_ = 1;   // the excitation's peak power density over its mean
    // The identification's least-squares finish, over twice the C taps.
    LeastSquaresFit fit_{MaxTaps};
    PowerMeter slowPower_;
    DivergenceGuard guard_{rate_};
    PathFollower follower_;

    // Signal capture (33 to 37), counts.
    std::array<float, XferWords> capDetection_{}, capError_{}, capControl_{};
    std::int32_t capLength_ = 0, capFilled_ = 0;
    bool captureStarted_ = false;
};

} // namespace quiros
