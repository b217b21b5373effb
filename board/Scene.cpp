#include "board/Scene.h"

#include "board/RegularFile.h"
#include "board/SceneIni.h"
#include "board/SoundFile.h"
#include "coeffile/CoefficientParser.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>

namespace kesto {

namespace {

using Limits = SceneLimits;
using ini::at;
using ini::join;
using ini::shown;

bool readResponse(const std::string &path, std::vector<double> &target, std::string &error) {
    RegularFile file;
    std::string why;
    if (!file.open(path, Limits::ResponseBytes, why)) {
        error = at(path, 0, why);
        return false;
    }
    quiro::BasicCoefficientParser<double> parser(Limits::ResponseTaps);
    char buffer[16384];
    while (!parser.finished()) {
        const long n = file.read(buffer, sizeof buffer, why);
        if (n < 0) {
            error = at(path, 0, why);
            return false;
        }
        if (n == 0)
            parser.finish();
        else
            parser.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    const auto &r = parser.result();
    if (r.problem != quiro::CoefficientProblem::None) {
        error = at(path, r.line, quiro::describeProblem(r, Limits::ResponseTaps));
        return false;
    }
    for (std::size_t i = 0; i < r.coefficients.size(); ++i)
        if (std::fabs(r.coefficients[i]) > Limits::MaxCoefficient) {
            error = at(path, 0,
                       join("coefficient ", std::to_string(i + 1), " lies outside ±",
                            shown(Limits::MaxCoefficient)));
            return false;
        }
    target = r.coefficients;
    return true;
}

} // namespace

namespace {
// libsamplerate's best sinc filter reaches at most about this many samples of the lower of the two
// rates either side of each input sample.
constexpr double FilterHalfWidth = 256;

// The resampled length of `taps` taps: the response itself and the filter's tail after it.
double resampledLength(std::size_t taps, double ratio) {
    return std::ceil(static_cast<double>(taps) * ratio) +
           std::ceil(FilterHalfWidth * std::max(ratio, 1.0));
}
} // namespace

std::vector<double> resampleResponse(const std::vector<double> &h, double from, double to) {
    if (h.empty() || from == to)
        return h;
    const double ratio = to / from;
    if (!(ratio > 0) || src_is_valid_ratio(ratio) == 0)
        return {};
    // Zeros after the response let the filter's tail out; in input samples the tail grows as the
    // ratio falls below 1.
    const auto pad = static_cast<std::size_t>(std::ceil(FilterHalfWidth / std::min(ratio, 1.0)));
    std::vector<float> in(h.size() + pad, 0.0f);
    std::transform(h.begin(), h.end(), in.begin(), [](double v) { return static_cast<float>(v); });
    const std::vector<float> out = sampleRateConvert(
        in, ratio, static_cast<std::size_t>(std::ceil(static_cast<double>(in.size()) * ratio)) + 16,
        SRC_SINC_BEST_QUALITY);
    if (out.empty())
        return {};
    const std::size_t n =
        std::min(out.size(), static_cast<std::size_t>(resampledLength(h.size(), ratio)));
    std::vector<double> r(n);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = out[i] / ratio; // an impulse response's sum (DC gain) stays the same
    return r;
}

namespace {

// The four responses: their key (and file name without ".cof"), where the base holds them and
// where a change does.
struct ResponseKey {
    const char *name;
    std::vector<double> Scene::*base;
    SharedResponse SceneChange::*change;
};
constexpr ResponseKey Responses[] = {
    {"primary_ref", &Scene::primaryRef, &SceneChange::primaryRef},
    {"primary_err", &Scene::primaryErr, &SceneChange::primaryErr},
    {"secondary_ref", &Scene::secondaryRef, &SceneChange::secondaryRef},
    {"secondary_err", &Scene::secondaryErr, &SceneChange::secondaryErr},
};

// The files of one scene directory, each read once however often scene.ini names it.
class DirectoryFiles {
public:
    explicit DirectoryFiles(const std::string &dir) : dir_(dir) {}

    SharedResponse response(const std::string &name, int line, std::string &error) {
        auto &known = responses_[name];
        std::vector<double> h;
        if (!known && readResponse(path(name), h, error))
            known = std::make_shared<const std::vector<double>>(std::move(h));
        return known ? known : (namedAt(line, error), nullptr);
    }

    std::shared_ptr<const Recording> recording(const std::string &name, int line,
                                               std::string &error) {
        auto &known = recordings_[name];
        if (known)
            return known;
        auto r = std::make_shared<Recording>();
        r->name = name;
        std::string why;
        if (!readRecording(path(name), framesLeft_, *r, why)) {
            error = at(path(name), 0, why);
            namedAt(line, error);
            return nullptr;
        }
        framesLeft_ -= static_cast<std::int64_t>(r->samples.size());
        return known = std::move(r);
    }

private:
    std::string path(const std::string &name) const { return join(dir_, "/", name); }
    // A file scene.ini names (rather than one of the four by their own names) says where.
    void namedAt(int line, std::string &error) const {
        if (line > 0)
            error += join(" (named at scene.ini:", std::to_string(line), ")");
    }

    const std::string &dir_;
    std::map<std::string, SharedResponse> responses_;
    std::map<std::string, std::shared_ptr<const Recording>> recordings_;
    std::int64_t framesLeft_ = SceneLimits::SoundFrames; // of all the recordings together
};

// The named file of `key` in the base section, the last one written; none: the default.
const ini::NamedFile *baseFile(const ini::Parsed &parsed, std::string_view key) {
    const ini::NamedFile *found = nullptr;
    for (const auto &f : parsed.files)
        if (f.section == 0 && f.key == key)
            found = &f;
    return found;
}

} // namespace

std::optional<Scene> loadScene(const std::string &dir, std::string &error) {
    ini::Parsed parsed;
    if (!ini::readSceneIni(dir + "/scene.ini", parsed, error))
        return std::nullopt;
    Scene &scene = parsed.scene;
    scene.origin = dir;
    DirectoryFiles files(dir);
    for (const ResponseKey &r : Responses) {
        const ini::NamedFile *named = baseFile(parsed, r.name);
        const SharedResponse h = named ? files.response(named->name, named->line, error)
                                       : files.response(join(r.name, ".cof"), 0, error);
        if (!h)
            return std::nullopt;
        scene.*r.base = *h;
    }
    for (const ini::NamedFile &f : parsed.files) {
        SceneChange *change = f.section > 0 ? &scene.changes[f.section - 1] : nullptr;
        if (f.key == "noise_file") {
            auto rec = files.recording(f.name, f.line, error);
            if (!rec)
                return std::nullopt;
            (change ? change->noise : scene.noise) = std::move(rec);
            continue;
        }
        const ResponseKey *r = std::find_if(std::begin(Responses), std::end(Responses),
                                            [&](const ResponseKey &k) { return f.key == k.name; });
        if (change && !(change->*r->change = files.response(f.name, f.line, error)))
            return std::nullopt;
    }
    return scene;
}

namespace {

// Calls `f(name, response)` for the base's responses and every response the timeline holds.
template <typename F> void forEachResponse(const Scene &scene, F f) {
    for (const ResponseKey &r : Responses) {
        f(r.name, scene.*r.base);
        for (const SceneChange &c : scene.changes)
            if (c.*r.change)
                f(r.name, *(c.*r.change));
    }
}

// Calls `f(tone)` for every tone of the base and of the timeline.
template <typename F> void forEachTone(const Scene &scene, F f) {
    std::for_each(scene.tones.begin(), scene.tones.end(), f);
    for (const SceneChange &c : scene.changes)
        if (c.tones)
            std::for_each(c.tones->begin(), c.tones->end(), f);
}

// Calls `f(recording)` for each distinct recording of the scene.
template <typename F> void forEachRecording(const Scene &scene, F f) {
    std::vector<const Recording *> seen;
    auto visit = [&](const std::shared_ptr<const Recording> &r) {
        if (r && std::find(seen.begin(), seen.end(), r.get()) == seen.end()) {
            seen.push_back(r.get());
            f(*r);
        }
    };
    visit(scene.noise);
    for (const SceneChange &c : scene.changes)
        visit(c.noise);
}

bool recordingsRunAt(const Scene &scene, double rate, std::string &error) {
    std::int64_t frames = 0;
    forEachRecording(scene, [&](const Recording &r) {
        if (error.empty() && r.sampleRate != rate && src_is_valid_ratio(rate / r.sampleRate) == 0)
            error = join("the resampler refuses the ratio ", shown(r.sampleRate), " Hz to ",
                         shown(rate), " Hz of ", r.name);
        frames += resampledFrames(r.samples.size(), r.sampleRate, rate);
    });
    if (error.empty() && frames > Limits::SoundFrames)
        error = join("the recordings would hold more than ", std::to_string(Limits::SoundFrames),
                     " frames at ", shown(rate), " Hz");
    return error.empty();
}

} // namespace

bool sceneRunsAt(const Scene &scene, double rate, std::string &error) {
    error.clear();
    if (!(rate >= Limits::MinRate && rate <= Limits::MaxRate)) {
        error = join("the rate ", shown(rate), " Hz lies outside ", shown(Limits::MinRate), "..",
                     shown(Limits::MaxRate), " Hz");
        return false;
    }
    forEachTone(scene, [&](const Tone &t) {
        if (error.empty() && t.frequency >= 0.5 * rate)
            error = join("the tone at ", shown(t.frequency), " Hz is not below half of ",
                         shown(rate), " Hz");
    });
    if (!error.empty() || !recordingsRunAt(scene, rate, error))
        return false;
    if (scene.builtIn || rate == scene.sampleRate)
        return true;
    const double ratio = rate / scene.sampleRate;
    if (src_is_valid_ratio(ratio) == 0) {
        error = join("the resampler refuses the ratio ", shown(scene.sampleRate), " Hz to ",
                     shown(rate), " Hz");
        return false;
    }
    forEachResponse(scene, [&](const char *name, const std::vector<double> &h) {
        if (error.empty() && resampledLength(h.size(), ratio) > Limits::ResponseTaps)
            error = join(name, " would hold more than ", std::to_string(Limits::ResponseTaps),
                         " taps at ", shown(rate), " Hz");
    });
    return error.empty();
}

namespace {

// The scene's recordings at `rate`, each resampled once.
void resampleRecordings(Scene &s, double rate) {
    std::map<const Recording *, std::shared_ptr<const Recording>> done;
    auto at = [&](std::shared_ptr<const Recording> &r) {
        if (!r || r->sampleRate == rate)
            return;
        auto &next = done[r.get()];
        if (!next) {
            auto copy = std::make_shared<Recording>();
            copy->name = r->name;
            copy->sampleRate = rate;
            copy->samples = resampleSignal(r->samples, r->sampleRate, rate);
            next = std::move(copy);
        }
        r = next;
    };
    at(s.noise);
    for (SceneChange &c : s.changes)
        at(c.noise);
}

// The scene's responses at `rate`; false with the reason when one comes out empty.
bool resampleResponses(Scene &s, double rate, std::string &error) {
    std::map<const std::vector<double> *, SharedResponse> done;
    for (const ResponseKey &r : Responses) {
        std::vector<double> &h = s.*r.base;
        const bool empty = h.empty();
        h = resampleResponse(h, s.sampleRate, rate);
        bool fine = empty || !h.empty();
        for (SceneChange &c : s.changes)
            if (SharedResponse &shared = c.*r.change) {
                auto &next = done[shared.get()];
                if (!next)
                    next = std::make_shared<const std::vector<double>>(
                        resampleResponse(*shared, s.sampleRate, rate));
                fine = fine && (shared->empty() || !next->empty());
                shared = next;
            }
        if (!fine) {
            error = join(r.name, " comes out empty at ", shown(rate), " Hz");
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<Scene> sceneAt(const Scene &scene, double rate, std::string &error) {
    if (!sceneRunsAt(scene, rate, error))
        return std::nullopt;
    if (scene.builtIn)
        return builtInScene(rate);
    Scene s = scene;
    resampleRecordings(s, rate);
    if (rate == scene.sampleRate)
        return s;
    if (!resampleResponses(s, rate, error))
        return std::nullopt;
    s.sampleRate = rate;
    return s;
}

} // namespace kesto
