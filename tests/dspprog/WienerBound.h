#pragma once
// The best a causal FIR filter can do on a frozen scene, for tests to compare the adaptation
// with: the error microphone without cancellation, and the reference through the secondary path
// one sample late (perfect feedback removal), fitted by least squares (the program's own
// Toeplitz solver) over a few seconds of the plant's own noise.

#include "board/Plant.h"
#include "dspprog/LeastSquaresFit.h"

#include <cmath>
#include <vector>

namespace quiros::test {

// dB of attenuation at the error microphone.
inline double wienerBoundDb(const kesto::Scene &frozen, double rate, double seconds,
                            std::size_t taps = 256) {
    kesto::Plant plant(frozen, rate, 9);
    const std::vector<double> &s = frozen.secondaryErr;
    kesto::DelayLine detection(s.size() + 1), filtered(taps);
    LeastSquaresFit fit(taps);
    const long n = std::lround(seconds * rate);
    std::vector<float> error(static_cast<std::size_t>(n));
    std::vector<float> reference;
    reference.reserve(static_cast<std::size_t>(n) * taps / taps);
    for (long i = 0; i < n; ++i) {
        const auto in = plant.sense();
        plant.drive(0);
        double r = 0; // the reference's samples up to the last one, through the secondary path
        for (std::size_t k = 0; k < s.size(); ++k)
            r += s[k] * detection.recent()[k];
        detection.push(static_cast<float>(in.detection));
        filtered.push(static_cast<float>(r));
        error[static_cast<std::size_t>(i)] = static_cast<float>(in.error);
        fit.add(filtered.recent(), -error[static_cast<std::size_t>(i)], taps);
        reference.push_back(static_cast<float>(r));
    }
    fit.flush(taps);
    Fir w(taps);
    w.setTaps(taps);
    if (!fit.solve(taps, w, taps))
        return 0;
    double without = 0, with = 0;
    filtered.clear();
    for (long i = 0; i < n; ++i) {
        filtered.push(reference[static_cast<std::size_t>(i)]);
        const double e = error[static_cast<std::size_t>(i)] + w(filtered);
        without += static_cast<double>(error[static_cast<std::size_t>(i)]) *
                   error[static_cast<std::size_t>(i)];
        with += e * e;
    }
    return 10 * std::log10(without / with);
}

} // namespace quiros::test
