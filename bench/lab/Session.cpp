#include "Session.h"

#include "coeffile/CoefficientParser.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>

#include <time.h>

namespace lab {

namespace {

std::vector<float> lowPassFallback() {
    // 63-tap Hann-windowed sinc, cut-off at a tenth of the sampling rate.
    std::vector<float> h(63);
    for (int i = 0; i < 63; ++i) {
        const double t = i - 31, fc = 0.1;
        const double sinc =
            t == 0 ? 2 * fc : std::sin(2 * std::numbers::pi * fc * t) / (std::numbers::pi * t);
        h[static_cast<std::size_t>(i)] =
            static_cast<float>(sinc * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 1) / 64)));
    }
    return h;
}

} // namespace

std::vector<float> dFilter(const std::string &bin, const std::string &file) {
    std::ifstream in(file.empty() ? bin + "/LPF.COF" : file);
    std::ostringstream text;
    text << in.rdbuf();
    if (in) {
        const quiro::CoefficientResult r = quiro::parseCoefficients(text.str());
        if (r.problem == quiro::CoefficientProblem::None)
            return r.coefficients;
        std::printf("%s:%d: %s; using the built-in low-pass\n",
                    file.empty() ? "LPF.COF" : file.c_str(), r.line,
                    quiro::describeProblem(r, quiro::MaxCoefficients).c_str());
    }
    return lowPassFallback();
}

void setEnv(const char *name, const std::string &value) {
    if (value.empty())
        ::unsetenv(name);
    else
        ::setenv(name, value.c_str(), 1);
}

double Session::cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

} // namespace lab
