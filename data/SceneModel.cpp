#include "SceneModel.h"

#include "board/Biquad.h"
#include "cli/Paths.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <sstream>

namespace scenes {

using kesto::PathResponses;

namespace {

double energy(const std::vector<double> &h) {
    double e = 0;
    for (double v : h)
        e += v * v;
    return e;
}

double gainAt(const std::vector<double> &h, double f) {
    std::complex<double> s = 0;
    for (std::size_t n = 0; n < h.size(); ++n)
        s += h[n] * std::polar(1.0, -2 * std::numbers::pi * f * static_cast<double>(n) / Rate);
    return std::abs(s);
}

// The first sample at which the response reaches a tenth of its peak.
std::size_t onset(const std::vector<double> &h) {
    double peak = 0;
    for (double v : h)
        peak = std::max(peak, std::abs(v));
    std::size_t n = 0;
    while (n < h.size() && std::abs(h[n]) < 0.1 * peak)
        ++n;
    return n;
}

// The recording through a response, sample by sample.
std::vector<double> through(const std::vector<float> &x, const std::vector<double> &h) {
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t n = 0; n < x.size(); ++n)
        for (std::size_t k = 0; k < h.size() && k <= n; ++k)
            y[n] += h[k] * x[n - k];
    return y;
}

} // namespace

std::vector<double> roomPath(const RoomModel &r, Point from, Point to, double gain, double delay) {
    std::vector<double> h(static_cast<std::size_t>(r.seconds * Rate), 0.0);
    const double reach = r.seconds * SpeedOfSound;
    const double smallest = std::min({r.size.x, r.size.y, r.size.z});
    const int n = static_cast<int>(reach / (2 * smallest)) + 1;
    auto axis = [](double s, double len, int k, int mirrored, int &reflections) {
        reflections += std::abs(k - mirrored) + std::abs(k);
        return (1 - 2 * mirrored) * s + 2 * k * len;
    };
    for (int i = -n; i <= n; ++i)
        for (int j = -n; j <= n; ++j)
            for (int k = -n; k <= n; ++k)
                for (int m = 0; m < 8; ++m) {
                    int bounces = 0;
                    const double x = axis(from.x, r.size.x, i, m & 1, bounces);
                    const double y = axis(from.y, r.size.y, j, (m >> 1) & 1, bounces);
                    const double z = axis(from.z, r.size.z, k, (m >> 2) & 1, bounces);
                    const double d = std::hypot(x - to.x, y - to.y, z - to.z);
                    if (d > reach)
                        continue;
                    const double a = gain * std::pow(r.wallReflection, bounces) / std::max(d, 0.1);
                    kesto::placeArrival(h, (d / SpeedOfSound + delay) * Rate, a);
                }
    const std::size_t fade = h.size() / 10;
    for (std::size_t t = 0; t < fade; ++t)
        h[h.size() - 1 - t] *=
            0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(t) / fade);
    return h;
}

kesto::PathResponses roomResponses(const RoomModel &r) {
    kesto::PathResponses p;
    p.primaryRef = roomPath(r, r.source, r.detection, 1.0, 0.0);
    p.primaryErr = roomPath(r, r.source, r.error, 1.0, 0.0);
    p.secondaryRef = roomPath(r, r.loudspeaker, r.detection, r.speakerGain, r.speakerDelay);
    p.secondaryErr = roomPath(r, r.loudspeaker, r.error, r.speakerGain, r.speakerDelay);
    const kesto::Biquad speaker =
        kesto::Biquad::secondOrder(true, r.speakerCorner, r.speakerQ, Rate);
    speaker.apply(p.secondaryRef);
    speaker.apply(p.secondaryErr);
    for (auto *h : {&p.primaryRef, &p.primaryErr, &p.secondaryRef, &p.secondaryErr})
        kesto::applyMicrophone(*h, Rate);
    return p;
}

void foldSourceColour(PathResponses &p, const SceneRecipe &s) {
    if (!s.recording.empty())
        return;
    for (auto *h : {&p.primaryRef, &p.primaryErr}) {
        h->resize(h->size() + static_cast<std::size_t>(0.01 * Rate), 0.0);
        kesto::Biquad::secondOrder(false, s.sourceCorner, 0.7071, Rate).apply(*h);
        kesto::trimTail(*h);
    }
}

void applyPreamp(PathResponses &p, double preamp) {
    for (double &v : p.primaryRef)
        v *= preamp;
    for (double &v : p.secondaryRef)
        v *= preamp;
}

Modelled model(const SceneRecipe &s) {
    Modelled m;
    PathResponses &p = m.paths;
    p = s.room ? roomResponses(s.roomModel) : kesto::ductResponses(s.duct, Rate);
    // The tones' amplitudes below are set after the colour is folded in, at the source.
    foldSourceColour(p, s);
    // Source levels: the tones share tonalShare of the power at the error microphone.
    const double target = std::pow(10.0, s.levelDbfs / 10);
    double tonePower = 0;
    for (const auto &t : s.tones)
        tonePower += 0.5 * std::pow(t.amplitude * gainAt(p.primaryErr, t.frequency), 2);
    m.toneScale = tonePower > 0 ? std::sqrt(s.tonalShare * target / tonePower) : 0.0;
    std::vector<double> heard, detected;
    if (s.recording.empty()) {
        m.broadband = std::sqrt((1 - s.tonalShare) * target / energy(p.primaryErr));
    } else {
        heard = through(s.recording, p.primaryErr);
        detected = through(s.recording, p.primaryRef);
        m.recordingGain = std::sqrt((1 - s.tonalShare) * target *
                                    static_cast<double>(heard.size()) / energy(heard));
    }
    // The detection microphone's preamplifier: its peak stays 10 dB below full scale.
    double detectionPeak = 4 * m.broadband * std::sqrt(energy(p.primaryRef));
    for (const auto &t : s.tones)
        detectionPeak += m.toneScale * t.amplitude * gainAt(p.primaryRef, t.frequency);
    for (const double v : detected)
        detectionPeak = std::max(detectionPeak, m.recordingGain * std::abs(v));
    m.preamp = std::min(1.0, 0.316 / detectionPeak);
    applyPreamp(p, m.preamp);
    return m;
}

bool writeResponse(const std::string &file, const std::vector<double> &h, std::string &error) {
    std::ostringstream f;
    f.precision(9);
    f << h.size() << "\n";
    for (double v : h)
        f << v << "\n";
    return quiro::cli::writeWholeFile(file, f.str(), error);
}

bool writeWav(const std::string &file, const std::vector<float> &x, std::string &error) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(Rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open(file.c_str(), SFM_WRITE, &info);
    const bool written = f && sf_writef_float(f, x.data(), static_cast<sf_count_t>(x.size())) ==
                                  static_cast<sf_count_t>(x.size());
    if (!written)
        error = file + ": cannot be written (" + sf_strerror(f) + ")";
    if (f && sf_close(f) != 0 && written) {
        error = file + ": cannot be written (" + sf_strerror(nullptr) + ")";
        return false;
    }
    return written;
}

bool writeScene(const std::string &out, const SceneRecipe &s, std::string &error) {
    return writeScene(out, s, model(s), "", error);
}

bool writeScene(const std::string &out, const SceneRecipe &s, const Modelled &m,
                const std::string &timeline, std::string &error) {
    const PathResponses &p = m.paths;
    const std::string dir = out + "/" + s.name;
    std::error_code made;
    if (std::filesystem::create_directory(dir, made); made) {
        error = dir + ": cannot be created (" + made.message() + ")";
        return false;
    }
    std::ostringstream ini;
    ini << "# " << s.name << ": " << s.summary << "\n";
    ini << "# Written by make_scenes (data/make_scenes.cpp); noise at the error microphone "
        << s.levelDbfs << " dBFS, " << std::lround(100 * s.tonalShare) << " % tonal.\n";
    ini << "sample_rate = " << Rate << "\n";
    ini.precision(6);
    for (const auto &t : s.tones)
        ini << "tone = " << t.frequency << " " << m.toneScale * t.amplitude << "\n";
    ini << "broadband = " << m.broadband << "\nmic_noise = " << s.micNoise << "\n";
    if (!s.recording.empty())
        ini << "noise_file = " << s.recordingFile << "\nnoise_gain = " << m.recordingGain << "\n";
    ini << timeline;
    if (!quiro::cli::writeWholeFile(dir + "/scene.ini", ini.str(), error) ||
        (!s.recording.empty() && !writeWav(dir + "/" + s.recordingFile, s.recording, error)) ||
        !writeResponse(dir + "/primary_ref.cof", p.primaryRef, error) ||
        !writeResponse(dir + "/primary_err.cof", p.primaryErr, error) ||
        !writeResponse(dir + "/secondary_ref.cof", p.secondaryRef, error) ||
        !writeResponse(dir + "/secondary_err.cof", p.secondaryErr, error))
        return false;

    // What the anti-noise must reach at the tones, in full-scale units of the converter.
    double drive = 0;
    for (const auto &t : s.tones)
        drive += m.toneScale * t.amplitude * gainAt(p.primaryErr, t.frequency) /
                 std::max(gainAt(p.secondaryErr, t.frequency), 1e-9);
    std::printf(
        "%-22s %6.1f dBFS  secondary delay %5.2f ms  head start %5.2f ms  taps %zu/%zu  "
        "tone drive %.2f FS  preamp %.2f\n",
        s.name, s.levelDbfs, 1e3 * static_cast<double>(onset(p.secondaryErr)) / Rate,
        1e3 *
            (static_cast<double>(onset(p.primaryErr)) - static_cast<double>(onset(p.primaryRef))) /
            Rate,
        p.primaryErr.size(), p.secondaryErr.size(), drive, m.preamp);
    return true;
}

kesto::DuctModel duct(double length, double detection, double speaker, double error) {
    kesto::DuctModel d;
    d.length = length, d.detection = detection, d.loudspeaker = speaker, d.error = error;
    return d;
}

} // namespace scenes
