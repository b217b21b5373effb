#include "board/Scene.h"

#include "board/RegularFile.h"
#include "coeffile/CoefficientParser.h"
#include "coeffile/NumberText.h"
#include "coeffile/ShownText.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace kesto {

namespace {

using Limits = SceneLimits;

// Joins the pieces of a message. Appending to one string, rather than "text" + std::string(...),
// also keeps clear of a false -Wrestrict positive of GCC 12 at -O3 on the latter.
template <typename... Pieces>
std::string join(const Pieces &...pieces) {
    std::string s;
    (s.append(std::string_view(pieces)), ...);
    return s;
}

std::string at(const std::string &file, int line, const std::string &why) {
    return join(file, ":", std::to_string(line), ": ", why);
}

std::string_view trimBlanks(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string shown(double v) {
    std::string s = std::to_string(v);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s;
}

// The lines of a text file: a UTF-8 byte-order mark skipped, LF, CR LF and CR all end a line.
std::vector<std::string_view> linesOf(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
    }
    return lines;
}

// One key of scene.ini: how many numbers it takes and the range of each.
struct Key {
    const char *name;
    std::size_t numbers;
    double lowest, highest;
};
constexpr Key Keys[] = {
    {"sample_rate", 1, Limits::MinRate, Limits::MaxRate},
    {"tone", 2, 0, Limits::MaxLevel}, // frequency (below half the rate, checked later), amplitude
    {"broadband", 1, 0, Limits::MaxLevel},
    {"mic_noise", 1, 0, Limits::MaxLevel},
};

// The numbers after a key's '=', each checked against the key's range; empty `why` when all hold.
std::vector<double> valuesOf(const Key &k, std::string_view rest, std::string &why) {
    std::vector<double> nums;
    std::vector<std::string_view> given; // each number as written, for the messages
    for (rest = trimBlanks(rest); !rest.empty(); rest = trimBlanks(rest)) {
        const std::string_view word = rest.substr(0, rest.find_first_of(" \t"));
        rest.remove_prefix(word.size());
        const quiro::DoubleValue v = quiro::toDouble(word);
        if (v.status != quiro::NumberStatus::Ok) {
            why = join("\"", quiro::shownText(word.substr(0, 32)), "\" is not a finite number");
            return {};
        }
        nums.push_back(v.value);
        given.push_back(word);
    }
    if (nums.size() != k.numbers)
        why = join(k.name, " takes ", std::to_string(k.numbers), " number(s)");
    for (std::size_t i = 0; i < nums.size(); ++i)
        if (why.empty() && nums[i] < 0 && k.lowest == 0)
            why = join(k.name, " must not be negative (not ", given[i], ")");
        else if (why.empty() && (nums[i] < k.lowest || nums[i] > k.highest))
            why = join(k.name, " must lie between ", shown(k.lowest), " and ", shown(k.highest), " (not ", given[i], ")");
    return nums;
}

bool readIni(const std::string &ini, Scene &scene, std::string &error) {
    std::string text, why;
    if (!readRegularFile(ini, Limits::IniBytes, text, why)) {
        error = at(ini, 0, why);
        return false;
    }
    const auto lines = linesOf(text);
    std::vector<int> toneLines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int ln = static_cast<int>(i) + 1;
        const std::string_view body = trimBlanks(lines[i].substr(0, lines[i].find('#')));
        if (body.empty())
            continue;
        const auto eq = body.find('=');
        if (eq == std::string_view::npos) {
            error = at(ini, ln, "expected key = value");
            return false;
        }
        const std::string key(trimBlanks(body.substr(0, eq)));
        const Key *k = std::find_if(std::begin(Keys), std::end(Keys), [&](const Key &c) { return key == c.name; });
        if (k == std::end(Keys)) {
            error = at(ini, ln, join("unknown key \"", quiro::shownText(key), "\""));
            return false;
        }
        const std::vector<double> nums = valuesOf(*k, body.substr(eq + 1), why);
        if (!why.empty()) {
            error = at(ini, ln, why);
            return false;
        }
        if (key == "sample_rate") {
            scene.sampleRate = nums[0];
        } else if (key == "tone") {
            scene.tones.push_back({nums[0], nums[1]});
            toneLines.push_back(ln);
        } else if (key == "broadband") {
            scene.broadband = nums[0];
        } else {
            scene.micNoise = nums[0];
        }
    }
    // The sample rate may come after the tones.
    for (std::size_t t = 0; t < scene.tones.size(); ++t)
        if (scene.tones[t].frequency >= 0.5 * scene.sampleRate) {
            error = at(ini, toneLines[t], "tone frequencies must lie below half the sample rate");
            return false;
        }
    return true;
}

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
            error = at(path, 0, join("coefficient ", std::to_string(i + 1), " lies outside ±", shown(Limits::MaxCoefficient)));
            return false;
        }
    target = r.coefficients;
    return true;
}

} // namespace

std::optional<Scene> loadScene(const std::string &dir, std::string &error) {
    Scene scene;
    scene.origin = dir;
    if (!readIni(dir + "/scene.ini", scene, error))
        return std::nullopt;
    const std::pair<const char *, std::vector<double> *> responses[] = {
        {"primary_ref.cof", &scene.primaryRef},
        {"primary_err.cof", &scene.primaryErr},
        {"secondary_ref.cof", &scene.secondaryRef},
        {"secondary_err.cof", &scene.secondaryErr},
    };
    for (const auto &[name, target] : responses)
        if (!readResponse(join(dir, "/", name), *target, error))
            return std::nullopt;
    return scene;
}

namespace {
// libsamplerate's best sinc filter reaches at most about this many samples of the lower of the two
// rates either side of each input sample.
constexpr double FilterHalfWidth = 256;

// The resampled length of `taps` taps: the response itself and the filter's tail after it.
double resampledLength(std::size_t taps, double ratio) {
    return std::ceil(static_cast<double>(taps) * ratio) + std::ceil(FilterHalfWidth * std::max(ratio, 1.0));
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
    std::vector<float> out(static_cast<std::size_t>(std::ceil(static_cast<double>(in.size()) * ratio)) + 16, 0.0f);
    SRC_DATA data{};
    data.data_in = in.data();
    data.data_out = out.data();
    data.input_frames = static_cast<long>(in.size());
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_BEST_QUALITY, 1) != 0)
        return {};
    const std::size_t n = std::min(static_cast<std::size_t>(data.output_frames_gen),
                                   static_cast<std::size_t>(resampledLength(h.size(), ratio)));
    std::vector<double> r(n);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = out[i] / ratio; // an impulse response's sum (DC gain) stays the same
    return r;
}

// The four responses by their file names.
constexpr std::pair<const char *, std::vector<double> Scene::*> Responses[] = {
    {"primary_ref", &Scene::primaryRef},
    {"primary_err", &Scene::primaryErr},
    {"secondary_ref", &Scene::secondaryRef},
    {"secondary_err", &Scene::secondaryErr},
};

bool sceneRunsAt(const Scene &scene, double rate, std::string &error) {
    if (!(rate >= Limits::MinRate && rate <= Limits::MaxRate)) {
        error = join("the rate ", shown(rate), " Hz lies outside ", shown(Limits::MinRate), "..",
                     shown(Limits::MaxRate), " Hz");
        return false;
    }
    for (const Tone &t : scene.tones)
        if (t.frequency >= 0.5 * rate) {
            error = join("the tone at ", shown(t.frequency), " Hz is not below half of ", shown(rate), " Hz");
            return false;
        }
    if (scene.builtIn || rate == scene.sampleRate)
        return true;
    const double ratio = rate / scene.sampleRate;
    if (src_is_valid_ratio(ratio) == 0) {
        error = join("the resampler refuses the ratio ", shown(scene.sampleRate), " Hz to ", shown(rate), " Hz");
        return false;
    }
    for (const auto &[name, member] : Responses)
        if (resampledLength((scene.*member).size(), ratio) > Limits::ResponseTaps) {
            error = join(name, " would hold more than ", std::to_string(Limits::ResponseTaps), " taps at ",
                         shown(rate), " Hz");
            return false;
        }
    return true;
}

std::optional<Scene> sceneAt(const Scene &scene, double rate, std::string &error) {
    if (!sceneRunsAt(scene, rate, error))
        return std::nullopt;
    if (scene.builtIn)
        return builtInScene(rate);
    if (rate == scene.sampleRate)
        return scene;
    Scene s = scene;
    for (const auto &[name, member] : Responses) {
        const std::vector<double> &h = scene.*member;
        if (h.empty())
            continue;
        s.*member = resampleResponse(h, scene.sampleRate, rate);
        if ((s.*member).empty()) {
            error = join(name, " comes out empty at ", shown(rate), " Hz");
            return std::nullopt;
        }
    }
    s.sampleRate = rate;
    return s;
}

} // namespace kesto
