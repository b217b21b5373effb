#include "Changes.h"

#include "Analysis.h"
#include "ChangeAnalysis.h"
#include "ReportPlot.h"
#include "Session.h"

#include "board/Scene.h"

#include <QDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

namespace lab {

namespace {

using quiro::Cmd;

constexpr double SliceSeconds = 0.1;
constexpr double HoldLead = 5; // s before the first change mode 83 holds W
constexpr int Modes = 3;
const Cmd ModeCommands[Modes] = {Cmd::Mode1, Cmd::Mode2, Cmd::Mode3};
const char *const ModeNames[Modes] = {"81", "82", "83"};

// One session on the board: the error microphone and the output, the guard's trips counted up to
// each change, the speed while cancelling.
struct Take {
    std::vector<float> error, output;
    std::vector<std::uint32_t> tripsAt; // at each change's start, and at the end
    Session::Speed speed;
    bool ok = false;
};

// A change in a few words: the keys its section sets ("tone" once, however many).
std::string keysOf(const std::string &what) {
    std::string keys;
    std::size_t at = 0;
    while (at < what.size()) {
        const std::size_t end = std::min(what.find("; ", at), what.size());
        const std::string line = what.substr(at, end - at);
        const std::string key = line.substr(0, line.find(' '));
        if (keys.find(key) == std::string::npos)
            keys += (keys.empty() ? "" : ", ") + key;
        at = end + 2;
    }
    return keys;
}

double runSeconds(const kesto::Scene &scene, const std::vector<kesto::SceneStretch> &changes) {
    return scene.repeat > 0 ? scene.repeat + 15 : changes.back().start + 25;
}

// A session: identification, then mode `mode` of ModeCommands (83 holds the W that 81 reached by
// HoldLead seconds before the first change) through every change, on the board core and the real
// DSP program stepped by the bench, so that each command lands on the same sample every run.
Take take(const std::string &bin, const std::string &dir, const std::vector<float> &d, int mode,
          const std::vector<kesto::SceneStretch> &changes, double seconds,
          const ChangeOptions &opt) {
    Take t;
    SteppedBoard board(dir, true);
    Session s(board, bin, opt.betaC, opt.betaW);
    if (!s.open()) {
        std::printf("scene %s: the board did not start\n", dir.c_str());
        s.close();
        return t;
    }
    // The timeline counts from the run's first sample. So the program is set up in a first run
    // (the base of the timeline playing): identification, each path from the base's start, then
    // the mode; then the board runs again, and the timeline with it, while the program keeps its
    // models, W and mode.
    auto now = [&] { return s.samples() / Rate; };
    auto until = [&](double at) { s.wait(std::max(at - now(), 0.0), s.samples()); };
    s.download(d);
    for (Cmd path : {Cmd::C1IdentStart, Cmd::C2IdentStart}) {
        s.restart();
        s.send(path);
        until(opt.ident);
        s.send(Cmd::IdentStop);
    }
    s.send(ModeCommands[mode] == Cmd::Mode3 ? Cmd::Mode1 : ModeCommands[mode]);
    s.restart();
    if (ModeCommands[mode] == Cmd::Mode3) {
        until(changes.front().start - HoldLead);
        s.send(Cmd::Mode3);
    }
    // The speed while cancelling, from here to the end: board time over wall and CPU time.
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = Session::cpuSeconds();
    const std::uint32_t samples0 = s.samples();
    for (const auto &c : changes) {
        if (c.start >= seconds)
            break;
        until(c.start);
        t.tripsAt.push_back(s.guardTrips());
    }
    until(seconds);
    t.tripsAt.push_back(s.guardTrips());
    const double ran = (s.samples() - samples0) / Rate;
    t.speed = {ran /
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count(),
               ran / (Session::cpuSeconds() - cpu0)};
    s.send(Cmd::RunStop);
    const auto &frames = board.frames();
    for (std::size_t i = 0; i + 2 < frames.size(); i += 3)
        t.error.push_back(frames[i + 1]), t.output.push_back(frames[i + 2]);
    t.ok = !t.error.empty();
    s.close();
    return t;
}

// The error microphone as it would have been without the output, from the same session (so with
// the same noise): the error less the output, one sample late, through the true secondary path of
// each moment, crossfaded through each change as the plant does.
std::vector<float> withoutOutput(const Take &t, const kesto::Scene &scene,
                                 const std::vector<kesto::SceneStretch> &changes) {
    std::vector<float> late(t.output.size(), 0.0f);
    std::copy(t.output.begin(), t.output.end() - (t.output.empty() ? 0 : 1),
              late.begin() + (t.output.empty() ? 0 : 1));
    std::vector<std::vector<float>> through{
        convolve(late, kesto::sceneStretches(scene).front().scene.secondaryErr)};
    for (const auto &c : changes)
        through.push_back(convolve(late, c.scene.secondaryErr));
    std::vector<float> out(t.error.size());
    for (std::size_t n = 0; n < out.size(); ++n) {
        double at = static_cast<double>(n) / Rate;
        if (scene.repeat > 0)
            at = std::fmod(at, scene.repeat);
        std::size_t now = 0, before = 0; // 0: the base, c + 1: change c
        double share = 1;                // of `now`
        for (std::size_t c = 0; c < changes.size() && changes[c].start <= at; ++c) {
            before = now, now = c + 1;
            share =
                std::min(1.0, (at - changes[c].start) / (changes[c].settled - changes[c].start));
        }
        const float from = n < through[now].size() ? through[now][n] : 0.0f;
        const float was = n < through[before].size() ? through[before][n] : 0.0f;
        out[n] = t.error[n] - static_cast<float>(share * from + (1 - share) * was);
    }
    return out;
}

// A tone's frequency at any moment: it glides linearly from where it was to where each change
// puts it, and the timeline starts again every `repeat` seconds.
struct ToneTracks {
    const kesto::Scene &base;
    const std::vector<kesto::SceneStretch> &changes;
    double frequency(std::size_t k, double t) const {
        if (base.repeat > 0)
            t = std::fmod(t, base.repeat);
        const kesto::Scene *now = &base;
        for (const auto &c : changes) {
            if (t < c.start)
                break;
            const double before = k < now->tones.size() ? now->tones[k].frequency : 0;
            const double after = k < c.scene.tones.size() ? c.scene.tones[k].frequency : before;
            if (t < c.settled)
                return before + (after - before) * (t - c.start) / (c.settled - c.start);
            now = &c.scene;
        }
        return k < now->tones.size() ? now->tones[k].frequency : 0;
    }
};

std::size_t toneCount(const kesto::Scene &base, const std::vector<kesto::SceneStretch> &changes) {
    std::size_t n = base.tones.size();
    for (const auto &c : changes)
        n = std::max(n, c.scene.tones.size());
    return n;
}

// The causal Wiener bound of a frozen stretch, overall and on its tones (NaN without tones).
struct StretchBound {
    double overall = 0, tones = std::numeric_limits<double>::quiet_NaN();
};
StretchBound boundOf(const kesto::Scene &frozen) {
    const Bound b = wienerBound(frozen, Rate, Taps, 4.0);
    const Split without = split(spectrum(b.without), frozen, Rate),
                with = split(spectrum(b.with), frozen, Rate);
    StretchBound out{powerDb(without.total / with.total)};
    if (!frozen.tones.empty())
        out.tones = powerDb(without.tones / with.tones);
    return out;
}

struct Row {
    std::string scene, mode, change;
    ChangeFigures f;
    StretchBound bound;
    double clipped = 0;
    std::uint32_t trips = 0;
    Session::Speed speed;
    bool tones = false;
};

std::string figure(double v, const char *format = "%.1f") {
    if (!std::isfinite(v))
        return "–";
    char b[32];
    std::snprintf(b, sizeof b, format, v);
    return b;
}

void printTable(const std::vector<Row> &rows) {
    std::printf("\n== Changing family: every mode through every change, defaults ==\n");
    std::printf(
        "| scene | mode | change at | before | worst 1 s | back within 3 dB | after | new bound / "
        "tones | gap | tones gliding / still | trips | clipped %% | speed (per CPU s) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto &r : rows) {
        const std::string back = r.f.back < 0 ? "never" : figure(r.f.back, "%.1f s");
        const std::string tones = r.tones
                                      ? figure(r.f.tonesGliding) + " / " +
                                            (r.f.tonesAtFloor ? ">" : "") + figure(r.f.tonesStill)
                                      : "–";
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %.1f / %s | %s | %s | %u | %.3f | %.0f x "
                    "(%.0f x) |\n",
                    r.scene.c_str(), r.mode.c_str(), r.change.c_str(), figure(r.f.before).c_str(),
                    figure(r.f.worst).c_str(), back.c_str(), figure(r.f.after).c_str(),
                    r.bound.overall, figure(r.bound.tones).c_str(),
                    figure(r.bound.overall - r.f.after).c_str(), tones.c_str(), r.trips,
                    100 * r.clipped, r.speed.wall, r.speed.cpu);
    }
}

// The attenuation in 1-s windows every half second, per mode, with the changes marked and the
// bound of each stretch.
// The error microphone's powers in slices, without and with the output, of one mode's session.
struct Powers {
    std::vector<double> off, on;
};

bool picture(const QString &file, const std::string &name, const std::vector<Powers> &modes,
             const std::vector<kesto::SceneStretch> &changes,
             const std::vector<StretchBound> &bounds, double baseBound, double seconds) {
    const QColor colours[Modes] = {Qt::blue, Qt::darkMagenta, Qt::darkGreen};
    std::vector<Series> series;
    const long second = std::lround(1 / SliceSeconds), hop = second / 2;
    for (int m = 0; m < Modes && m < static_cast<int>(modes.size()); ++m) {
        const Powers &p = modes[static_cast<std::size_t>(m)];
        Series s{QString("mode ") + ModeNames[m], colours[m], {}, {}};
        for (long i = 0; i + second <= static_cast<long>(std::min(p.off.size(), p.on.size()));
             i += hop) {
            double a = 0, b = 0;
            for (long j = i; j < i + second; ++j)
                a += p.off[static_cast<std::size_t>(j)], b += p.on[static_cast<std::size_t>(j)];
            s.x.push_back((static_cast<double>(i) + second / 2.0) * SliceSeconds);
            s.y.push_back(std::clamp(powerDb(a / b), -20.0, 50.0));
        }
        series.push_back(s);
    }
    Series bound{"Wiener bound of each stretch", Qt::gray, {}, {}};
    double from = 0, level = baseBound;
    for (std::size_t c = 0; c <= changes.size(); ++c) {
        const double to = c < changes.size() ? std::min(changes[c].start, seconds) : seconds;
        bound.x.insert(bound.x.end(), {from, to}), bound.y.insert(bound.y.end(), {level, level});
        if (c < changes.size())
            from = changes[c].start, level = bounds[c].overall;
    }
    series.push_back(bound);
    std::vector<Marker> marks;
    for (std::size_t c = 0; c < changes.size(); ++c)
        marks.push_back({changes[c].start, QString("change %1").arg(c + 1)});
    return writePlot(file, "Attenuation in 1-s windows, scene " + QString::fromStdString(name),
                     "time (s)", "attenuation (dB)", series, marks);
}

// The board and program's speed on the built-in scene at the defaults, identifying and in every
// mode, without recording: board time over wall time and over the process's CPU time.
void printSpeeds(quiro::KestoLibrary &board, const std::string &bin, const std::vector<float> &d,
                 const ChangeOptions &opt) {
    setEnv("KESTO32_CLOCK", "free");
    setEnv("KESTO32_RECORD", "");
    setEnv("KESTO32_SCENE", "");
    Session s(board, bin, opt.betaC, opt.betaW);
    if (!s.open()) {
        std::printf("speed: the board did not start\n");
        s.close();
        return;
    }
    s.download(d);
    std::printf("\n== Speed, built-in scene, defaults (x real time by the wall clock; per CPU "
                "second) ==\n");
    const std::pair<const char *, Cmd> phases[] = {{"identifying C2", Cmd::C2IdentStart},
                                                   {"mode 81", Cmd::Mode1},
                                                   {"mode 82", Cmd::Mode2},
                                                   {"mode 83", Cmd::Mode3}};
    for (const auto &[name, command] : phases) {
        s.send(command);
        s.wait(2, s.samples()); // settling
        const auto speed = s.wait(20, s.samples());
        std::printf("%-15s %4.0f x  (%4.0f x)\n", name, speed.wall, speed.cpu);
        if (command == Cmd::C2IdentStart)
            s.send(Cmd::IdentStop);
    }
    s.send(Cmd::RunStop);
    s.close();
}

// One scene through its changes in every mode: the table's rows, and the picture.
bool runScene(const std::string &bin, const std::string &dir, const std::vector<float> &d,
              const ChangeOptions &opt, std::vector<Row> &rows) {
    std::string error;
    const auto loaded = kesto::loadScene(dir, error);
    const auto scene = loaded ? kesto::sceneAt(*loaded, Rate, error) : std::nullopt;
    if (!scene) {
        std::printf("scene %s: %s\n", dir.c_str(), error.c_str());
        return true;
    }
    const auto changes = kesto::sceneChanges(*scene);
    if (changes.empty())
        return true;
    const std::string name = QDir(QString::fromStdString(dir)).dirName().toStdString();
    const double seconds = runSeconds(*scene, changes);
    std::printf("\n== Scene %s: %zu changes, %.0f s per session ==\n", name.c_str(), changes.size(),
                seconds);
    std::vector<StretchBound> bounds;
    for (const auto &c : changes)
        bounds.push_back(boundOf(c.scene));
    const double baseBound = boundOf(kesto::sceneStretches(*scene).front().scene).overall;
    const int slice = static_cast<int>(SliceSeconds * Rate);
    const ToneTracks tracks{*scene, changes};
    const std::size_t tones = toneCount(*scene, changes);
    const auto frequency = [&](std::size_t k, double t) { return tracks.frequency(k, t); };
    std::vector<Powers> modes;
    for (int m = 0; m < Modes; ++m) {
        const Take on = take(bin, dir, d, m, changes, seconds, opt);
        if (!on.ok)
            continue;
        const auto without = withoutOutput(on, *scene, changes);
        modes.push_back({slicePowers(without, slice), slicePowers(on.error, slice)});
        const auto offTones =
            tones ? tonePowers(without, Rate, tones, frequency, slice) : TonePowers{};
        const auto onTones =
            tones ? tonePowers(on.error, Rate, tones, frequency, slice) : TonePowers{};
        const auto clipped = std::count_if(on.output.begin(), on.output.end(), [](float v) {
            return std::abs(v) >=
                   static_cast<float>(quiro::ConverterMax) / quiro::ConverterFullScale;
        });
        for (std::size_t c = 0; c < changes.size() && changes[c].start < seconds; ++c) {
            Row r{name,
                  ModeNames[m],
                  figure(changes[c].start, "%.0f s: ") + keysOf(changes[c].what),
                  {},
                  bounds[c],
                  static_cast<double>(clipped) /
                      static_cast<double>(std::max<std::size_t>(on.output.size(), 1)),
                  on.tripsAt[c + 1] - on.tripsAt[c],
                  on.speed,
                  tones > 0};
            r.f = measureChange(
                modes.back().off, modes.back().on, offTones, onTones, SliceSeconds,
                {0, changes[c].start, changes[c].settled, std::min(changes[c].end, seconds)},
                bounds[c].overall);
            rows.push_back(r);
        }
    }
    const QString file = opt.report + "/" + QString::fromStdString(name) + "-changes.png";
    if (!picture(file, name, modes, changes, bounds, baseBound, seconds)) {
        std::fprintf(stderr, "lab_bench: %s: cannot be written\n", qPrintable(file));
        return false;
    }
    std::printf("picture: %s\n", qPrintable(file));
    return true;
}

} // namespace

std::vector<std::string> familyScenes(const std::string &root, bool changing) {
    std::vector<std::string> dirs;
    std::error_code listed;
    for (const auto &e : std::filesystem::directory_iterator(root, listed)) {
        std::string error;
        const auto scene =
            e.is_directory(listed) ? kesto::loadScene(e.path().string(), error) : std::nullopt;
        if (scene && scene->changes.empty() != changing)
            dirs.push_back(e.path().string());
    }
    std::sort(dirs.begin(), dirs.end());
    return dirs;
}

bool runChanges(quiro::KestoLibrary &board, const std::string &bin,
                const std::vector<std::string> &sceneDirs, const ChangeOptions &opt) {
    const auto d = dFilter(bin, opt.dFile);
    std::vector<Row> rows;
    bool written = true;
    QDir().mkpath(opt.report);
    for (const std::string &dir : sceneDirs)
        written = runScene(bin, dir, d, opt, rows) && written;
    printTable(rows);
    printSpeeds(board, bin, d, opt);
    return written;
}

} // namespace lab
