#include "Analysis.h"

#include "board/NoiseSource.h"
#include "contract/BoardContract.h"
#include "dspkit/SignalKit.h"

#include <Eigen/Dense>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>

namespace lab {

double powerDb(double ratio) { return 10 * std::log10(std::max(ratio, 1e-30)); }

namespace {

constexpr int Grid = 4096;

// |FFT|^2-ready transform of a real sequence on the Grid-point grid.
std::vector<std::complex<double>> transform(const std::vector<double> &h) {
    std::vector<double> in(Grid, 0.0);
    std::copy_n(h.begin(), std::min<std::size_t>(h.size(), Grid), in.begin());
    std::vector<std::complex<double>> out(Grid / 2 + 1);
    fftw_plan p = fftw_plan_dft_r2c_1d(Grid, in.data(), reinterpret_cast<fftw_complex *>(out.data()),
                                       FFTW_ESTIMATE);
    fftw_execute(p);
    fftw_destroy_plan(p);
    return out;
}

} // namespace

Misalignment misalignment(const std::vector<float> &estimate, const std::vector<double> &truth,
                          const std::vector<double> &excitation) {
    const auto T = transform(truth);
    double truthEnergy = 0;
    for (double v : truth)
        truthEnergy += v * v;
    Misalignment best{1e9, 1e9, 0};
    for (int shift = -3; shift <= 3; ++shift) {
        std::vector<double> e(std::max(truth.size(), estimate.size() + 4), 0.0);
        for (std::size_t k = 0; k < estimate.size(); ++k) {
            const long at = static_cast<long>(k) + shift;
            if (at >= 0 && at < static_cast<long>(e.size()))
                e[static_cast<std::size_t>(at)] = estimate[k];
        }
        double err = 0;
        for (std::size_t k = 0; k < e.size(); ++k) {
            const double t = k < truth.size() ? truth[k] : 0.0;
            err += (e[k] - t) * (e[k] - t);
        }
        const auto E = transform(e);
        double num = 0, den = 0;
        for (std::size_t k = 0; k < T.size(); ++k) {
            const double w = excitation.empty() ? 1.0 : excitation[k];
            num += w * std::norm(E[k] - T[k]);
            den += w * std::norm(T[k]);
        }
        const double whole = powerDb(err / truthEnergy);
        if (whole < best.wholeDb)
            best = {whole, powerDb(num / den), shift};
    }
    return best;
}

std::vector<double> spectrum(const std::vector<float> &x, int size) {
    std::vector<double> acc(static_cast<std::size_t>(size / 2 + 1), 0.0);
    std::vector<double> in(static_cast<std::size_t>(size));
    std::vector<std::complex<double>> out(acc.size());
    fftw_plan p = fftw_plan_dft_r2c_1d(size, in.data(), reinterpret_cast<fftw_complex *>(out.data()),
                                       FFTW_ESTIMATE);
    double windowPower = 0;
    for (int i = 0; i < size; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / size);
        windowPower += w * w;
    }
    int frames = 0;
    for (std::size_t start = 0; start + static_cast<std::size_t>(size) <= x.size();
         start += static_cast<std::size_t>(size / 2), ++frames) {
        for (int i = 0; i < size; ++i)
            in[static_cast<std::size_t>(i)] =
                x[start + static_cast<std::size_t>(i)] *
                (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / size));
        fftw_execute(p);
        for (std::size_t k = 0; k < acc.size(); ++k)
            acc[k] += std::norm(out[k]) * (k == 0 || k + 1 == acc.size() ? 1.0 : 2.0);
    }
    fftw_destroy_plan(p);
    for (double &v : acc)
        v /= std::max(frames, 1) * windowPower * size; // sum over bins = mean square
    return acc;
}

Split split(const std::vector<double> &power, const kesto::Scene &scene, double rate) {
    // A tone's power is what its few bins hold above the broadband floor around them (the mean
    // of the bins a little further out on both sides).
    Split s;
    const double binHz = rate / (2.0 * static_cast<double>(power.size() - 1));
    const long bins = static_cast<long>(power.size());
    auto at = [&](long k) { return k >= 0 && k < bins ? power[static_cast<std::size_t>(k)] : 0.0; };
    for (double v : power)
        s.total += v;
    for (const auto &t : scene.tones) {
        const long centre = std::lround(t.frequency / binHz);
        double peak = 0, floor = 0;
        for (long k = centre - 3; k <= centre + 3; ++k)
            peak += at(k);
        for (long k = 5; k <= 12; ++k)
            floor += at(centre - k) + at(centre + k);
        // Under the floor, count a tenth of it: the attenuation then reads as a lower bound.
        const double beneath = 7 * floor / 16;
        if (peak - beneath < 0.1 * beneath)
            s.tonesAtFloor = true;
        s.tones += std::max(peak - beneath, 0.1 * beneath);
    }
    s.broadband = s.total - s.tones;
    return s;
}

std::vector<double> slicePowers(const std::vector<float> &x, int slice) {
    std::vector<double> out;
    for (std::size_t start = 0; start + static_cast<std::size_t>(slice) <= x.size();
         start += static_cast<std::size_t>(slice)) {
        double p = 0;
        for (std::size_t i = start; i < start + static_cast<std::size_t>(slice); ++i)
            p += static_cast<double>(x[i]) * x[i];
        out.push_back(p / slice);
    }
    return out;
}

std::vector<double> levelDb(const std::vector<float> &x, int window) {
    std::vector<double> out = slicePowers(x, window);
    for (double &p : out)
        p = powerDb(p);
    return out;
}

double settleSeconds(const std::vector<double> &levels, double windowSeconds) {
    if (levels.size() < 4)
        return -1;
    const std::size_t q = levels.size() - levels.size() / 4;
    double finalPower = 0;
    for (std::size_t i = q; i < levels.size(); ++i)
        finalPower += std::pow(10.0, levels[i] / 10);
    const double finalDb = powerDb(finalPower / static_cast<double>(levels.size() - q));
    std::size_t last = levels.size();
    while (last > 0 && levels[last - 1] <= finalDb + 3)
        --last;
    return static_cast<double>(last) * windowSeconds;
}

Bound wienerBound(const kesto::Scene &sceneIn, double rate, int taps, double seconds) {
    std::string error;
    const kesto::Scene scene = kesto::sceneAt(sceneIn, rate, error).value_or(sceneIn);
    const auto n = static_cast<std::size_t>(seconds * rate);
    kesto::NoiseSource source(scene, rate, 7);
    kesto::WhiteNoise noiseRef(8), noiseErr(9);
    std::vector<double> s(n);
    for (double &v : s)
        v = source();
    auto convolve = [&](const std::vector<double> &x, const std::vector<double> &h, std::size_t delay) {
        std::vector<double> y(n, 0.0);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t k = 0; k < h.size() && k + delay <= i; ++k)
                y[i] += h[k] * x[i - k - delay];
        return y;
    };
    auto quantise = [](double v) {
        return std::clamp(std::round(quiro::ConverterFullScale * v), double{quiro::ConverterMin},
                          double{quiro::ConverterMax}) /
               quiro::ConverterFullScale;
    };
    std::vector<double> x = convolve(s, scene.primaryRef, 0), d = convolve(s, scene.primaryErr, 0);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = quantise(x[i] + scene.micNoise * noiseRef());
        d[i] = d[i] + scene.micNoise * noiseErr(); // quantised with the anti-noise added
    }
    // The anti-noise reaches the error microphone through secondary_err, one sample late.
    const std::vector<double> r = convolve(x, scene.secondaryErr, 1);
    const auto L = static_cast<Eigen::Index>(taps);
    Eigen::MatrixXd R = Eigen::MatrixXd::Zero(L, L);
    Eigen::VectorXd p = Eigen::VectorXd::Zero(L);
    Eigen::VectorXd row(L);
    for (std::size_t i = static_cast<std::size_t>(taps); i < n; ++i) {
        for (Eigen::Index j = 0; j < L; ++j)
            row[j] = r[i - static_cast<std::size_t>(j)];
        R.selfadjointView<Eigen::Lower>().rankUpdate(row);
        p += row * d[i];
    }
    R.triangularView<Eigen::Upper>() = R.transpose();
    R.diagonal().array() += 1e-9 * R.diagonal().mean();
    const Eigen::VectorXd w = -R.ldlt().solve(p);
    Bound b;
    for (std::size_t i = static_cast<std::size_t>(taps); i < n; ++i) {
        double y = d[i];
        for (Eigen::Index j = 0; j < L; ++j)
            y += w[j] * r[i - static_cast<std::size_t>(j)];
        b.without.push_back(static_cast<float>(quantise(d[i])));
        b.with.push_back(static_cast<float>(quantise(y)));
    }
    return b;
}

} // namespace lab
