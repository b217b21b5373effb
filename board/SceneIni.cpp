#include "board/SceneIni.h"

#include "board/RegularFile.h"
#include "coeffile/NumberText.h"
#include "coeffile/ShownText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kesto::ini {

std::string shown(double v) {
    std::string s = std::to_string(v);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s;
}

namespace {

using Limits = SceneLimits;

std::string_view trimBlanks(std::string_view s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
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

enum class Place { Base, Section, Both };

// One key of scene.ini: how many numbers it takes (0: a file of the scene directory), the range
// of each, where it may stand, and the value it sets in the base and in a timed section.
struct Key {
    const char *name;
    std::size_t numbers;
    double lowest, highest;
    Place place;
    double Scene::*base = nullptr;
    std::optional<double> SceneChange::*change = nullptr;
};
constexpr Key Keys[] = {
    {"sample_rate", 1, Limits::MinRate, Limits::MaxRate, Place::Base, &Scene::sampleRate},
    {"repeat", 1, 0.1, Limits::MaxSeconds, Place::Base, &Scene::repeat},
    {"glide", 1, 0, Limits::MaxSeconds, Place::Section},
    {"tone", 2, 0, Limits::MaxLevel, Place::Both}, // frequency (below half the rate), amplitude
    {"broadband", 1, 0, Limits::MaxLevel, Place::Both, &Scene::broadband, &SceneChange::broadband},
    {"mic_noise", 1, 0, Limits::MaxLevel, Place::Both, &Scene::micNoise, &SceneChange::micNoise},
    {"noise_gain", 1, 0, Limits::MaxLevel, Place::Both, &Scene::noiseGain, &SceneChange::noiseGain},
    {"noise_file", 0, 0, 0, Place::Both},
    {"primary_ref", 0, 0, 0, Place::Both},
    {"primary_err", 0, 0, 0, Place::Both},
    {"secondary_ref", 0, 0, 0, Place::Both},
    {"secondary_err", 0, 0, 0, Place::Both},
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

// Why `name` cannot be a file of the scene directory named on its own; empty when it can.
std::string badFileName(std::string_view name) {
    if (name.empty())
        return "a file name is missing";
    const bool control = std::any_of(name.begin(), name.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (name == "." || name == ".." || control ||
        name.find_first_of("/\\") != std::string_view::npos)
        return join("\"", quiro::shownText(name.substr(0, 64)),
                    "\" is not the name of a file in the scene directory");
    return {};
}

class Reader {
public:
    Reader(const std::string &file, Parsed &out, std::string &error)
        : file_(file), out_(out), error_(error) {}

    bool line(std::string_view body, int ln) {
        if (body.starts_with('['))
            return header(body, ln);
        const auto eq = body.find('=');
        if (eq == std::string_view::npos)
            return fail(ln, "expected key = value");
        const std::string key(trimBlanks(body.substr(0, eq)));
        const Key *k = std::find_if(std::begin(Keys), std::end(Keys),
                                    [&](const Key &c) { return key == c.name; });
        if (k == std::end(Keys))
            return fail(ln, join("unknown key \"", quiro::shownText(key), "\""));
        if (section() > 0 && k->place == Place::Base)
            return fail(ln, join(k->name, " belongs in the base section, before the first [at]"));
        if (section() == 0 && k->place == Place::Section)
            return fail(ln, join(k->name, " belongs in a timed section ([at SECONDS])"));
        if (section() > 0 && k->place != Place::Section)
            change().what.append(change().what.empty() ? "" : "; ").append(body);
        const std::string_view rest = trimBlanks(body.substr(eq + 1));
        return k->numbers == 0 ? fileKey(*k, rest, ln) : numberKey(*k, rest, ln);
    }

    // Checks that need the whole file: tones against the rate, the sections' glides.
    bool finish() {
        for (const auto &[frequency, ln] : toneLines_)
            if (frequency >= 0.5 * out_.scene.sampleRate)
                return fail(ln, "tone frequencies must lie below half the sample rate");
        const Scene &s = out_.scene;
        for (std::size_t k = 0; k < s.changes.size(); ++k) {
            const SceneChange &c = s.changes[k];
            const double moving = std::max(c.glide, MinGlide);
            if (s.repeat > 0 && c.at >= s.repeat)
                return fail(headerLines_[k],
                            join("the section at ", shown(c.at),
                                 " s does not come before repeat = ", shown(s.repeat), " s"));
            const int ln = glideLines_[k] ? glideLines_[k] : headerLines_[k];
            const std::string change =
                join("the change at ", shown(c.at), " s, moving over ", shown(moving), " s,");
            if (k + 1 < s.changes.size() && c.at + moving > s.changes[k + 1].at + 1e-9)
                return fail(ln, join(change, " runs past the next section at ",
                                     shown(s.changes[k + 1].at), " s"));
            if (k + 1 == s.changes.size() && s.repeat > 0 &&
                c.at + moving > s.repeat - MinGlide + 1e-9)
                return fail(ln, join(change, " runs past ", shown(s.repeat - MinGlide),
                                     " s, where the return to the base begins (", shown(MinGlide),
                                     " s before repeat)"));
        }
        return true;
    }

private:
    std::size_t section() const { return out_.scene.changes.size(); }
    SceneChange &change() { return out_.scene.changes.back(); }
    bool fail(int ln, const std::string &why) {
        error_ = at(file_, ln, why);
        return false;
    }

    // "[at SECONDS]": a new timed section, later than the one before.
    bool header(std::string_view body, int ln) {
        std::string_view inner =
            body.ends_with(']') ? trimBlanks(body.substr(1, body.size() - 2)) : "";
        if (!inner.starts_with("at") || inner.size() < 3 || (inner[2] != ' ' && inner[2] != '\t'))
            return fail(ln, "expected a section header [at SECONDS]");
        inner = trimBlanks(inner.substr(2));
        const quiro::DoubleValue t = quiro::toDouble(inner);
        if (t.status != quiro::NumberStatus::Ok)
            return fail(ln, join("\"", quiro::shownText(inner.substr(0, 32)), "\" is not a finite number"));
        if (!(t.value > 0 && t.value <= Limits::MaxSeconds))
            return fail(ln, join("a section's time must lie after 0 and at most ",
                                 shown(Limits::MaxSeconds), " s"));
        if (section() > 0 && t.value <= change().at)
            return fail(ln, join("sections must come in increasing time: ", shown(t.value),
                                 " s after ", shown(change().at), " s"));
        if (section() == Limits::Sections)
            return fail(ln,
                        join("more than ", std::to_string(Limits::Sections), " timed sections"));
        out_.scene.changes.push_back({});
        change().at = t.value;
        headerLines_.push_back(ln);
        glideLines_.push_back(0);
        return true;
    }

    bool fileKey(const Key &k, std::string_view name, int ln) {
        if (const std::string why = badFileName(name); !why.empty())
            return fail(ln, why);
        if (std::find(names_.begin(), names_.end(), name) == names_.end()) {
            if (names_.size() == Limits::NamedFiles)
                return fail(ln,
                            join("more than ", std::to_string(Limits::NamedFiles), " files named"));
            names_.emplace_back(name);
        }
        out_.files.push_back({section(), k.name, std::string(name), ln});
        return true;
    }

    bool numberKey(const Key &k, std::string_view rest, int ln) {
        std::string why;
        const std::vector<double> nums = valuesOf(k, rest, why);
        if (!why.empty())
            return fail(ln, why);
        if (k.numbers == 2) { // a tone: the base's list grows; a section's starts afresh
            std::vector<Tone> &tones =
                section() == 0 ? out_.scene.tones
                               : (change().tones ? *change().tones : change().tones.emplace());
            tones.push_back({nums[0], nums[1]});
            toneLines_.emplace_back(nums[0], ln);
        } else if (section() == 0) {
            out_.scene.*k.base = nums[0];
        } else if (k.change) {
            change().*k.change = nums[0];
        } else { // glide
            change().glide = nums[0];
            glideLines_.back() = ln;
        }
        return true;
    }

    const std::string &file_;
    Parsed &out_;
    std::string &error_;
    std::vector<std::pair<double, int>> toneLines_; // every tone's frequency and line
    std::vector<int> headerLines_, glideLines_;     // per section (0: no glide line)
    std::vector<std::string> names_;                // the distinct files named
};

} // namespace

bool readSceneIni(const std::string &path, Parsed &out, std::string &error) {
    std::string text, why;
    if (!readRegularFile(path, Limits::IniBytes, text, why)) {
        error = at(path, 0, why);
        return false;
    }
    Reader reader(path, out, error);
    const auto lines = linesOf(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view body = trimBlanks(lines[i].substr(0, lines[i].find('#')));
        if (!body.empty() && !reader.line(body, static_cast<int>(i) + 1))
            return false;
    }
    return reader.finish();
}

} // namespace kesto::ini
