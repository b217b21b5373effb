#include "dspprog/DivergenceGuard.h"

#include <algorithm>
#include <cmath>

namespace quiros {

void DivergenceGuard::setRate(double rate) {
    rate_ = rate;
    for (PowerMeter *p : {&errorFast_, &uncancelledFast_, &reference_})
        p->setLength(Block / ListenEvery);
    for (PowerMeter *p : {&errorSlow_, &uncancelledSlow_}) // half a second
        p->setLength(static_cast<std::size_t>(rate / (2 * ListenEvery)));
    for (PowerMeter *p : {&uncancelledMid_, &referenceMid_, &errorMid_}) // a tenth of a second
        p->setLength(static_cast<std::size_t>(rate / (10 * ListenEvery)));
}

void DivergenceGuard::restart() {
    for (PowerMeter *p :
         {&errorFast_, &uncancelledFast_, &errorSlow_, &uncancelledSlow_, &reference_})
        p->clear();
    clipped_ = loudChecks_ = calmChecks_ = modeSamples_ = risenChecks_ = midChecks_ = 0;
    baseline_ = errorBaseline_ = 0;
    relearn_ = static_cast<std::int32_t>(RelearnSeconds * rate_);
    clipShare_ = 0;
    stepScale_ = 1;
}

bool DivergenceGuard::check(float filterEnergy, Model model) {
    modeSamples_ += Block;
    clipShare_ += (static_cast<float>(clipped_) / Block - clipShare_) / 8.0f;
    clipped_ = 0;
    const bool loud = errorFast_.value() > LoudRatio * uncancelledFast_.value() + PowerFloor;
    loudChecks_ = loud ? loudChecks_ + 1 : 0;
    const bool settled = static_cast<double>(modeSamples_) > SettleSeconds * rate_;
    const float now = ratio(uncancelledMid_, referenceMid_);
    const float heard = ratio(errorMid_, referenceMid_);
    if (relearn_ > 0) {
        baseline_ = now;
        errorBaseline_ = heard;
        relearn_ -= Block;
    } else {
        learn(baseline_, now);
        learn(errorBaseline_, heard);
    }
    // A followed model moves, and the yardstick with it, while the filter cancels as well as
    // ever: there a risen yardstick says that the filter runs away only while the error rises
    // with it.
    const bool errorRisen =
        model == Model::Identified || (errorBaseline_ > 0 && heard > ModelRise * errorBaseline_);
    const bool risen =
        relearn_ <= 0 && errorRisen && rise(uncancelledMid_, referenceMid_) > ModelRise;
    midChecks_ =
        errorMid_.value() > MidRatio * uncancelledMid_.value() + PowerFloor ? midChecks_ + 1 : 0;
    risenChecks_ = risen ? risenChecks_ + 1 : 0;
    const bool jumped =
        relearn_ <= 0 && errorRisen && rise(uncancelledFast_, reference_) > ModelJump;
    doubted_ = risenChecks_ >= ModelChecks || jumped;
    const bool runaway =
        !std::isfinite(filterEnergy) || clipShare_ > ClipShare || loudChecks_ >= LoudChecks ||
        doubted_ ||
        (settled && (errorSlow_.value() > SlowRatio * uncancelledSlow_.value() + PowerFloor ||
                     midChecks_ >= MidChecks)) ||
        filterEnergy * reference_.value() > DriveRatio * FullScale * FullScale;
    if (runaway) {
        // A model that no longer holds, while it is being followed, is no reason to slow W.
        trip(!(model == Model::Followed && doubted_));
        return true;
    }
    if (++calmChecks_ * Block > static_cast<std::int32_t>(CalmSeconds * rate_)) {
        calmChecks_ = 0;
        stepScale_ = std::min(1.0f, 2.0f * stepScale_);
    }
    return false;
}

// A level per unit of the reference, learnt falling over FallSeconds and rising over RiseSeconds.
void DivergenceGuard::learn(float &level, float now) const {
    if (!std::isfinite(now))
        return;
    const double memory = (now < level ? FallSeconds : RiseSeconds) * rate_ / Block;
    level += static_cast<float>((now - level) / memory);
}

// What was heard before the trip says nothing about the filter after it: the comparisons start
// again from the uncancelled error.
void DivergenceGuard::trip(bool cutStep) {
    if (cutStep)
        stepScale_ = std::max(stepScale_ * StepCut, SmallestStepScale);
    ++trips_;
    for (PowerMeter *p : {&errorFast_, &errorSlow_, &uncancelledSlow_})
        p->set(uncancelledFast_.value());
    clipShare_ = 0;
    loudChecks_ = calmChecks_ = modeSamples_ = risenChecks_ = midChecks_ = 0;
    relearn_ = static_cast<std::int32_t>(RelearnSeconds * rate_);
}

} // namespace quiros
