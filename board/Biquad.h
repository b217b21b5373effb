#pragma once
// Second-order IIR sections (audio-EQ cookbook, bilinear transform with prewarping), used for the
// transducer responses of the built-in duct and the colour of its fan noise.

#include <cmath>
#include <numbers>
#include <vector>

namespace kesto {

struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    double operator()(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
    void apply(std::vector<double> &signal) const {
        Biquad f = *this;
        for (double &v : signal)
            v = f(v);
    }

    static Biquad secondOrder(bool highPass, double f, double q, double rate) {
        const double w = 2 * std::numbers::pi * f / rate, c = std::cos(w);
        const double a = std::sin(w) / (2 * q), a0 = 1 + a;
        const double g = highPass ? (1 + c) / 2 : (1 - c) / 2;
        return {g / a0, (highPass ? -2 * g : 2 * g) / a0, g / a0, -2 * c / a0, (1 - a) / a0};
    }
    static Biquad firstOrderHighPass(double f, double rate) {
        const double k = std::tan(std::numbers::pi * f / rate), a0 = 1 + k;
        return {1 / a0, -1 / a0, 0, (k - 1) / a0, 0};
    }
    // The power gain for white noise (the sum of the squared impulse response).
    double noisePowerGain() const {
        Biquad f = *this;
        double sum = 0;
        for (int i = 0; i < 1 << 16; ++i) {
            const double h = f(i == 0 ? 1.0 : 0.0);
            sum += h * h;
        }
        return sum;
    }
};

} // namespace kesto
