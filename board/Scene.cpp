#include "board/Scene.h"

#include <samplerate.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kesto {

namespace {

constexpr std::size_t MaxResponseTaps = 1 << 16;

std::string trim(const std::string &s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// A whole item as a finite number; an empty item is zero.
bool toNumber(const std::string &item, double &value) {
    const std::string t = trim(item);
    if (t.empty()) {
        value = 0;
        return true;
    }
    char *end = nullptr;
    errno = 0;
    value = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size() && errno == 0 && std::isfinite(value);
}

bool readFile(const std::string &path, std::string &text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

std::string at(const std::string &file, int line, const std::string &why) {
    return file + ":" + std::to_string(line) + ": " + why;
}

} // namespace

std::optional<std::vector<double>> parseCoefficients(const std::string &text, int &line,
                                                     std::string &error) {
    // Split into items, remembering the line each one stands on.
    std::vector<std::pair<std::string, int>> items;
    std::string cur;
    int ln = 1;
    for (char c : text) {
        if (c == ',' || c == '\n') {
            items.emplace_back(cur, ln);
            cur.clear();
            if (c == '\n')
                ++ln;
        } else {
            cur += c;
        }
    }
    if (!trim(cur).empty())
        items.emplace_back(cur, ln);

    double count = 0;
    if (items.empty() || !toNumber(items[0].first, count) || count < 0 ||
        count != std::floor(count) || count > static_cast<double>(MaxResponseTaps)) {
        line = items.empty() ? 1 : items[0].second;
        error = "the count must be a whole number from 0 to " + std::to_string(MaxResponseTaps);
        return std::nullopt;
    }
    const auto n = static_cast<std::size_t>(count);
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 1 >= items.size()) {
            line = ln;
            error = "the file ends after " + std::to_string(i) + " of " + std::to_string(n) +
                    " coefficients";
            return std::nullopt;
        }
        if (!toNumber(items[i + 1].first, values[i])) {
            line = items[i + 1].second;
            error = "\"" + trim(items[i + 1].first) + "\" is not a finite number";
            return std::nullopt;
        }
    }
    return values;
}

std::optional<Scene> loadScene(const std::string &dir, std::string &error) {
    Scene scene;
    scene.origin = dir;
    const std::string ini = dir + "/scene.ini";
    std::string text;
    if (!readFile(ini, text)) {
        error = at(ini, 0, "cannot be read");
        return std::nullopt;
    }
    std::istringstream lines(text);
    std::string raw;
    for (int ln = 1; std::getline(lines, raw); ++ln) {
        const std::string body = trim(raw.substr(0, raw.find('#')));
        if (body.empty())
            continue;
        const auto eq = body.find('=');
        if (eq == std::string::npos) {
            error = at(ini, ln, "expected key = value");
            return std::nullopt;
        }
        const std::string key = trim(body.substr(0, eq));
        std::istringstream value(body.substr(eq + 1));
        std::vector<double> nums;
        std::string word;
        while (value >> word) {
            double v = 0;
            if (!toNumber(word, v)) {
                error = at(ini, ln, "\"" + word + "\" is not a finite number");
                return std::nullopt;
            }
            nums.push_back(v);
        }
        const std::size_t want = key == "tone" ? 2 : 1;
        if (key != "tone" && key != "sample_rate" && key != "broadband" && key != "mic_noise") {
            error = at(ini, ln, "unknown key \"" + key + "\"");
            return std::nullopt;
        }
        if (nums.size() != want) {
            error = at(ini, ln, key + " takes " + std::to_string(want) + " number(s)");
            return std::nullopt;
        }
        if (key == "sample_rate" && (nums[0] < 1000 || nums[0] > 384000)) {
            error = at(ini, ln, "sample_rate must lie between 1000 and 384000 Hz");
            return std::nullopt;
        }
        if (key != "sample_rate" && nums[0] < 0) {
            error = at(ini, ln, key + " must not be negative");
            return std::nullopt;
        }
        if (key == "sample_rate")
            scene.sampleRate = nums[0];
        else if (key == "tone")
            scene.tones.push_back({nums[0], nums[1]});
        else if (key == "broadband")
            scene.broadband = nums[0];
        else
            scene.micNoise = nums[0];
    }

    const std::pair<const char *, std::vector<double> *> responses[] = {
        {"primary_ref.cof", &scene.primaryRef},
        {"primary_err.cof", &scene.primaryErr},
        {"secondary_ref.cof", &scene.secondaryRef},
        {"secondary_err.cof", &scene.secondaryErr},
    };
    for (const auto &[name, target] : responses) {
        const std::string path = dir + "/" + name;
        if (!readFile(path, text)) {
            error = at(path, 0, "cannot be read");
            return std::nullopt;
        }
        int line = 0;
        std::string why;
        auto values = parseCoefficients(text, line, why);
        if (!values) {
            error = at(path, line, why);
            return std::nullopt;
        }
        *target = std::move(*values);
    }
    return scene;
}

std::vector<double> resampleResponse(const std::vector<double> &h, double from, double to) {
    if (h.empty() || from == to)
        return h;
    const double ratio = to / from;
    // Pad with zeros so the converter's filter tail is not cut off at the end.
    const std::size_t pad = 64;
    std::vector<float> in(h.size() + pad, 0.0f);
    for (std::size_t i = 0; i < h.size(); ++i)
        in[i] = static_cast<float>(h[i]);
    std::vector<float> out(static_cast<std::size_t>(std::ceil(in.size() * ratio)) + 16, 0.0f);
    SRC_DATA data{};
    data.data_in = in.data();
    data.data_out = out.data();
    data.input_frames = static_cast<long>(in.size());
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_BEST_QUALITY, 1) != 0)
        return {};
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(data.output_frames_gen),
                              static_cast<std::size_t>(std::ceil(h.size() * ratio)) + 8);
    std::vector<double> r(n);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = out[i] / ratio; // an impulse response's sum (DC gain) stays the same
    return r;
}

Scene sceneAt(const Scene &scene, double rate) {
    if (scene.builtIn)
        return builtInScene(rate);
    if (rate == scene.sampleRate)
        return scene;
    Scene s = scene;
    for (auto *h : {&s.primaryRef, &s.primaryErr, &s.secondaryRef, &s.secondaryErr})
        *h = resampleResponse(*h, scene.sampleRate, rate);
    s.sampleRate = rate;
    return s;
}

} // namespace kesto
