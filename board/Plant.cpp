#include "board/Plant.h"

#include "contract/BoardContract.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

namespace kesto {

namespace {
// FFTW's planner is not thread-safe; executing a plan is.
std::mutex &plannerMutex() {
    static std::mutex m;
    return m;
}
} // namespace

// The tail h[Block..] in partitions of Block taps, each's spectrum over 2 Block points; the
// spectra of the input's recent blocks (a ring, newest at `newest`); the output of the tail for
// the next Block samples.
struct PathFilter::Fft {
    std::size_t partitions;
    float *time;                 // 2 Block real samples
    fftwf_complex *spectrum;     // Block + 1 bins
    std::vector<std::complex<float>> tail, inputs, sum;
    std::vector<float> out;
    std::size_t newest = 0;
    fftwf_plan forward, backward;

    explicit Fft(const std::vector<float> &h)
        : partitions((h.size() - Block + Block - 1) / Block),
          time(fftwf_alloc_real(2 * Block)), spectrum(fftwf_alloc_complex(Block + 1)),
          tail(partitions * (Block + 1)), inputs(partitions * (Block + 1)), sum(Block + 1),
          out(Block, 0.0f) {
        {
            std::lock_guard<std::mutex> lock(plannerMutex());
            forward = fftwf_plan_dft_r2c_1d(2 * Block, time, spectrum, FFTW_ESTIMATE);
            backward = fftwf_plan_dft_c2r_1d(2 * Block, spectrum, time, FFTW_ESTIMATE);
        }
        for (std::size_t p = 0; p < partitions; ++p) {
            std::fill(time, time + 2 * Block, 0.0f);
            for (std::size_t k = 0; k < Block && Block + p * Block + k < h.size(); ++k)
                time[k] = h[Block + p * Block + k] / static_cast<float>(2 * Block);
            fftwf_execute(forward);
            for (std::size_t k = 0; k <= Block; ++k)
                tail[p * (Block + 1) + k] = {spectrum[k][0], spectrum[k][1]};
        }
    }
    ~Fft() {
        std::lock_guard<std::mutex> lock(plannerMutex());
        fftwf_destroy_plan(forward);
        fftwf_destroy_plan(backward);
        fftwf_free(time);
        fftwf_free(spectrum);
    }
};

PathFilter::PathFilter(std::vector<float> h) : h_(std::move(h)) {
    if (h_.size() >= PartitionedFrom)
        fft_ = std::make_unique<Fft>(h_);
}

PathFilter::~PathFilter() = default;

void PathFilter::runTail(const DelayLine &x) {
    Fft &f = *fft_;
    // The last 2 Block inputs before the newest, oldest first: overlap-save's window.
    const float *r = x.recent();
    for (std::size_t j = 0; j < 2 * Block; ++j)
        f.time[j] = r[2 * Block - j];
    fftwf_execute(f.forward);
    f.newest = f.newest == 0 ? f.partitions - 1 : f.newest - 1;
    std::complex<float> *in = f.inputs.data() + f.newest * (Block + 1);
    for (std::size_t k = 0; k <= Block; ++k)
        in[k] = {f.spectrum[k][0], f.spectrum[k][1]};
    std::fill(f.sum.begin(), f.sum.end(), std::complex<float>{});
    for (std::size_t p = 0; p < f.partitions; ++p) {
        const std::complex<float> *g = f.tail.data() + p * (Block + 1);
        const std::complex<float> *u = f.inputs.data() + ((f.newest + p) % f.partitions) * (Block + 1);
        for (std::size_t k = 0; k <= Block; ++k)
            f.sum[k] += g[k] * u[k];
    }
    for (std::size_t k = 0; k <= Block; ++k)
        f.spectrum[k][0] = f.sum[k].real(), f.spectrum[k][1] = f.sum[k].imag();
    fftwf_execute(f.backward);
    std::copy_n(f.time + Block, Block, f.out.begin());
}

float PathFilter::operator()(const DelayLine &x) {
    if (!fft_)
        return dot(h_.data(), x.recent(), h_.size());
    if (phase_ == Block)
        phase_ = 0;
    if (phase_ == 0)
        runTail(x);
    return dot(h_.data(), x.recent(), Block) + fft_->out[phase_++];
}

void PathFilter::prime(const DelayLine &x) {
    if (!fft_)
        return;
    Fft &f = *fft_;
    // The windows 1 .. partitions - 1 blocks back, where runTail would have left their spectra:
    // with `newest` at 0, its next call puts the current window in the last slot and finds the
    // one p blocks back in slot p - 1.
    const float *r = x.recent();
    for (std::size_t p = 1; p < f.partitions; ++p) {
        for (std::size_t j = 0; j < 2 * Block; ++j)
            f.time[j] = r[p * Block + 2 * Block - j];
        fftwf_execute(f.forward);
        std::complex<float> *in = f.inputs.data() + (p - 1) * (Block + 1);
        for (std::size_t k = 0; k <= Block; ++k)
            in[k] = {f.spectrum[k][0], f.spectrum[k][1]};
    }
    f.newest = 0;
    phase_ = 0;
}

PlantPath::PlantPath(const std::vector<const std::vector<double> *> &responses) {
    for (const std::vector<double> *h : responses)
        filters_.push_back(std::make_unique<PathFilter>(std::vector<float>(h->begin(), h->end())));
    now_ = filters_.front().get();
}

std::size_t PlantPath::capacity() const {
    std::size_t taps = 0;
    for (const auto &f : filters_)
        taps = std::max(taps, f->size());
    return PathFilter::lineFor(taps);
}

float PlantPath::mix(const DelayLine &x) {
    const float out = static_cast<float>(left_) / static_cast<float>(length_ + 1);
    return (1 - out) * (*now_)(x) + out * (*leaving_)(x);
}

void PlantPath::take(std::size_t index, std::uint64_t samples, std::uint64_t done,
                     const DelayLine &x) {
    PathFilter *next = filters_[std::min(index, filters_.size() - 1)].get();
    if (next != now_) {
        next->prime(x);
        leaving_ = now_;
        now_ = next;
        length_ = samples;
        left_ = samples > done ? samples - done : 0;
    }
    if (left_ == 0 || samples <= done)
        leaving_ = nullptr;
}

Plant::Plant(const Scene &scene, double rate, std::uint64_t seed)
    : rate_(rate), noise_(scene, rate, seed * 3 + 1),
      timeline_(scene, rate, noise_.recordings()), paths_{PlantPath(timeline_.responses(0)),
                                                          PlantPath(timeline_.responses(1)),
                                                          PlantPath(timeline_.responses(2)),
                                                          PlantPath(timeline_.responses(3))},
      source_(std::max(paths_[0].capacity(), paths_[1].capacity())),
      control_(std::max(paths_[2].capacity(), paths_[3].capacity())),
      micNoise_(static_cast<float>(scene.micNoise)), micTarget_(micNoise_), detNoise_(seed * 5 + 2),
      errNoise_(seed * 7 + 3) {
    if (!timeline_.changes().empty())
        nextStart_ = timeline_.changes().front().start;
}

Plant::Inputs Plant::sense() {
    source_.push(sourceGain_ * static_cast<float>(noise_()));
    if (time_ == nextStart_)
        beginChange();
    // The control line's newest entry is the last sample's output (the converter's latency).
    const float det = paths_[0](source_) + paths_[2](control_) + micNoise_ * detNoise_();
    const float err = paths_[1](source_) + paths_[3](control_) + micNoise_ * errNoise_();
    if (micLeft_ > 0)
        micNoise_ = --micLeft_ == 0 ? micTarget_ : micNoise_ + micStep_;
    ++elapsed_;
    if (++time_ == timeline_.period()) { // the period ends back at the base: it starts again
        time_ = 0;
        next_ = 0;
        nextStart_ = timeline_.changes().front().start;
    }
    constexpr auto FullScale = static_cast<float>(quiro::ConverterFullScale);
    return {toCounts(FullScale * det), toCounts(FullScale * err)};
}

void Plant::drive(std::int32_t counts) {
    control_.push(static_cast<float>(std::clamp(counts, quiro::ConverterMin, quiro::ConverterMax)) /
                  static_cast<float>(quiro::ConverterFullScale));
}

void Plant::beginChange() {
    const Timeline::Change &c = timeline_.changes()[next_];
    moveTo(c.to, c.length, 0);
    ++next_;
    nextStart_ = next_ < timeline_.changes().size() ? timeline_.changes()[next_].start : Never;
}

void Plant::moveTo(std::size_t stretch, std::uint64_t samples, std::uint64_t done) {
    const Timeline::Stretch &s = timeline_.stretches()[stretch];
    noise_.moveTo(s.source, samples, done);
    for (std::size_t p = 0; p < Timeline::Paths; ++p)
        paths_[p].take(s.response[p], samples, done, p < 2 ? source_ : control_);
    micTarget_ = static_cast<float>(s.micNoise);
    micLeft_ = samples > done ? samples - done : 0;
    if (micLeft_ == 0) {
        micNoise_ = micTarget_;
        return;
    }
    micNoise_ += (micTarget_ - micNoise_) * static_cast<float>(done) / static_cast<float>(samples);
    micStep_ = (micTarget_ - micNoise_) / static_cast<float>(micLeft_);
}

void Plant::seek(double seconds) {
    elapsed_ = static_cast<std::uint64_t>(std::llround(std::max(seconds, 0.0) * rate_));
    const std::uint64_t period = timeline_.period();
    time_ = period > 0 ? elapsed_ % period : elapsed_;
    const auto &changes = timeline_.changes();
    std::size_t begun = 0;
    while (begun < changes.size() && changes[begun].start <= time_)
        ++begun;
    // At once to where the last change begun started from, then that change as far as it went.
    moveTo(begun >= 2 ? changes[begun - 2].to : 0, 0, 0);
    if (begun > 0)
        moveTo(changes[begun - 1].to, changes[begun - 1].length, time_ - changes[begun - 1].start);
    next_ = begun;
    nextStart_ = begun < changes.size() ? changes[begun].start : Never;
}

} // namespace kesto
