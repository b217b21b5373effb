#include "Harness.h"

#include <algorithm>
#include <cmath>

extern "C" const KestoDspProgram *kesto_dsp_program(void);

namespace kesto::test {

using namespace quiro;

Scene smallScene() {
    Scene s;
    s.origin = "small test scene";
    s.sampleRate = 20000;
    s.tones = {{300.0, 0.02}};
    s.broadband = 0.002;
    s.micNoise = 0.0002;
    s.primaryRef = {0.0, 0.9, 0.2};
    s.primaryErr = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.7, 0.3, -0.1};
    s.secondaryRef = {0.0, 0.12, 0.05, -0.02};
    s.secondaryErr = {0.0, 0.0, 0.35, 0.2, -0.1, 0.05};
    return s;
}

Harness::Harness(Scene scene, std::uint64_t seed)
    : core(BoardConfig{std::move(scene), Clock::Free, "", seed}) {
    core.attach(kesto_dsp_program());
}

void Harness::putLong(std::uint32_t a, std::int32_t v) { core.pcPut(a, wordOfLong(v)); }
void Harness::putSingle(std::uint32_t a, float v) { core.pcPut(a, wordOfSingle(v)); }
std::int32_t Harness::getLong(std::uint32_t a) const { return longOfWord(core.pcGet(a)); }
float Harness::getSingle(std::uint32_t a) const { return singleOfWord(core.pcGet(a)); }

void Harness::send(std::int32_t code) {
    putLong(dspmem::CmdCode, code);
    putLong(dspmem::CmdRequest, 1);
    while (getLong(dspmem::CmdAck) != 1)
        core.step(1);
    putLong(dspmem::CmdRequest, 0);
    while (getLong(dspmem::CmdAck) != 0)
        core.step(1);
}

void Harness::setParams(std::int32_t cTaps, std::int32_t wTaps, float betaC, float betaW,
                        float rate) {
    putLong(dspmem::CmdArg1, cTaps);
    putLong(dspmem::CmdArg2, wTaps);
    putSingle(dspmem::CmdArg4, betaC);
    putSingle(dspmem::CmdArg5, betaW);
    putSingle(dspmem::CmdArg6, rate);
    send(Cmd::SetParams);
}

void Harness::setGains(float c, float w, float d) {
    putSingle(dspmem::CmdArg4, c);
    putSingle(dspmem::CmdArg5, w);
    putSingle(dspmem::CmdArg6, d);
    send(Cmd::SetGains);
}

void Harness::loadD(const std::vector<float> &coefficients) {
    for (std::size_t i = 0; i < coefficients.size(); ++i)
        putSingle(dspmem::XferBuf + 4 * static_cast<std::uint32_t>(i), coefficients[i]);
    putLong(dspmem::CmdArg1, static_cast<std::int32_t>(coefficients.size()));
    send(Cmd::LoadDFilter);
}

std::vector<float> Harness::fetch(Cmd code, int n) {
    send(code);
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = getSingle(dspmem::XferBuf + 4 * static_cast<std::uint32_t>(i));
    return v;
}

double Harness::run(double seconds) {
    const auto n = static_cast<std::uint32_t>(seconds * core.rate());
    double sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        core.step(1);
        const double e = core.lastFrame().error;
        sum += e * e;
    }
    return n ? sum / n : 0.0;
}

double misalignmentDb(const std::vector<float> &estimate, const std::vector<double> &truth) {
    double err = 0, ref = 0;
    const std::size_t n = std::max(estimate.size(), truth.size());
    for (std::size_t k = 0; k < n; ++k) {
        const double t = k < truth.size() ? truth[k] : 0.0;
        const double e = k < estimate.size() ? estimate[k] : 0.0;
        err += (e - t) * (e - t);
        ref += t * t;
    }
    return 10 * std::log10(err / ref);
}

} // namespace kesto::test
