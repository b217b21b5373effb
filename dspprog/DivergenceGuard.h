#pragma once
// The divergence guard of an adaptive canceller: it compares the error microphone with what it
// would hear without the output (the error minus the secondary path's model of the output) and
// watches the output against the converter's range, and says when the filter has run away. On a
// trip the caller resets its filter; the guard quarters the step scale it hands out and doubles
// it again after a calm spell.
//
// That yardstick is only as good as the model. When the secondary path moves, the model's error
// times the output joins it, so a filter running away on a wrong model inflates the yardstick
// along with the error. The uncancelled error per unit of the reference's power, though, is the
// primary path's alone: the guard learns it while it holds (and afresh after a trip, when the
// output is silent and the yardstick needs no model), and a yardstick that rises above it says
// that the model no longer holds and the filter is running away on it.

#include "contract/BoardContract.h"
#include "dspprog/Adaptive.h"

#include <cmath>
#include <cstdint>

namespace quiros {

// The converter's full scale, counts: outputs at or beyond it are clipped.
inline constexpr float FullScale = quiro::ConverterFullScale;

class DivergenceGuard {
public:
    static constexpr std::int32_t Block = 256;     // samples between checks
    static constexpr std::int32_t ListenEvery = 4; // listen() is called on every 4th sample
    static constexpr float ClipShare = 0.05f;      // of the outputs over the last ~0.1 s
    static constexpr float LoudRatio = 8.0f;       // 9 dB above the uncancelled error, ...
    static constexpr std::int32_t LoudChecks = 3;  // ... at this many checks in a row
    static constexpr float SlowRatio = 1.12f;      // 0.5 dB above it over half a second, ...
    static constexpr float MidRatio = 1.26f;       // or 1 dB above it over ~0.1 s, ...
    static constexpr std::int32_t MidChecks = 4;   // ... at this many checks in a row, ...
    static constexpr double SettleSeconds = 1.0;   // ... once the mode has run this long
    static constexpr float DriveRatio = 4.0f;      // filter energy x reference power / FullScale^2
    static constexpr float StepCut = 0.25f;        // the step scale after a trip, times
    static constexpr float SmallestStepScale = 1.0f / 4096.0f;
    static constexpr double CalmSeconds = 10.0; // without a trip: the step scale doubles
    static constexpr float ModelRise = 1.6f;    // the yardstick over ~0.1 s 2 dB above its own, ...
    static constexpr std::int32_t ModelChecks = 3; // ... at this many checks in a row
    static constexpr float ModelJump = 4.0f;       // or over ~13 ms 6 dB above it
    // Its level per unit of the reference is learnt falling over ~4 s, rising over ~30 s: a
    // path that changes is followed, a filter running away within seconds is not.
    static constexpr double FallSeconds = 4.0, RiseSeconds = 30.0;
    static constexpr double RelearnSeconds = 0.25; // after a start or a trip: learnt afresh
    static constexpr float PowerFloor = 0.1f;      // counts^2, below the converters' noise

    explicit DivergenceGuard(double rate) { setRate(rate); }

    // The slow comparison's memory follows the sampling rate.
    void setRate(double rate);
    // A new run: nothing heard, the step scale 1.
    void restart();
    // On every ListenEvery-th sample: the error, what it would be without the output, and the
    // reference the filter runs on (counts).
    void listen(float error, float uncancelled, float reference) {
        errorFast_(error);
        errorSlow_(error);
        uncancelledFast_(uncancelled);
        uncancelledSlow_(uncancelled);
        reference_(reference);
        uncancelledMid_(uncancelled);
        errorMid_(error);
        referenceMid_(reference);
    }
    // The yardstick per unit of the reference's power over the last ~0.1 s, against what it has
    // been (1: as it has been).
    float yardstickRise() const { return rise(uncancelledMid_, referenceMid_); }
    // On every sample: the output before the converter; true when it reaches the limits.
    bool output(float u) {
        const bool clips = !(std::abs(u) < FullScale);
        clipped_ += clips ? 1 : 0;
        return clips;
    }
    // Whether the secondary path's model is as identified or followed online.
    enum class Model { Identified, Followed };
    // Once per Block samples, with the filter's energy (sum of squared coefficients): true when
    // it has run away. The trip is counted and the step scale cut at once, except for a
    // yardstick that rose (modelDoubted() says so until the next check) while the model is
    // followed: the model is the follower's to mend, no reason to slow W.
    bool check(float filterEnergy, Model model = Model::Identified);
    bool modelDoubted() const { return doubted_; }

    float stepScale() const { return stepScale_; }
    std::int32_t trips() const { return trips_; }

private:
    void trip(bool cutStep);
    static float ratio(const PowerMeter &uncancelled, const PowerMeter &reference) {
        return uncancelled.value() / (reference.value() + PowerFloor);
    }
    float rise(const PowerMeter &uncancelled, const PowerMeter &reference) const {
        return baseline_ > 0 ? ratio(uncancelled, reference) / baseline_ : 1.0f;
    }

    double rate_ = 20000;
    PowerMeter errorFast_, uncancelledFast_, errorSlow_, uncancelledSlow_, reference_;
    PowerMeter uncancelledMid_, referenceMid_, errorMid_;
    void learn(float &level, float now) const;
    float baseline_ = 0;      // the yardstick per unit of the reference, as learnt
    float errorBaseline_ = 0; // the error per unit of the reference, as learnt
    std::int32_t clipped_ = 0, loudChecks_ = 0, calmChecks_ = 0, modeSamples_ = 0, trips_ = 0;
    std::int32_t risenChecks_ = 0, relearn_ = 0; // samples of relearning left
    std::int32_t midChecks_ = 0;
    bool doubted_ = false;
    float clipShare_ = 0, stepScale_ = 1;
};

} // namespace quiros
