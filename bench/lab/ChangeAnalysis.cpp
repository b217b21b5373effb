#include "ChangeAnalysis.h"

#include "Analysis.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace lab {

std::vector<float> convolve(const std::vector<float> &x, const std::vector<double> &h) {
    std::vector<float> y(x.size(), 0.0f);
    if (h.empty() || x.empty())
        return y;
    std::size_t size = 1024;
    while (size < 4 * h.size())
        size *= 2;
    const std::size_t block = size - h.size() + 1;
    std::vector<double> in(size);
    std::vector<std::complex<double>> spectrum(size / 2 + 1), kernel(size / 2 + 1);
    const int n = static_cast<int>(size);
    fftw_plan forward = fftw_plan_dft_r2c_1d(
        n, in.data(), reinterpret_cast<fftw_complex *>(spectrum.data()), FFTW_ESTIMATE);
    fftw_plan backward = fftw_plan_dft_c2r_1d(n, reinterpret_cast<fftw_complex *>(spectrum.data()),
                                              in.data(), FFTW_ESTIMATE);
    std::copy(h.begin(), h.end(), in.begin());
    fftw_execute(forward);
    kernel = spectrum;
    for (std::size_t start = 0; start < x.size(); start += block) {
        std::fill(in.begin(), in.end(), 0.0);
        for (std::size_t i = 0; i < block && start + i < x.size(); ++i)
            in[i] = x[start + i];
        fftw_execute(forward);
        for (std::size_t k = 0; k < spectrum.size(); ++k)
            spectrum[k] *= kernel[k] / static_cast<double>(size);
        fftw_execute(backward); // overlap-add
        for (std::size_t i = 0; i < size && start + i < y.size(); ++i)
            y[start + i] += static_cast<float>(in[i]);
    }
    fftw_destroy_plan(forward);
    fftw_destroy_plan(backward);
    return y;
}

TonePowers tonePowers(const std::vector<float> &x, double rate, std::size_t tones,
                      const std::function<double(std::size_t, double)> &frequency, int slice) {
    const std::size_t slices = x.size() / static_cast<std::size_t>(slice);
    TonePowers out{std::vector<double>(slices, 0.0), std::vector<double>(slices, 0.0)};
    for (std::size_t k = 0; k < tones; ++k) {
        double phase = 0;
        for (std::size_t s = 0; s < slices; ++s) {
            // The 2 x 2 normal equations of x ~ a cos + b sin over the slice.
            double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0, xx = 0;
            for (std::size_t i = s * static_cast<std::size_t>(slice);
                 i < (s + 1) * static_cast<std::size_t>(slice); ++i) {
                const double c = std::cos(phase), si = std::sin(phase), v = x[i];
                cc += c * c, ss += si * si, cs += c * si, xc += v * c, xs += v * si, xx += v * v;
                phase += 2 * std::numbers::pi * frequency(k, static_cast<double>(i) / rate) / rate;
                if (phase > 2 * std::numbers::pi)
                    phase -= 2 * std::numbers::pi;
            }
            const double det = cc * ss - cs * cs;
            if (!(det > 0))
                continue;
            const double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
            const double fitted = a * xc + b * xs; // the fit's share of x's energy
            const double rest = std::max(xx - fitted, 0.0) / (slice - 2);
            const double bias = 2 * rest / slice; // what the rest adds to (a^2 + b^2) / 2
            out.power[s] += std::max((a * a + b * b) / 2 - bias, 0.0);
            out.floor[s] += bias;
        }
    }
    return out;
}

namespace {

// The attenuation over slices [from, to): the powers summed, off over on.
double attenuation(const std::vector<double> &off, const std::vector<double> &on, long from,
                   long to) {
    from = std::max(from, 0L);
    to = std::min<long>(to, static_cast<long>(std::min(off.size(), on.size())));
    double a = 0, b = 0;
    for (long i = from; i < to; ++i)
        a += off[static_cast<std::size_t>(i)], b += on[static_cast<std::size_t>(i)];
    return from < to && b > 0 ? powerDb(a / b) : std::numeric_limits<double>::quiet_NaN();
}

// The lowest attenuation over any window of `window` slices starting in [from, to - window].
double lowest(const std::vector<double> &off, const std::vector<double> &on, long from, long to,
              long window) {
    double worst = std::numeric_limits<double>::infinity();
    for (long i = from; i + window <= to; ++i)
        worst = std::min(worst, attenuation(off, on, i, i + window));
    return std::isfinite(worst) ? worst : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

ChangeFigures measureChange(const std::vector<double> &off, const std::vector<double> &on,
                            const TonePowers &tonesOff, const TonePowers &tonesOn,
                            double sliceSeconds, const ChangeTimes &t, double newBound) {
    auto at = [&](double seconds) { return std::lround(seconds / sliceSeconds); };
    const long second = at(1.0), start = at(t.start),
               end = std::min<long>(at(t.end), static_cast<long>(on.size()));
    ChangeFigures f;
    f.before = attenuation(off, on, std::max(start - at(5.0), at(t.modeStart + 5.0)), start);
    f.worst = lowest(off, on, at(t.start + 0.5), end, second);
    f.after = attenuation(off, on, std::max(end - at(5.0), at(t.settled)), end);
    const double target = std::min(f.before, newBound);
    // Back: from the last 1-s window below the target, the next slice on.
    long last = -1;
    for (long i = start; i + second <= end; ++i)
        if (attenuation(off, on, i, i + second) < target - 3)
            last = i;
    f.back = last < 0              ? 0.0
             : last + second < end ? static_cast<double>(last + 1 - start) * sliceSeconds
                                   : -1.0;
    if (!tonesOff.power.empty()) {
        f.tonesGliding =
            lowest(tonesOff.power, tonesOn.power, at(t.start + 0.5), at(t.settled), second);
        f.tonesStill = lowest(tonesOff.power, tonesOn.power, at(t.settled + 0.5), end, second);
        double tones = 0, floor = 0;
        for (long i = at(t.start + 0.5); i < end && i < static_cast<long>(tonesOn.power.size());
             ++i)
            tones += tonesOn.power[static_cast<std::size_t>(i)],
                floor += tonesOn.floor[static_cast<std::size_t>(i)];
        f.tonesAtFloor = tones < floor;
    }
    return f;
}

} // namespace lab
