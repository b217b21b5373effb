#pragma once
// Online secondary-path modelling: a low-level auxiliary noise, shaped like the identification's
// excitation, is added to the control output, and the secondary path's model is adapted by
// normalised LMS to predict what of it the error microphone hears (Eriksson's method); the error
// with that prediction taken out is what the canceller adapts on. The noise's level follows the
// error, a share of it at the microphone (after Akhtar, Abe and Kawamata): a tenth while the
// model is new or found off, falling to 1.5 % once it has held, so that a settled model costs
// the canceller little of what it reaches.
//
// The model's step follows how well it predicts: over each block, the error's correlation with
// the model's prediction over the prediction's power is 1 for a right model (the rest of the
// error is unrelated to the noise), less when its phase is off, more when its gain is short. A
// model found off takes the largest step, which then falls block by block while it holds, down
// to the smallest, at which the model's jitter costs the canceller little. The quieter the noise,
// the more a block's fit spreads (as one over the square root of the share): its tolerance
// widens with it, and a running fit over as many blocks as the share fell by, whose spread
// stays that of one block at the full share, watches beside it. Off by a little there, the
// noise goes back to its full share (the model keeps its step, W its speed), so that the next
// blocks tell clearly.

#include "dspprog/Adaptive.h"

#include "dspkit/SignalKit.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quiros {

class PathFollower {
public:
    static constexpr float Share = 0.1f; // the noise's power at the microphone over the error's
    static constexpr float QuietShare = 0.015f; // the same once the model has held
    static constexpr std::int32_t QuietAfter = 5; // blocks at the smallest step before it falls
    static constexpr float ShareFall = 0.8f;      // per block, down to QuietShare
    static constexpr float Suspicion = 0.15f;     // of the running fit, before the noise is loud again
    // Blocks whose fit is within Suspicion in a row, after which W trusts a model that is still
    // stepping down from the largest step.
    static constexpr std::int32_t TrustedAfter = 3;
    static constexpr float LargestStep = 0.01f, SmallestStep = 0.0005f; // relative, per sample
    static constexpr std::int32_t HeldBlocks =
        5;                                      // blocks the largest step holds, then falls as 1/n
    static constexpr std::int32_t Block = 4096; // samples per judgement of the model
    static constexpr float Tolerance = 0.35f;   // of the prediction's fit, before it is off
    // Per block, the share of the model's departure below the corner that is taken back.
    static constexpr float UnheardPull = 0.1f;
    static constexpr float SmallestLevel = 0.5f, LargestLevel = 400.0f; // counts rms

    PathFollower(std::size_t capacity, std::size_t shapeCapacity, std::uint64_t seed);

    // A fresh start: nothing sent yet, the smallest level and step. The noise is high-passed at
    // `corner` (cycles per sample, 0: not at all): below it the loudspeaker reaches the
    // microphone too faintly for the noise to tell the model anything.
    void restart(double corner);
    // The model as the mode begins: below the corner, where the noise tells the model nothing,
    // the followed model is held to it (see holdUnheard).
    void anchor(const Fir &path, std::size_t taps);
    // With the error microphone's sample (counts): adapts `path` (its first `taps`) on the noise
    // sent so far and returns the error without the noise's share, as modelled.
    float follow(LmsFilter &path, float error, std::size_t taps);
    // The noise to add to this sample's output (counts): white noise through `shape`.
    float next(Fir &shape);
    // Every few hundred samples: the level follows the error.
    void adjustLevel();
    // Something else found the model wrong: it takes the largest step again.
    void doubt() {
        trustedBlocks_ = 0;
        step_ = LargestStep;
        blocksSince_ = 0;
        beLoud();
    }

    float level() const { return level_; }
    // The share of the error microphone's power the noise is now set to.
    float share() const { return share_; }
    float step() const { return step_; }
    // How sure the model is: 1 at the smallest step, or once its prediction has fitted for
    // TrustedAfter blocks in a row (its step still falls, to refine it, but it is no longer
    // wrong); less while it is catching up.
    float confidence() const {
        return trustedBlocks_ >= TrustedAfter ? 1.0f : SmallestStep / step_;
    }
    // The last block's fit of the prediction (1: right).
    float fit() const { return fit_; }
    float heardPower() const { return heard_.value(); }
    float errorPower() const { return error_.value(); }

private:
    void judge();
    // The noise back at its full share, the running fit started again.
    void beLoud() {
        setShare(Share);
        heldBlocks_ = 0;
        runningErrorTimesHeard_ = runningHeardSquared_ = 0;
    }
    void holdUnheard(LmsFilter &path, std::size_t taps);
    // The noise's share, and with it the model's step at that share (see follow).
    void setShare(float share) {
        share_ = share;
        shareStep_ = std::sqrt(share / Share);
    }

    kesto::DelayLine white_, sent_;
    // The model learns from the error and the noise sent, both high-passed again: below the
    // corner neither the noise nor the rest of the error moves it, and it keeps what the
    // identification found there.
    HighPass shaping_, errorPass_, sentPass_;
    kesto::DelayLine passedSent_;
    // The model as the mode began, and scratch for the part of its departure from it that the
    // noise can tell.
    std::vector<float> anchor_, heldPart_;
    double corner_ = 0;
    WindowEnergy sentEnergy_;
    double energy_ = 0; // of the high-passed noise sent, over the model's taps
    kesto::WhiteNoise noise_;
    PowerMeter error_, heard_, unitHeard_;          // the last: per unit of the level
    double errorTimesHeard_ = 0, heardSquared_ = 0; // this block's
    std::int32_t blockSamples_ = 0;
    float fit_ = 1.0f;
    float level_ = SmallestLevel; // of the white noise before the shaping, counts rms
    float loudness_ = 0;          // the noise heard over its share of the error
    float share_ = Share, shareStep_ = 1.0f;
    std::int32_t heldBlocks_ = 0;    // judged right in a row at the smallest step
    std::int32_t trustedBlocks_ = 0; // fitted within Suspicion in a row
    // The fit's sums averaged over Share / share_ blocks.
    double runningErrorTimesHeard_ = 0, runningHeardSquared_ = 0;
    // The model's gain once the level has settled after a start (per unit of the level).
    static constexpr std::int32_t FirstGainAfter = 64; // adjustments, ~0.8 s at 20 kHz
    std::int32_t adjustments_ = 0;
    float firstGain_ = 0;
    float step_ = SmallestStep;
    static constexpr std::int32_t Settled = 1 << 20;
    std::int32_t blocksSince_ = Settled; // since the model was last found off
};

} // namespace quiros
