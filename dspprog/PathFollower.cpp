#include "dspprog/PathFollower.h"

#include <algorithm>
#include <cmath>

namespace quiros {

namespace {
constexpr float EnergyFloor = 0.1f;       // counts^2 per tap
constexpr std::size_t PowerMemory = 4096; // samples
} // namespace

PathFollower::PathFollower(std::size_t capacity, std::size_t shapeCapacity, std::uint64_t seed)
    : white_(shapeCapacity), sent_(capacity + 1), passedSent_(capacity + 1),
      anchor_(capacity, 0.0f), heldPart_(capacity, 0.0f), noise_(seed) {
    for (PowerMeter *p : {&error_, &heard_, &unitHeard_})
        p->setLength(PowerMemory);
}

void PathFollower::restart(double corner) {
    corner_ = corner;
    for (HighPass *h : {&shaping_, &errorPass_, &sentPass_})
        h->design(corner);
    white_.clear();
    sent_.clear();
    passedSent_.clear();
    sentEnergy_.clear();
    energy_ = 0;
    for (PowerMeter *p : {&error_, &heard_, &unitHeard_})
        p->clear();
    errorTimesHeard_ = heardSquared_ = 0;
    blockSamples_ = 0;
    fit_ = 1.0f;
    level_ = SmallestLevel;
    loudness_ = 0;
    beLoud();
    trustedBlocks_ = 0;
    adjustments_ = 0;
    firstGain_ = 0;
    step_ = SmallestStep;
    blocksSince_ = Settled;
}

KESTO_VECTOR_CLONES float PathFollower::follow(LmsFilter &path, float error, std::size_t taps) {
    if (sentEnergy_.length() != taps) {
        sentEnergy_.setLength(taps);
        sentEnergy_.recompute(passedSent_);
    }
    const float heard = path(sent_);
    const float residual = error - heard;
    const double norm = energy_ + EnergyFloor * static_cast<double>(taps);
    // While the noise is quieter than its share, the model hears less of it than of the rest,
    // and takes a smaller step. So it does at a quiet share (shareStep_, the square root of the
    // fall): half the jitter a full step would have there, twice the time to follow a drift.
    const double k =
        step_ * shareStep_ * std::min(1.0f, loudness_) * errorPass_(residual) / norm;
    path.adapt(passedSent_, static_cast<float>(k));
    error_(error);
    heard_(heard);
    unitHeard_(heard / level_);
    errorTimesHeard_ += static_cast<double>(error) * heard;
    heardSquared_ += static_cast<double>(heard) * heard;
    if (++blockSamples_ >= Block) {
        judge();
        holdUnheard(path, taps);
    }
    return residual;
}

KESTO_VECTOR_CLONES float PathFollower::next(Fir &shape) {
    white_.push(level_ * noise_());
    const float v = shaping_(shape(white_));
    sent_.push(v);
    passedSent_.push(sentPass_(v));
    energy_ = sentEnergy_(passedSent_);
    return v;
}

void PathFollower::anchor(const Fir &path, std::size_t taps) {
    std::fill(anchor_.begin(), anchor_.end(), 0.0f);
    for (std::size_t i = 0; i < std::min(taps, anchor_.size()); ++i)
        anchor_[i] = path.coefficient(i);
}

// The update is high-passed, but over a finite window its own noise still leaks below the
// corner, where the noise is not heard and nothing pulls the model back: there it would wander
// off, and the canceller's W with it. The model's departure from where it began is split at the
// corner (the high-pass run forward and backward, zero phase), and a share of its low part is
// taken back every block.
void PathFollower::holdUnheard(LmsFilter &path, std::size_t taps) {
    const std::size_t n = std::min(taps, anchor_.size());
    if (!(corner_ > 0))
        return;
    HighPass pass;
    pass.design(corner_);
    for (std::size_t i = 0; i < n; ++i)
        heldPart_[i] = pass(path.coefficient(i) - anchor_[i]);
    pass.reset();
    for (std::size_t i = n; i-- > 0;)
        heldPart_[i] = pass(heldPart_[i]);
    for (std::size_t i = 0; i < n; ++i) {
        const float departure = path.coefficient(i) - anchor_[i];
        path.setCoefficient(i, path.coefficient(i) - UnheardPull * (departure - heldPart_[i]));
    }
}

void PathFollower::judge() {
    const double fit = heardSquared_ > 0 ? errorTimesHeard_ / heardSquared_ : 0.0;
    fit_ = std::isfinite(fit) ? static_cast<float>(fit) : 0.0f;
    const double blocks = Share / share_;
    runningErrorTimesHeard_ += (errorTimesHeard_ - runningErrorTimesHeard_) / blocks;
    runningHeardSquared_ += (heardSquared_ - runningHeardSquared_) / blocks;
    const double running =
        runningHeardSquared_ > 0 ? runningErrorTimesHeard_ / runningHeardSquared_ : 0.0;
    const bool heard = loudness_ > 0.5f;
    const auto widen = static_cast<float>(std::sqrt(blocks)); // a block's fit spreads so much more
    const bool off = !(std::abs(fit_ - 1.0f) < Tolerance * widen) && heard;
    const bool fitted = std::abs(fit_ - 1.0f) < Suspicion * widen;
    trustedBlocks_ = fitted ? trustedBlocks_ + 1 : 0;
    if (off)
        doubt();
    else if (blocks > 1 && !(std::abs(running - 1.0) < Suspicion) && heard)
        beLoud();
    else if (step_ <= SmallestStep && ++heldBlocks_ >= QuietAfter)
        setShare(std::max(QuietShare, share_ * ShareFall));
    // From the largest step on, the step falls as 1 / blocks since: the model is then a running
    // least-squares fit of what it heard since the path moved.
    ++blocksSince_;
    step_ = std::max(SmallestStep, LargestStep * static_cast<float>(HeldBlocks) /
                                       static_cast<float>(std::max(blocksSince_, HeldBlocks)));
    errorTimesHeard_ = heardSquared_ = 0;
    blockSamples_ = 0;
}

// The level that makes the noise, as the model hears it, its share of the error microphone's power.
// That power includes the noise, so the level it asks for grows only a tenth as fast as the
// noise's own share, and the loop settles.
void PathFollower::adjustLevel() {
    // The loudspeaker's gain as the model has it, but never taken below a quarter of what the
    // model had at the start: a model gone wrong (or still empty) must not call for a noise
    // that then drowns everything.
    if (++adjustments_ == FirstGainAfter)
        firstGain_ = unitHeard_.value();
    const float gain = std::max(unitHeard_.value(), firstGain_ / 4), error = error_.value();
    loudness_ = error > 0 ? heard_.value() / (share_ * error) : 0.0f;
    const float want = gain > 0 ? std::sqrt(share_ * error / gain) : LargestLevel;
    level_ = std::clamp(std::isfinite(want) ? want : SmallestLevel, SmallestLevel, LargestLevel);
}

} // namespace quiros
