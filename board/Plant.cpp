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

std::vector<float> Plant::toFloat(const std::vector<double> &h) {
    return {h.begin(), h.end()};
}

Plant::Plant(const Scene &scene, double rate, std::uint64_t seed)
    : rate_(rate), primaryRef_(toFloat(scene.primaryRef)), primaryErr_(toFloat(scene.primaryErr)),
      secondaryRef_(toFloat(scene.secondaryRef)), secondaryErr_(toFloat(scene.secondaryErr)),
      source_(std::max({primaryRef_.size(), primaryErr_.size(), 2 * PathFilter::Block + 1})),
      control_(std::max({secondaryRef_.size(), secondaryErr_.size(), 2 * PathFilter::Block + 1})),
      noise_(scene, rate, seed * 3 + 1), micNoise_(static_cast<float>(scene.micNoise)),
      detNoise_(seed * 5 + 2), errNoise_(seed * 7 + 3) {}

Plant::Inputs Plant::sense() {
    source_.push(sourceGain_ * static_cast<float>(noise_()));
    // The control line's newest entry is the last sample's output (the converter's latency).
    const float det = primaryRef_(source_) + secondaryRef_(control_) + micNoise_ * detNoise_();
    const float err = primaryErr_(source_) + secondaryErr_(control_) + micNoise_ * errNoise_();
    constexpr auto FullScale = static_cast<float>(quiro::ConverterFullScale);
    return {toCounts(FullScale * det), toCounts(FullScale * err)};
}

void Plant::drive(std::int32_t counts) {
    control_.push(static_cast<float>(std::clamp(counts, quiro::ConverterMin, quiro::ConverterMax)) /
                  static_cast<float>(quiro::ConverterFullScale));
}

} // namespace kesto
