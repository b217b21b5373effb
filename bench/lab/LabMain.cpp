// The lab bench: runs scripted sessions against the real board library and DSP program from the
// run tree, through the program's own handshake code, and measures what the operator would see.
//
//   lab_bench [--ident S] [--cancel S] [--realtime S] [--report DIR] [--d FILE.COF]
//             [--beta-c B] [--beta-w B] [--dump-scene DIR] [SCENE_DIR...]
//
// For the built-in scene and every scene directory: identification quality of C1 and C2,
// cancellation per mode against none and against the Wiener bound, and speed; then a real-time
// session (round trips of a command, overruns). PNG plots go to the report directory.

#include "Analysis.h"
#include "ReportPlot.h"

#include "board/Scene.h"
#include "board/WavRecorder.h"
#include "dsp/CommandLink.h"
#include "dsp/KestoLibrary.h"
#include "params/Download.h"

#include <QDir>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <sstream>
#include <thread>

#include <time.h>

namespace {

using namespace quiro;
using Clock = std::chrono::steady_clock;

struct Options {
    double ident = 10, cancel = 10, realtime = 5;
    float betaC = 1e-6f, betaW = 1e-5f;
    QString report = QStringLiteral(QUIRO_RUN_TREE "/lab-report");
    std::vector<std::string> scenes;
    std::string dFile; // coefficient file of the D filter; empty: LPF.COF
};

constexpr double Rate = 20000;
constexpr int Taps = 256;

std::vector<float> lowPassFallback() {
    // 63-tap Hann-windowed sinc, cut-off at a tenth of the sampling rate.
    std::vector<float> h(63);
    for (int i = 0; i < 63; ++i) {
        const double t = i - 31, fc = 0.1;
        const double sinc = t == 0 ? 2 * fc : std::sin(2 * std::numbers::pi * fc * t) / (std::numbers::pi * t);
        h[static_cast<std::size_t>(i)] =
            static_cast<float>(sinc * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 1) / 64)));
    }
    return h;
}

std::vector<float> dFilter(const std::string &bin, const std::string &file = {}) {
    std::ifstream in(file.empty() ? bin + "/LPF.COF" : file);
    std::ostringstream text;
    text << in.rdbuf();
    int line = 0;
    std::string error;
    if (in) {
        if (auto v = kesto::parseCoefficients(text.str(), line, error))
            return {v->begin(), v->end()};
        std::printf("%s:%d: %s; using the built-in low-pass\n", file.empty() ? "LPF.COF" : file.c_str(),
                    line, error.c_str());
    }
    return lowPassFallback();
}

class Session {
public:
    Session(KestoLibrary &board, const std::string &bin, const Options &opt)
        : board_(board), link_(board, [] {}), bin_(bin), opt_(opt) {}

    bool open() {
        if (board_.libenter() != 0)
            return false;
        board_.bdsel(0);
        board_.bdinit();
        return board_.loadcs(bin_ + "/../DSP/quiros.out") == 0 && board_.run() == 0;
    }

    void download(const std::vector<float> &d) {
        sendParameters(link_, {Taps, Taps, opt_.betaC, opt_.betaW, static_cast<float>(Rate), 1.0f,
                               1.0f, 1.0f, true, d});
    }

    std::uint32_t samples() {
        std::uint32_t w = 0;
        link_.getWord(dspmem::SampleCount, w);
        return w;
    }
    std::uint32_t overruns() {
        std::uint32_t w = 0;
        link_.getWord(dspmem::Overruns, w);
        return w;
    }

    // Lets `seconds` of board time pass; returns the board's speed over it (x real time), by
    // the wall clock and by the process's CPU time (the board's thread, as if it had a core).
    struct Speed {
        double wall = 0, cpu = 0;
    };
    Speed wait(double seconds, std::uint32_t start) {
        const auto t0 = Clock::now();
        const double cpu0 = cpuSeconds();
        const auto want = static_cast<std::uint32_t>(seconds * Rate);
        while (samples() - start < want)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double boardSeconds = (samples() - start) / Rate;
        return {boardSeconds / wall, boardSeconds / (cpuSeconds() - cpu0)};
    }

    static double cpuSeconds() {
        timespec t{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
    }

    std::vector<float> fetch(Cmd code, int n) {
        link_.SendCommand(code);
        link_.rewindXfer();
        std::vector<float> v(static_cast<std::size_t>(n));
        for (float &x : v)
            link_.readNextXfer(x);
        return v;
    }

    // One command through the handshake, in microseconds.
    double roundTrip(Cmd code) {
        const auto t0 = Clock::now();
        link_.SendCommand(code);
        return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    }

    void send(Cmd code) { link_.SendCommand(code); }
    void close() { board_.libexit(); }

private:
    KestoLibrary &board_;
    CommandLink link_;
    std::string bin_;
    const Options &opt_;
};

void setEnv(const char *name, const std::string &value) {
    if (value.empty())
        ::unsetenv(name);
    else
        ::setenv(name, value.c_str(), 1);
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
};

std::vector<float> channel(const std::vector<float> &frames, int ch, std::uint32_t from, std::uint32_t to) {
    std::vector<float> v;
    for (std::uint32_t i = from; i < to && 3 * static_cast<std::size_t>(i) + 2 < frames.size(); ++i)
        v.push_back(frames[3 * static_cast<std::size_t>(i) + static_cast<std::size_t>(ch)]);
    return v;
}

void runScene(KestoLibrary &board, const std::string &bin, const std::string &sceneDir,
              const Options &opt) {
    const std::string name = sceneDir.empty() ? "built-in" : sceneDir;
    kesto::Scene scene = kesto::builtInScene(Rate);
    if (!sceneDir.empty()) {
        std::string error;
        auto s = kesto::loadScene(sceneDir, error);
        if (!s) {
            std::printf("scene %s: %s\n", sceneDir.c_str(), error.c_str());
            return;
        }
        scene = kesto::sceneAt(*s, Rate);
    }
    const std::string wav = QDir::tempPath().toStdString() + "/lab-bench-session.wav";
    setEnv("KESTO32_CLOCK", "free");
    setEnv("KESTO32_RECORD", wav);
    setEnv("KESTO32_SCENE", sceneDir);
    Session s(board, bin, opt);
    if (!s.open()) {
        std::printf("scene %s: the board did not start\n", name.c_str());
        s.close();
        return;
    }
    const auto d = dFilter(bin, opt.dFile);
    s.download(d);
    std::vector<Phase> phases;
    // A phase counts from just before its command, so its length is the time the mode has had.
    auto phase = [&](const std::string &label, double seconds, Cmd command) {
        const std::uint32_t start = s.samples();
        s.send(command);
        const auto speed = s.wait(seconds, start);
        phases.push_back({label, start, s.samples()});
        return speed;
    };
    const auto speedIdent = phase("C1 identification", opt.ident, Cmd::C1IdentStart);
    s.send(Cmd::IdentStop);
    const auto c1 = s.fetch(Cmd::C1Fetch, Taps - 5);
    phase("C2 identification", opt.ident, Cmd::C2IdentStart);
    s.send(Cmd::IdentStop);
    const auto c2 = s.fetch(Cmd::C2Fetch, Taps - 5);
    s.send(Cmd::WClear);
    phase("no cancellation", 5, Cmd::ModeOff);
    const auto speedCancel = phase("mode 81 (filtered-x LMS)", opt.cancel, Cmd::Mode1);
    phase("mode 83 (W held)", 3, Cmd::Mode3);
    s.send(Cmd::WClear);
    phase("mode 82 (normalised)", opt.cancel, Cmd::Mode2);
    s.send(Cmd::RunStop);
    s.close();

    double rate = 0;
    std::vector<float> frames;
    if (!kesto::readWav(wav, rate, frames)) {
        std::printf("scene %s: no recording\n", name.c_str());
        return;
    }
    std::remove(wav.c_str());

    std::printf("\n== Scene: %s ==\n", name.c_str());
    std::printf("speed (board + DSP program, free clock): identifying %.0f x real time by the wall clock, "
                "%.0f x per CPU second; cancelling %.0f x, %.0f x per CPU second\n",
                speedIdent.wall, speedIdent.cpu, speedCancel.wall, speedCancel.cpu);
    const auto weight = dWeight(d);
    const struct {
        const char *label;
        const std::vector<float> &estimate;
        const std::vector<double> &truth;
    } paths[] = {{"C1", c1, scene.secondaryRef}, {"C2", c2, scene.secondaryErr}};
    for (const auto &p : paths) {
        const auto m = lab::misalignment(p.estimate, p.truth, weight);
        std::printf("%s misalignment after %.0f s: %6.1f dB whole band, %6.1f dB excitation band (shift %d)\n",
                    p.label, opt.ident, m.wholeDb, m.bandDb, m.shift);
    }

    const Phase &off = phases[2];
    const auto offErr = channel(frames, 1, off.start, off.end);
    const auto offSplit = lab::split(lab::spectrum(offErr), scene, Rate);
    const auto bound = lab::wienerBound(scene, Rate, Taps, 5.0);
    const auto boundWithout = lab::split(lab::spectrum(bound.without), scene, Rate);
    const auto boundWith = lab::split(lab::spectrum(bound.with), scene, Rate);
    const double boundDb = lab::powerDb(boundWithout.total / boundWith.total);
    std::printf("Wiener bound (%d taps, causal, 1 sample latency): %.1f dB overall, %s%.1f dB tones, %.1f dB broadband\n",
                Taps, boundDb, boundWith.tonesAtFloor ? ">" : "", lab::powerDb(boundWithout.tones / boundWith.tones),
                lab::powerDb(boundWithout.broadband / boundWith.broadband));
    std::printf("%-26s %9s %9s %9s %9s %9s\n", "error microphone", "overall", "tones", "broadband",
                "to -3dB", "gap");
    std::vector<lab::Series> levelSeries;
    const double window = 0.05;
    std::vector<double> tAll, lAll;
    const auto all = channel(frames, 1, 0, static_cast<std::uint32_t>(frames.size() / 3));
    const auto levels = lab::levelDb(all, static_cast<int>(window * Rate));
    for (std::size_t i = 0; i < levels.size(); ++i)
        tAll.push_back(static_cast<double>(i) * window), lAll.push_back(levels[i]);
    std::vector<lab::Series> spectra;
    const auto offSpec = lab::spectrum(offErr);
    for (std::size_t ph = 3; ph < phases.size(); ++ph) {
        const Phase &p = phases[ph];
        const auto err = channel(frames, 1, p.start, p.end);
        const auto tail = std::vector<float>(err.end() - static_cast<long>(std::min<std::size_t>(err.size(), 2 * Rate)), err.end());
        const auto power = lab::spectrum(tail);
        const auto sp = lab::split(power, scene, Rate);
        const double overall = lab::powerDb(offSplit.total / sp.total);
        const double settle = lab::settleSeconds(lab::levelDb(err, static_cast<int>(window * Rate)), window);
        std::printf("%-26s %6.1f dB %s%5.1f dB %6.1f dB %7.2f s %6.1f dB\n", p.name.c_str(), overall,
                    sp.tonesAtFloor ? ">" : " ", lab::powerDb(offSplit.tones / sp.tones), lab::powerDb(offSplit.broadband / sp.broadband),
                    settle, boundDb - overall);
        if (ph == 3) {
            lab::Series off{"without cancellation", Qt::red, {}, {}}, on{"mode 81 after " + QString::number(opt.cancel) + " s", Qt::blue, {}, {}};
            lab::Series wiener{"Wiener bound", Qt::darkGreen, {}, {}};
            const auto boundSpec = lab::spectrum(bound.with);
            for (std::size_t k = 1; k < power.size(); ++k) {
                const double f = static_cast<double>(k) * Rate / 4096;
                off.x.push_back(f), off.y.push_back(lab::powerDb(offSpec[k]));
                on.x.push_back(f), on.y.push_back(lab::powerDb(power[k]));
                wiener.x.push_back(f), wiener.y.push_back(lab::powerDb(boundSpec[k]));
            }
            spectra = {off, on, wiener};
        }
    }
    QDir().mkpath(opt.report);
    const QString tag = sceneDir.empty() ? QStringLiteral("builtin") : QDir(QString::fromStdString(sceneDir)).dirName();
    std::vector<lab::Marker> marks;
    for (const auto &p : phases)
        marks.push_back({p.start / Rate, QString::fromStdString(p.name).section(' ', 0, 1)});
    lab::writePlot(opt.report + "/" + tag + "-convergence.png",
                   "Error microphone level, scene " + QString::fromStdString(name), "time (s)",
                   "level (dB full scale)", {{"error microphone, 50 ms windows", Qt::blue, tAll, lAll}}, marks);
    lab::writePlot(opt.report + "/" + tag + "-spectrum.png",
                   "Error microphone spectrum, scene " + QString::fromStdString(name), "frequency (Hz)",
                   "power (dB full scale)", spectra, {}, true);
    std::printf("plots: %s/%s-{convergence,spectrum}.png\n", qPrintable(opt.report), qPrintable(tag));
}

// Writes the built-in scene as a scene directory, a starting point for one's own scenes.
void dumpScene(const std::string &dir) {
    const kesto::Scene s = kesto::builtInScene(Rate);
    QDir().mkpath(QString::fromStdString(dir));
    std::ofstream ini(dir + "/scene.ini");
    ini << "# The built-in duct at " << Rate << " Hz (its broadband noise is coloured there)\n";
    ini << "sample_rate = " << Rate << "\n";
    for (const auto &t : s.tones)
        ini << "tone = " << t.frequency << " " << t.amplitude << "\n";
    ini << "broadband = " << s.broadband << "\nmic_noise = " << s.micNoise << "\n";
    const std::pair<const char *, const std::vector<double> *> files[] = {
        {"primary_ref.cof", &s.primaryRef}, {"primary_err.cof", &s.primaryErr},
        {"secondary_ref.cof", &s.secondaryRef}, {"secondary_err.cof", &s.secondaryErr}};
    for (const auto &[name, h] : files) {
        std::ofstream f(dir + "/" + name);
        f.precision(9);
        f << h->size() << "\n";
        for (double v : *h)
            f << v << "\n";
    }
    std::printf("built-in scene written to %s\n", dir.c_str());
}

void realTimeSession(KestoLibrary &board, const std::string &bin, const Options &opt) {
    setEnv("KESTO32_CLOCK", "realtime");
    setEnv("KESTO32_RECORD", "");
    setEnv("KESTO32_SCENE", "");
    Session s(board, bin, opt);
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
    while (Clock::now() < end) {
        trips.push_back(s.roundTrip(Cmd::CaptureQuery));
        s.fetch(Cmd::WFetch, Taps - 5); // what the run loop does on every pass
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

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::atof(argv[++i]) : 0.0; };
        if (a == "--ident")
            opt.ident = next();
        else if (a == "--cancel")
            opt.cancel = next();
        else if (a == "--d" && i + 1 < argc)
            opt.dFile = argv[++i];
        else if (a == "--beta-c")
            opt.betaC = static_cast<float>(next());
        else if (a == "--beta-w")
            opt.betaW = static_cast<float>(next());
        else if (a == "--realtime")
            opt.realtime = next();
        else if (a == "--dump-scene" && i + 1 < argc) {
            dumpScene(argv[++i]);
            return 0;
        } else if (a == "--report" && i + 1 < argc)
            opt.report = QString::fromLocal8Bit(argv[++i]);
        else
            opt.scenes.push_back(a);
    }
    const std::string bin = QUIRO_RUN_TREE "/bin";
    KestoLibrary board(QString::fromStdString(bin));
    runScene(board, bin, "", opt);
    for (const auto &dir : opt.scenes)
        runScene(board, bin, dir, opt);
    if (opt.realtime > 0)
        realTimeSession(board, bin, opt);
    return 0;
}
