// The lab bench: runs scripted sessions of the DSP program from the run tree on the board, through
// the program's own handshake code, and measures what the operator would see. The sweeps step the
// board's core themselves (SteppedBoard), so their figures are the same in every run; the speed
// and the real-time session run the board library on its own clock.
//
//   lab_bench [--help] [--ident S] [--cancel S] [--realtime S] [--report DIR] [--d FILE.COF]
//             [--beta-c B] [--beta-w B] [--dump-scene DIR] [--scenes] [--changes] [SCENE_DIR...]
//
// --scenes adds every scene of the family (the run tree's scenes/) that holds still and prints
// the sweep's table; --changes runs the scenes with a timeline instead, in every mode, and
// prints their table (see Changes.h).
//
// For the built-in scene and every scene directory: identification quality of C1 and C2,
// cancellation per mode against none and against the Wiener bound, and speed; then a real-time
// session (round trips of a command, overruns). PNG plots go to the report directory.

#include "Analysis.h"
#include "Changes.h"
#include "ReportPlot.h"
#include "Session.h"

#include "board/Scene.h"
#include "board/WavRecorder.h"
#include "cli/ArgumentReader.h"
#include "cli/Paths.h"
#include "coeffile/CoefficientParser.h"
#include "dsp/CommandLink.h"
#include "dsp/KestoLibrary.h"
#include "dsp/RunTree.h"
#include "dspprog/Quiros.h"
#include "params/Download.h"

#include <Eigen/Dense>

#include <QDir>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <thread>

#include <time.h>

namespace {

using namespace quiro;
using Clock = std::chrono::steady_clock;

struct Options {
    double ident = 10, cancel = 20, realtime = 5;
    bool family = false;  // every scene directory of the run tree's scenes/ that holds still
    bool changes = false; // the scenes with a timeline (or those given), through their changes
    float betaC = 1e-6f, betaW = 1e-5f;
    std::string tree; // the run tree this program is in
    QString report;   // the run tree's lab-report in a build tree, else ./lab-report
    std::vector<std::string> scenes;
    std::string dFile; // coefficient file of the D filter; empty: LPF.COF
};

using lab::Rate;
using lab::Session;
using lab::Taps;
using lab::dFilter;
using lab::setEnv;

// A D filter's file is read whole: 4096 coefficients of 256 characters at most fit well inside.
constexpr std::uint64_t MaxDFileBytes = 16 << 20;

// False once a plot could not be written: the bench then ends with status 1.
bool reportWritten = true;
void checkWritten(bool written, const QString &file) {
    if (!written) {
        std::fprintf(stderr, "lab_bench: %s: cannot be written\n", qPrintable(file));
        reportWritten = false;
    }
}

std::vector<double> dWeight(const std::vector<float> &d) {
    std::vector<double> h(d.begin(), d.end());
    std::vector<double> w;
    // |D|^2 on the 4096-point grid through the misalignment's own transform: a unit truth.
    const int grid = 4096;
    for (int k = 0; k <= grid / 2; ++k) {
        double re = 0, im = 0;
        for (std::size_t n = 0; n < h.size(); ++n) {
            re += h[n] * std::cos(2 * std::numbers::pi * k * static_cast<double>(n) / grid);
            im -= h[n] * std::sin(2 * std::numbers::pi * k * static_cast<double>(n) / grid);
        }
        w.push_back(re * re + im * im);
    }
    return w;
}

struct Phase {
    std::string name;
    std::uint32_t start, end;
    std::uint32_t trips; // the divergence guard's, during the phase
};

std::vector<float> channel(const std::vector<float> &frames, int ch, std::uint32_t from, std::uint32_t to) {
    std::vector<float> v;
    for (std::uint32_t i = from; i < to && 3 * static_cast<std::size_t>(i) + 2 < frames.size(); ++i)
        v.push_back(frames[3 * static_cast<std::size_t>(i) + static_cast<std::size_t>(ch)]);
    return v;
}

// What one scene's session measured: the table's row.
struct SceneResult {
    std::string name;
    bool ok = false;
    struct Path {
        double bandDb = 0, wholeDb = 0, lsBandDb = 0, excitationOverNoiseDb = 0;
        bool met = false;
        bool beyondModel = false;
    } c1, c2;
    struct Mode {
        const char *label = "";
        double overallDb = 0, tonesDb = 0, worstDb = 0, saturated = 0;
        bool tonesAtFloor = false;
        std::uint32_t trips = 0;
    } modes[3];
    double boundDb = 0, boundTonesDb = 0, speed = 0;
    bool hasTones = false;
};

// The least-squares fit of `taps` coefficients predicting `mic` from the outputs sent before it
// (tap 0 = one sample of latency), over the same samples the adaptive filter saw: normal
// equations with the outputs' autocorrelation as a Toeplitz matrix.
std::vector<float> leastSquaresFit(const std::vector<float> &out, const std::vector<float> &mic, int taps) {
    const auto L = static_cast<Eigen::Index>(taps);
    const std::size_t n = std::min(out.size(), mic.size());
    std::vector<double> r(static_cast<std::size_t>(taps), 0.0);
    Eigen::VectorXd p = Eigen::VectorXd::Zero(L);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t k = 0; k < static_cast<std::size_t>(taps) && k <= i; ++k) {
            r[k] += static_cast<double>(out[i]) * out[i - k];
            if (k + 1 <= i)
                p[static_cast<Eigen::Index>(k)] += static_cast<double>(mic[i]) * out[i - 1 - k];
        }
    Eigen::MatrixXd R(L, L);
    for (Eigen::Index i = 0; i < L; ++i)
        for (Eigen::Index j = 0; j < L; ++j)
            R(i, j) = r[static_cast<std::size_t>(std::abs(i - j))];
    R.diagonal().array() += 1e-9 * r[0];
    const Eigen::VectorXd w = R.ldlt().solve(p);
    std::vector<float> fit(static_cast<std::size_t>(taps));
    for (Eigen::Index i = 0; i < L; ++i)
        fit[static_cast<std::size_t>(i)] = static_cast<float>(w[i]);
    return fit;
}

double meanSquare(const std::vector<float> &x) {
    double s = 0;
    for (float v : x)
        s += static_cast<double>(v) * v;
    return x.empty() ? 0 : s / static_cast<double>(x.size());
}

// One scene's scripted session on the board core and the real DSP program, stepped by the
// bench (so every phase lasts exactly its samples): the phases, the fetched models and every
// frame of all three channels.
struct Recording {
    std::vector<Phase> phases; // C1, C2, none, 81, 83, 82
    std::vector<float> c1, c2, frames;
    Session::Speed ident, cancel;
    bool ok = false;
};

Recording record(const std::string &bin, const std::string &sceneDir, const std::vector<float> &d,
                 const Options &opt) {
    Recording r;
    lab::SteppedBoard board(sceneDir, true);
    Session s(board, bin, opt.betaC, opt.betaW);
    if (!s.open()) {
        std::printf("scene %s: the board did not start\n", sceneDir.c_str());
        s.close();
        return r;
    }
    s.download(d);
    // A phase counts from just before its command, so its length is the time the mode has had.
    auto phase = [&](const std::string &label, double seconds, Cmd command) {
        const std::uint32_t start = s.samples();
        const std::uint32_t trips0 = s.guardTrips();
        s.send(command);
        const auto speed = s.wait(seconds, start);
        r.phases.push_back({label, start, s.samples(), s.guardTrips() - trips0});
        return speed;
    };
    r.ident = phase("C1 identification", opt.ident, Cmd::C1IdentStart);
    s.send(Cmd::IdentStop);
    r.c1 = s.fetch(Cmd::C1Fetch, Taps - FetchShortfall);
    phase("C2 identification", opt.ident, Cmd::C2IdentStart);
    s.send(Cmd::IdentStop);
    r.c2 = s.fetch(Cmd::C2Fetch, Taps - FetchShortfall);
    s.send(Cmd::WClear);
    phase("no cancellation", 5, Cmd::ModeOff);
    r.cancel = phase("mode 81", opt.cancel, Cmd::Mode1);
    phase("mode 83 (W held)", 5, Cmd::Mode3);
    s.send(Cmd::WClear);
    phase("mode 82", opt.cancel, Cmd::Mode2);
    s.send(Cmd::RunStop);
    r.frames = board.frames();
    r.ok = !r.frames.empty();
    s.close();
    return r;
}

// How well one path was identified: against the part of the path a model of this length can
// hold, beside a least-squares fit of the same signals.
SceneResult::Path measurePath(const char *label, const std::vector<float> &estimate,
                              std::vector<double> truth, const Recording &r, int phase, int mic,
                              const std::vector<double> &weight, const Options &opt) {
    const Phase &p = r.phases[static_cast<std::size_t>(phase)], &off = r.phases[2];
    const double total = std::inner_product(truth.begin(), truth.end(), truth.begin(), 0.0);
    truth.resize(std::min(truth.size(), estimate.size()));
    const double held = std::inner_product(truth.begin(), truth.end(), truth.begin(), 0.0);
    const auto m = lab::misalignment(estimate, truth, weight);
    const auto heard = channel(r.frames, mic, p.start, p.end);
    const auto sent = channel(r.frames, 2, p.start, p.end);
    std::vector<float> heardCounts(heard.size()), sentCounts(sent.size());
    for (std::size_t i = 0; i < heard.size(); ++i) {
        heardCounts[i] = ConverterFullScale * heard[i];
        sentCounts[i] = ConverterFullScale * sent[i];
    }
    const auto ls = lab::misalignment(
        leastSquaresFit(sentCounts, heardCounts, Taps - FetchShortfall), truth, weight);
    const double noise = meanSquare(channel(r.frames, mic, off.start, off.end));
    const double excitation = std::max(meanSquare(heard) - noise, 1e-30);
    SceneResult::Path out{m.bandDb, m.wholeDb, ls.bandDb, lab::powerDb(excitation / noise), false};
    out.met = out.excitationOverNoiseDb >= 0 ? m.bandDb <= -20 : m.bandDb <= ls.bandDb + 3;
    if (held < 1e-6 * total) // nothing arrives within the model's span: nothing to measure
        out = {0, 0, 0, out.excitationOverNoiseDb, true, true};
    std::printf("%s after %.0f s: %6.1f dB whole band, %6.1f dB excitation band (shift %d); "
                "least squares %6.1f dB; excitation %+5.1f dB over the noise; beyond %zu taps: %.1f dB\n",
                label, opt.ident, m.wholeDb, m.bandDb, m.shift, ls.bandDb, out.excitationOverNoiseDb,
                truth.size(), lab::powerDb(1 - held / total));
    return out;
}

SceneResult runScene(const std::string &bin, const std::string &sceneDir, const Options &opt) {
    SceneResult result;
    result.name = sceneDir.empty() ? "built-in" : QDir(QString::fromStdString(sceneDir)).dirName().toStdString();
    kesto::Scene scene = kesto::builtInScene(Rate);
    if (!sceneDir.empty()) {
        std::string error;
        auto s = kesto::loadScene(sceneDir, error);
        if (!s) {
            std::printf("scene %s: %s\n", sceneDir.c_str(), error.c_str());
            return result;
        }
        auto at = kesto::sceneAt(*s, Rate, error);
        if (!at) {
            std::printf("scene %s: %s\n", sceneDir.c_str(), error.c_str());
            return result;
        }
        scene = std::move(*at);
    }
    result.hasTones = !scene.tones.empty();
    const auto d = dFilter(bin, opt.dFile);
    const Recording rec = record(bin, sceneDir, d, opt);
    if (!rec.ok)
        return result;
    const auto &phases = rec.phases;
    const auto &frames = rec.frames;
    const auto speedIdent = rec.ident, speedCancel = rec.cancel;
    result.speed = speedCancel.wall;

    std::printf("\n== Scene: %s ==\n", result.name.c_str());
    std::printf("speed (board + DSP program, stepped): identifying %.0f x real time by the wall clock, "
                "%.0f x per CPU second; cancelling %.0f x, %.0f x per CPU second\n",
                speedIdent.wall, speedIdent.cpu, speedCancel.wall, speedCancel.cpu);
    const auto weight = dWeight(d);
    const Phase &off = phases[2];
    result.c1 = measurePath("C1", rec.c1, scene.secondaryRef, rec, 0, 0, weight, opt);
    result.c2 = measurePath("C2", rec.c2, scene.secondaryErr, rec, 1, 1, weight, opt);

    const auto offErr = channel(frames, 1, off.start, off.end);
    const auto offSpec = lab::spectrum(offErr);
    const auto offSplit = lab::split(offSpec, scene, Rate);
    const auto bound = lab::wienerBound(scene, Rate, Taps, 5.0);
    const auto boundWithout = lab::split(lab::spectrum(bound.without), scene, Rate);
    const auto boundWith = lab::split(lab::spectrum(bound.with), scene, Rate);
    result.boundDb = lab::powerDb(boundWithout.total / boundWith.total);
    result.boundTonesDb = lab::powerDb(boundWithout.tones / boundWith.tones);
    std::printf("Wiener bound (%d taps, causal, 1 sample latency): %.1f dB overall, %s%.1f dB tones, %.1f dB broadband\n",
                Taps, result.boundDb, boundWith.tonesAtFloor ? ">" : "", result.boundTonesDb,
                lab::powerDb(boundWithout.broadband / boundWith.broadband));
    std::printf("%-20s %9s %9s %9s %9s %9s %8s %6s\n", "error microphone", "overall", "tones",
                "broadband", "worst 1s", "to -3dB", "clipped", "trips");
    const double window = 0.05;
    std::vector<double> tAll, lAll;
    const auto all = channel(frames, 1, 0, static_cast<std::uint32_t>(frames.size() / 3));
    const auto levels = lab::levelDb(all, static_cast<int>(window * Rate));
    for (std::size_t i = 0; i < levels.size(); ++i)
        tAll.push_back(static_cast<double>(i) * window), lAll.push_back(levels[i]);
    std::vector<lab::Series> spectra;
    const double offPower = meanSquare(offErr);
    for (std::size_t ph = 3; ph < phases.size(); ++ph) {
        const Phase &p = phases[ph];
        const auto err = channel(frames, 1, p.start, p.end);
        const auto ctl = channel(frames, 2, p.start, p.end);
        const auto tail = std::vector<float>(err.end() - static_cast<long>(std::min<std::size_t>(err.size(), 5 * Rate)), err.end());
        const auto power = lab::spectrum(tail);
        const auto sp = lab::split(power, scene, Rate);
        auto &m = result.modes[ph - 3];
        m.label = ph == 3 ? "81" : ph == 4 ? "83" : "82";
        m.overallDb = lab::powerDb(offSplit.total / sp.total);
        m.tonesDb = lab::powerDb(offSplit.tones / sp.tones);
        m.tonesAtFloor = sp.tonesAtFloor;
        m.trips = p.trips;
        // The worst second of the mode's last five, against no cancellation.
        m.worstDb = 1e9;
        for (std::size_t at = 0; at + static_cast<std::size_t>(Rate) <= tail.size(); at += static_cast<std::size_t>(Rate / 2))
            m.worstDb = std::min(m.worstDb, lab::powerDb(offPower / meanSquare({tail.begin() + static_cast<long>(at), tail.begin() + static_cast<long>(at + static_cast<std::size_t>(Rate))})));
        std::size_t clipped = 0;
        for (float v : ctl)
            clipped += std::abs(v) >= static_cast<float>(ConverterMax) / ConverterFullScale ? 1 : 0;
        m.saturated = ctl.empty() ? 0 : static_cast<double>(clipped) / static_cast<double>(ctl.size());
        const double settle = lab::settleSeconds(lab::levelDb(err, static_cast<int>(window * Rate)), window);
        std::printf("%-20s %6.1f dB %s%5.1f dB %6.1f dB %6.1f dB %7.2f s %7.3f%% %6u\n", p.name.c_str(), m.overallDb,
                    sp.tonesAtFloor ? ">" : " ", m.tonesDb, lab::powerDb(offSplit.broadband / sp.broadband),
                    m.worstDb, settle, 100 * m.saturated, p.trips);
        if (ph == 3) {
            lab::Series offS{"without cancellation", Qt::red, {}, {}}, on{"mode 81 after " + QString::number(opt.cancel) + " s", Qt::blue, {}, {}};
            lab::Series wiener{"Wiener bound", Qt::darkGreen, {}, {}};
            const auto boundSpec = lab::spectrum(bound.with);
            for (std::size_t k = 1; k < power.size(); ++k) {
                const double f = static_cast<double>(k) * Rate / 4096;
                offS.x.push_back(f), offS.y.push_back(lab::powerDb(offSpec[k]));
                on.x.push_back(f), on.y.push_back(lab::powerDb(power[k]));
                wiener.x.push_back(f), wiener.y.push_back(lab::powerDb(boundSpec[k]));
            }
            spectra = {offS, on, wiener};
        }
    }
    QDir().mkpath(opt.report);
    const QString tag = QString::fromStdString(result.name == "built-in" ? "builtin" : result.name);
    std::vector<lab::Marker> marks;
    for (const auto &p : phases)
        marks.push_back({p.start / Rate, QString::fromStdString(p.name).section(' ', 0, 1)});
    checkWritten(lab::writePlot(opt.report + "/" + tag + "-convergence.png",
                   "Error microphone level, scene " + QString::fromStdString(result.name), "time (s)",
                   "level (dB full scale)", {{"error microphone, 50 ms windows", Qt::blue, tAll, lAll}}, marks),
                 opt.report + "/" + tag + "-convergence.png");
    checkWritten(lab::writePlot(opt.report + "/" + tag + "-spectrum.png",
                   "Error microphone spectrum, scene " + QString::fromStdString(result.name), "frequency (Hz)",
                   "power (dB full scale)", spectra, {}, true), opt.report + "/" + tag + "-spectrum.png");
    std::printf("plots: %s/%s-{convergence,spectrum}.png\n", qPrintable(opt.report), qPrintable(tag));
    result.ok = true;
    return result;
}

// The sweep's table, one row per scene, and the overview picture.
void printSweep(const std::vector<SceneResult> &rows, const Options &opt) {
    std::printf("\n== Sweep: identification %.0f s per path, %.0f s per mode, defaults ==\n", opt.ident, opt.cancel);
    std::printf("| scene | C1 band dB (LS) | C2 band dB (LS) | 81 overall / tones | 82 overall / tones | 83 overall | bound / tones | gap 81 / 82 | worst 1 s | clipped %% | trips | speed |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    std::vector<lab::Series> overview;
    const QColor colours[] = {Qt::blue, Qt::darkGreen, Qt::darkMagenta};
    for (int m = 0; m < 3; ++m)
        overview.push_back({QString("mode ") + (m == 0 ? "81" : m == 1 ? "83" : "82"), colours[m], {}, {}, true});
    lab::Series diagonal{"bound", Qt::gray, {}, {}};
    for (const auto &r : rows) {
        if (!r.ok)
            continue;
        // In-band misalignment; where the noise was louder than the excitation, with the
        // least-squares fit's beside it. "!" marks a target missed.
        auto path = [](const SceneResult::Path &p) {
            char b[64];
            if (p.beyondModel)
                return std::string("beyond taps");
            if (p.excitationOverNoiseDb >= 0)
                std::snprintf(b, sizeof b, "%.1f%s", p.bandDb, p.met ? "" : " !");
            else
                std::snprintf(b, sizeof b, "%.1f (%.1f)%s", p.bandDb, p.lsBandDb, p.met ? "" : " !");
            return std::string(b);
        };
        auto tones = [&](const SceneResult::Mode &m) {
            char b[32];
            if (!r.hasTones)
                return std::string("–");
            std::snprintf(b, sizeof b, "%s%.1f", m.tonesAtFloor ? ">" : "", m.tonesDb);
            return std::string(b);
        };
        double worst = 1e9, clipped = 0;
        std::uint32_t trips = 0;
        for (const auto &m : r.modes)
            worst = std::min(worst, m.worstDb), clipped = std::max(clipped, m.saturated), trips += m.trips;
        std::printf("| %s | %s | %s | %.1f / %s | %.1f / %s | %.1f | %.1f / %s | %.1f / %.1f | %.1f | %.3f | %u | %.0f x |\n",
                    r.name.c_str(), path(r.c1).c_str(), path(r.c2).c_str(), r.modes[0].overallDb,
                    tones(r.modes[0]).c_str(), r.modes[2].overallDb, tones(r.modes[2]).c_str(),
                    r.modes[1].overallDb, r.boundDb, r.hasTones ? QByteArray::number(r.boundTonesDb, 'f', 1).constData() : "–",
                    r.boundDb - r.modes[0].overallDb, r.boundDb - r.modes[2].overallDb, worst,
                    100 * clipped, trips, r.speed);
        for (int m = 0; m < 3; ++m)
            overview[static_cast<std::size_t>(m)].x.push_back(r.boundDb), overview[static_cast<std::size_t>(m)].y.push_back(r.modes[m].overallDb);
        diagonal.x.push_back(r.boundDb), diagonal.y.push_back(r.boundDb);
    }
    std::sort(diagonal.x.begin(), diagonal.x.end());
    diagonal.y = diagonal.x;
    overview.push_back(diagonal);
    QDir().mkpath(opt.report);
    checkWritten(lab::writePlot(opt.report + "/sweep-overview.png", "Attenuation against the causal Wiener bound, every scene and mode",
                   "Wiener bound (dB)", "attenuation (dB)", overview), opt.report + "/sweep-overview.png");
    std::printf("overview: %s/sweep-overview.png\n", qPrintable(opt.report));
}

// Writes the built-in scene as a scene directory, a starting point for one's own scenes; false,
// with the reason in `error`, at the first write that fails.
bool dumpScene(const std::string &dir, std::string &error) {
    const kesto::Scene s = kesto::builtInScene(Rate);
    std::ostringstream ini;
    ini << "# The built-in duct at " << Rate << " Hz (its broadband noise is coloured there)\n";
    ini << "sample_rate = " << Rate << "\n";
    for (const auto &t : s.tones)
        ini << "tone = " << t.frequency << " " << t.amplitude << "\n";
    ini << "broadband = " << s.broadband << "\nmic_noise = " << s.micNoise << "\n";
    if (!cli::writeWholeFile(dir + "/scene.ini", ini.str(), error))
        return false;
    const std::pair<const char *, const std::vector<double> *> files[] = {
        {"primary_ref.cof", &s.primaryRef}, {"primary_err.cof", &s.primaryErr},
        {"secondary_ref.cof", &s.secondaryRef}, {"secondary_err.cof", &s.secondaryErr}};
    for (const auto &[name, h] : files) {
        std::ostringstream f;
        f.precision(9);
        f << h->size() << "\n";
        for (double v : *h)
            f << v << "\n";
        if (!cli::writeWholeFile(dir + "/" + name, f.str(), error))
            return false;
    }
    std::printf("built-in scene written to %s\n", dir.c_str());
    return true;
}

void realTimeSession(KestoLibrary &board, const std::string &bin, const Options &opt) {
    setEnv("KESTO32_CLOCK", "realtime");
    setEnv("KESTO32_RECORD", "");
    setEnv("KESTO32_SCENE", "");
    Session s(board, bin, opt.betaC, opt.betaW);
    if (!s.open()) {
        std::printf("real-time session: the board did not start\n");
        s.close();
        return;
    }
    s.download(dFilter(bin));
    for (Cmd start : {Cmd::C1IdentStart, Cmd::C2IdentStart}) {
        s.send(start);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        s.send(Cmd::IdentStop);
    }
    s.send(Cmd::Mode1);
    const std::uint32_t overrunsBefore = s.overruns();
    std::vector<double> trips;
    const auto end = Clock::now() + std::chrono::duration<double>(opt.realtime);
    while (trips.empty() || Clock::now() < end) { // one command at least, however short the time
        trips.push_back(s.roundTrip(Cmd::CaptureQuery));
        s.fetch(Cmd::WFetch, Taps - FetchShortfall); // what the run loop does on every pass
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const std::uint32_t overruns = s.overruns() - overrunsBefore;
    s.send(Cmd::RunStop);
    s.close();
    std::sort(trips.begin(), trips.end());
    std::printf("\n== Real time, built-in scene, mode 81 for %.0f s ==\n", opt.realtime);
    std::printf("command round trip: median %.1f us, 99th percentile %.1f us over %zu commands\n",
                trips[trips.size() / 2], trips[trips.size() * 99 / 100], trips.size());
    std::printf("overruns: %u samples\n", overruns);
}

// Reads the command line into `opt` and checks every file it names; -1 to go on, else the status
// to exit with (after a scene dump, which is all the bench then does).
int readArguments(int argc, char **argv, Options &opt) {
    double betaC = opt.betaC, betaW = opt.betaW;
    std::string report = opt.report.toStdString(), dump;
    cli::ArgumentReader args("lab_bench", "[SCENE_DIR...]",
                             "Runs scripted sessions on the real board and DSP program and measures "
                             "identification,\ncancellation and speed, for the built-in scene and each "
                             "SCENE_DIR.");
    args.number("--ident", opt.ident, 1, 3600, "seconds of identification per path");
    args.number("--cancel", opt.cancel, 1, 3600, "seconds per cancellation mode");
    args.number("--realtime", opt.realtime, 0, 3600, "seconds of the real-time session, 0 for none");
    args.path("--report", report,
              "the folder for the PNG plots (default lab-report in a build tree, else in the "
              "current folder)");
    args.path("--d", opt.dFile, "the D filter's coefficient file (default the run tree's LPF.COF)");
    args.number("--beta-c", betaC, 0, 1, "the identification's step size");
    args.number("--beta-w", betaW, 0, 1, "the cancellation's step size");
    args.path("--dump-scene", dump, "writes the built-in scene into this folder, and nothing else");
    args.flag("--scenes", opt.family, "adds every scene of the run tree's scenes/ that holds still and prints a table");
    args.flag("--changes", opt.changes, "runs the scenes with a timeline (or those given) in every mode through their changes");
    args.positionals(opt.scenes, 0, 1000);
    if (const int status = args.readOrExit(argc, argv); status >= 0)
        return status;
    opt.betaC = static_cast<float>(betaC);
    opt.betaW = static_cast<float>(betaW);
    opt.report = QString::fromLocal8Bit(report);
    std::string error;
    if (!dump.empty()) {
        const bool usable = cli::outputFolder(dump, error);
        if (usable && dumpScene(dump, error))
            return cli::finish("lab_bench", 0);
        std::fprintf(stderr, "lab_bench: %s\n", error.c_str());
        return usable ? 1 : 2;
    }
    const std::string d = opt.dFile.empty() ? opt.tree + "/bin/LPF.COF" : opt.dFile;
    bool ok = cli::inputFile(d, error, MaxDFileBytes) && cli::outputFolder(report, error);
    if (ok) { // a D filter that cannot be read is an error, never a built-in stand-in
        std::ifstream in(d);
        std::ostringstream text;
        text << in.rdbuf();
        const CoefficientResult parsed = parseCoefficients(text.str());
        if (parsed.problem != CoefficientProblem::None) {
            error = d + ":" + std::to_string(parsed.line) + ": " + describeProblem(parsed, MaxCoefficients);
            ok = false;
        }
    }
    for (const std::string &dir : opt.scenes)
        ok = ok && cli::inputFolder(dir, error);
    if (opt.family)
        ok = ok && cli::inputFolder(opt.tree + "/scenes", error);
    if (ok)
        return -1;
    std::fprintf(stderr, "lab_bench: %s\n", error.c_str());
    return 2;
}

// The changing family, or the scene directories given, through their changes.
bool runChanges(KestoLibrary &board, const std::string &bin, const Options &opt) {
    const auto dirs = opt.scenes.empty() ? lab::familyScenes(opt.tree + "/scenes", true) : opt.scenes;
    return lab::runChanges(board, bin, dirs, {opt.betaC, opt.betaW, opt.ident, opt.report, opt.dFile});
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Options opt;
    opt.tree = runTreeOf(QCoreApplication::applicationDirPath()).toStdString();
    opt.report = defaultOutput(QString::fromStdString(opt.tree), QStringLiteral("lab-report"));
    if (const int status = readArguments(argc, argv, opt); status >= 0)
        return status;
    std::printf("run tree: %s\n", opt.tree.c_str());
    const std::string bin = opt.tree + "/bin";
    KestoLibrary board(QString::fromStdString(bin));
    if (opt.changes)
        return cli::finish("lab_bench", runChanges(board, bin, opt) ? 0 : 1);
    if (opt.family) {
        const auto dirs = lab::familyScenes(opt.tree + "/scenes", false);
        opt.scenes.insert(opt.scenes.end(), dirs.begin(), dirs.end());
    }
    std::vector<SceneResult> rows{runScene(bin, "", opt)};
    for (const auto &dir : opt.scenes)
        rows.push_back(runScene(bin, dir, opt));
    if (rows.size() > 1)
        printSweep(rows, opt);
    if (opt.realtime > 0)
        realTimeSession(board, bin, opt);
    return cli::finish("lab_bench", reportWritten ? 0 : 1);
}
