// Writes the scene family: scene directories modelled from ducts and rooms, each a noise source,
// a control loudspeaker and two microphones, at levels a fan in a lab really makes.
//
//   make_scenes OUT_DIR        (the family is committed under data/scenes; rerun to change it)
//
// Ducts use the board's plane-wave duct model. Rooms are shoeboxes modelled by mirror images
// (every reflection an image source, walls reflecting `wallReflection` of the pressure) until the
// response's end, then faded over its last tenth. The source's tones and broadband noise are
// scaled so that the noise at the error microphone has the scene's level and tonal share; the
// detection microphone's preamplifier is set so that its converter keeps 10 dB of headroom.
// Like a fan's, the source's broadband noise falls off above a few hundred hertz.

#include "board/Biquad.h"
#include "board/Duct.h"
#include "board/Scene.h"
#include "cli/ArgumentReader.h"
#include "cli/Paths.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using kesto::DuctModel;
using kesto::PathResponses;
constexpr double Rate = 20000;
constexpr double SpeedOfSound = 343.0;

struct Point {
    double x, y, z;
};

struct RoomModel {
    Point size;
    double wallReflection;
    Point source, detection, loudspeaker, error;
    double speakerGain, speakerCorner, speakerQ, speakerDelay;
    double seconds; // length of the responses
};

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
        h[h.size() - 1 - t] *= 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(t) / fade);
    return h;
}

PathResponses roomResponses(const RoomModel &r) {
    PathResponses p;
    p.primaryRef = roomPath(r, r.source, r.detection, 1.0, 0.0);
    p.primaryErr = roomPath(r, r.source, r.error, 1.0, 0.0);
    p.secondaryRef = roomPath(r, r.loudspeaker, r.detection, r.speakerGain, r.speakerDelay);
    p.secondaryErr = roomPath(r, r.loudspeaker, r.error, r.speakerGain, r.speakerDelay);
    const kesto::Biquad speaker = kesto::Biquad::secondOrder(true, r.speakerCorner, r.speakerQ, Rate);
    speaker.apply(p.secondaryRef);
    speaker.apply(p.secondaryErr);
    for (auto *h : {&p.primaryRef, &p.primaryErr, &p.secondaryRef, &p.secondaryErr})
        kesto::applyMicrophone(*h, Rate);
    return p;
}

struct SceneSpec {
    const char *name;
    const char *summary;
    bool room;
    DuctModel duct;
    RoomModel roomModel;
    std::vector<kesto::Tone> tones; // relative amplitudes
    double tonalShare;              // of the noise power at the error microphone
    double levelDbfs;               // rms of the noise at the error microphone
    double micNoise;
    double sourceCorner = 600; // Hz: the source's broadband noise falls off above (2nd order)
};

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

bool writeResponse(const std::string &file, const std::vector<double> &h, std::string &error) {
    std::ostringstream f;
    f.precision(9);
    f << h.size() << "\n";
    for (double v : h)
        f << v << "\n";
    return quiro::cli::writeWholeFile(file, f.str(), error);
}

// Writes one scene's folder under `out`; false, with the reason in `error`, at the first write
// that fails.
bool writeScene(const std::string &out, const SceneSpec &s, std::string &error) {
    PathResponses p = s.room ? roomResponses(s.roomModel) : kesto::ductResponses(s.duct, Rate);
    // The format's broadband noise is white: the source's spectrum is folded into its two
    // responses (the tones' amplitudes below are set after it, at the source).
    for (auto *h : {&p.primaryRef, &p.primaryErr}) {
        h->resize(h->size() + static_cast<std::size_t>(0.01 * Rate), 0.0);
        kesto::Biquad::secondOrder(false, s.sourceCorner, 0.7071, Rate).apply(*h);
        kesto::trimTail(*h);
    }
    // Source levels: the tones share tonalShare of the power at the error microphone.
    const double target = std::pow(10.0, s.levelDbfs / 10);
    double tonePower = 0;
    for (const auto &t : s.tones)
        tonePower += 0.5 * std::pow(t.amplitude * gainAt(p.primaryErr, t.frequency), 2);
    const double toneScale = tonePower > 0 ? std::sqrt(s.tonalShare * target / tonePower) : 0.0;
    const double broadband = std::sqrt((1 - s.tonalShare) * target / energy(p.primaryErr));
    // The detection microphone's preamplifier: its peak stays 10 dB below full scale.
    double detectionPeak = 4 * broadband * std::sqrt(energy(p.primaryRef));
    for (const auto &t : s.tones)
        detectionPeak += toneScale * t.amplitude * gainAt(p.primaryRef, t.frequency);
    const double preamp = std::min(1.0, 0.316 / detectionPeak);
    for (double &v : p.primaryRef)
        v *= preamp;
    for (double &v : p.secondaryRef)
        v *= preamp;

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
        ini << "tone = " << t.frequency << " " << toneScale * t.amplitude << "\n";
    ini << "broadband = " << broadband << "\nmic_noise = " << s.micNoise << "\n";
    if (!quiro::cli::writeWholeFile(dir + "/scene.ini", ini.str(), error) ||
        !writeResponse(dir + "/primary_ref.cof", p.primaryRef, error) ||
        !writeResponse(dir + "/primary_err.cof", p.primaryErr, error) ||
        !writeResponse(dir + "/secondary_ref.cof", p.secondaryRef, error) ||
        !writeResponse(dir + "/secondary_err.cof", p.secondaryErr, error))
        return false;

    // What the anti-noise must reach at the tones, in full-scale units of the converter.
    double drive = 0;
    for (const auto &t : s.tones)
        drive += toneScale * t.amplitude * gainAt(p.primaryErr, t.frequency) /
                 std::max(gainAt(p.secondaryErr, t.frequency), 1e-9);
    std::printf("%-22s %6.1f dBFS  secondary delay %5.2f ms  head start %5.2f ms  taps %zu/%zu  "
                "tone drive %.2f FS  preamp %.2f\n",
                s.name, s.levelDbfs, 1e3 * static_cast<double>(onset(p.secondaryErr)) / Rate,
                1e3 * (static_cast<double>(onset(p.primaryErr)) - static_cast<double>(onset(p.primaryRef))) / Rate,
                p.primaryErr.size(), p.secondaryErr.size(), drive, preamp);
    return true;
}

DuctModel duct(double length, double detection, double speaker, double error) {
    DuctModel d;
    d.length = length, d.detection = detection, d.loudspeaker = speaker, d.error = error;
    return d;
}

std::vector<SceneSpec> family() {
    const std::vector<kesto::Tone> fan = {{110, 1.0}, {220, 0.6}, {330, 0.4}, {440, 0.2}};
    const std::vector<kesto::Tone> blower = {{95, 1.0}, {190, 0.8}, {285, 0.5}, {380, 0.3}, {475, 0.2}};
    std::vector<SceneSpec> f;

    SceneSpec quiet{"duct-quiet-mixed", "the built-in duct's geometry, a quiet fan", false,
                    duct(2.4, 0.25, 1.0, 2.0), {}, fan, 0.6, -40, 0.0002};
    f.push_back(quiet);

    SceneSpec shortTonal{"duct-short-tonal", "1.6 m duct, loudspeaker 0.25 m before the error microphone, tones only",
                         false, duct(1.6, 0.2, 1.1, 1.35), {}, blower, 1.0, -25, 0.0003};
    shortTonal.duct.speakerGain = 0.5;
    f.push_back(shortTonal);

    SceneSpec longBroadband{"duct-long-broadband", "6 m lined duct, broadband flow noise only", false,
                            duct(6.0, 0.3, 3.5, 4.7), {}, {}, 0.0, -20, 0.0003};
    longBroadband.duct.liningCorner = 800;
    longBroadband.duct.lossPerMetre = 0.3;
    longBroadband.duct.speakerGain = 1.2;
    longBroadband.sourceCorner = 1000;
    f.push_back(longBroadband);

    SceneSpec loud{"duct-loud-mixed", "2.4 m duct, a loud fan (tones up to half of full scale), large driver",
                   false, duct(2.4, 0.25, 1.4, 2.0), {}, {{110, 1.0}, {220, 0.4}, {330, 0.25}, {440, 0.1}}, 0.9, -8, 0.0005};
    loud.duct.speakerGain = 2.8;
    loud.duct.speakerCorner = 60;
    f.push_back(loud);

    SceneSpec far{"duct-far-speaker", "8 m lined duct, loudspeaker 3.3 m before the error microphone (10 ms)",
                  false, duct(8.0, 0.3, 4.5, 7.8), {}, blower, 0.8, -24, 0.0003};
    far.duct.liningCorner = 1500;
    far.duct.lossPerMetre = 0.4;
    far.duct.speakerGain = 2.0;
    far.duct.speakerDelay = 0.0005;
    far.duct.maxSeconds = 0.1;
    f.push_back(far);

    SceneSpec acausal{"duct-acausal", "detection microphone beside the loudspeaker: broadband cancellation is not causal",
                      false, duct(2.4, 0.95, 1.0, 1.4), {}, {}, 0.0, -22, 0.0003};
    acausal.duct.speakerDelay = 0.002; // a digital amplifier's latency
    acausal.sourceCorner = 800;
    f.push_back(acausal);

    SceneSpec noisy{"duct-noisy-mics", "built-in geometry, small resonant driver, noisy microphones", false,
                    duct(2.4, 0.25, 1.0, 2.0), {}, fan, 0.5, -30, 0.003};
    noisy.duct.speakerCorner = 300;
    noisy.duct.speakerQ = 2.0;
    noisy.duct.speakerGain = 0.6;
    f.push_back(noisy);

    SceneSpec smallRoom{"room-small-tonal", "4 x 3 x 2.5 m room, RT60 about 0.25 s, tones only", true, {},
                        {{4, 3, 2.5}, 0.82, {0.5, 0.6, 0.5}, {0.8, 0.7, 0.6}, {3.0, 2.0, 1.2},
                         {3.2, 2.2, 1.2}, 0.4, 100, 0.7, 0.0003, 0.1},
                        blower, 1.0, -15, 0.0003};
    f.push_back(smallRoom);

    SceneSpec bigRoom{"room-large-mixed", "8 x 6 x 3 m room, RT60 about 0.4 s, loudspeaker 1 m away with 3 ms latency",
                      true, {},
                      {{8, 6, 3}, 0.85, {0.6, 0.5, 0.4}, {1.0, 0.6, 0.5}, {5.0, 4.0, 1.5},
                       {5.7, 4.6, 1.2}, 1.3, 80, 0.7, 0.003, 0.12},
                      fan, 0.7, -10, 0.0005};
    bigRoom.sourceCorner = 400;
    f.push_back(bigRoom);
    return f;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> out;
    quiro::cli::ArgumentReader args("make_scenes", "OUT_DIR",
                                    "Writes the scene family into OUT_DIR, one folder per scene.");
    args.positionals(out, 1, 1);
    if (const int status = args.readOrExit(argc, argv); status >= 0)
        return status;
    std::string error;
    if (!quiro::cli::outputFolder(out[0], error)) {
        std::fprintf(stderr, "make_scenes: %s\n", error.c_str());
        return 2;
    }
    try {
        for (const auto &s : family())
            if (!writeScene(out[0], s, error))
                throw std::runtime_error(error);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "make_scenes: %s\n", e.what());
        return 1;
    }
    return quiro::cli::finish("make_scenes", 0);
}
