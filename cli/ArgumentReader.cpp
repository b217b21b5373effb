#include "cli/ArgumentReader.h"

#include "coeffile/NumberText.h"
#include "coeffile/ShownText.h"

#include <cmath>
#include <cstdio>

namespace quiro::cli {

namespace {

// A bound as the usage and the messages show it.
std::string bound(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", v);
    return text;
}

std::string quoted(std::string_view text) {
    return "\"" + shownText(text) + "\"";
}

} // namespace

ArgumentReader::ArgumentReader(std::string tool, std::string synopsis, std::string about)
    : tool_(std::move(tool)), synopsis_(std::move(synopsis)), about_(std::move(about)) {}

void ArgumentReader::flag(std::string name, bool &target, std::string help) {
    options_.push_back({std::move(name), Kind::Flag, std::move(help), &target});
}

void ArgumentReader::number(std::string name, double &target, double lowest, double highest,
                            std::string help) {
    Option o{std::move(name), Kind::Number, std::move(help)};
    o.number = &target;
    o.lowest = lowest;
    o.highest = highest;
    options_.push_back(std::move(o));
}

void ArgumentReader::path(std::string name, std::string &target, std::string help) {
    Option o{std::move(name), Kind::Path, std::move(help)};
    o.text = &target;
    options_.push_back(std::move(o));
}

void ArgumentReader::positionals(std::vector<std::string> &target, std::size_t fewest,
                                 std::size_t most) {
    positionals_ = &target;
    fewest_ = fewest;
    most_ = most;
}

const ArgumentReader::Option *ArgumentReader::find(std::string_view name) const {
    for (const Option &o : options_)
        if (o.name == name)
            return &o;
    return nullptr;
}

std::string ArgumentReader::usage() const {
    std::string text = "usage: " + tool_ + " [--help]";
    for (const Option &o : options_)
        text += " [" + o.name +
                (o.kind == Kind::Number ? " N]"
                 : o.kind == Kind::Path ? " PATH]"
                                        : "]");
    if (!synopsis_.empty())
        text += " " + synopsis_;
    text += "\n" + about_ + "\n\n  --help  prints this and exits\n";
    for (const Option &o : options_) {
        text += "  " + o.name +
                (o.kind == Kind::Number ? " N"
                 : o.kind == Kind::Path ? " PATH"
                                        : "") +
                "  " + o.help;
        if (o.kind == Kind::Number)
            text += " (" + bound(o.lowest) + " to " + bound(o.highest) + ")";
        text += "\n";
    }
    return text;
}

bool ArgumentReader::take(const Option &o, std::string_view value, std::string &error) const {
    if (o.kind == Kind::Path) {
        if (value.empty()) {
            error = o.name + ": an empty path";
            return false;
        }
        *o.text = std::string(value);
        return true;
    }
    const DoubleValue v = toDouble(value);
    if (v.status == NumberStatus::NotANumber) {
        error = o.name + ": " + quoted(value) + " is not a number";
        return false;
    }
    if (v.status != NumberStatus::Ok || !(v.value >= o.lowest && v.value <= o.highest)) {
        error = o.name + ": " + quoted(value) + " lies outside " + bound(o.lowest) + " to " +
                bound(o.highest);
        return false;
    }
    *o.number = v.value;
    return true;
}

ArgumentReader::Outcome ArgumentReader::read(int argc, const char *const *argv,
                                             std::string &text) const {
    std::vector<std::string> found;
    bool optionsEnd = false;
    std::string error;
    for (int i = 1; i < argc && error.empty(); ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (optionsEnd || arg.size() < 2 || arg.substr(0, 2) != "--") {
            if (arg.empty())
                error = "an empty argument";
            else if (arg[0] == '-' && !optionsEnd && arg != "-")
                error = quoted(arg) + " is not an option (they begin with --)";
            else if (!positionals_)
                error = quoted(arg) + ": this tool takes no such argument";
            else
                found.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg == "--help") {
            text = usage();
            return Outcome::Help;
        }
        const auto equals = arg.find('=');
        const Option *o = find(arg.substr(0, equals));
        if (!o) {
            error = quoted(arg.substr(0, equals)) + " is not an option of " + tool_;
        } else if (o->kind == Kind::Flag) {
            if (equals != std::string_view::npos)
                error = o->name + " takes no value";
            else
                *o->flag = true;
        } else if (equals != std::string_view::npos) {
            take(*o, arg.substr(equals + 1), error);
        } else if (i + 1 >= argc || !argv[i + 1]) {
            error = o->name + ": a value is missing";
        } else {
            ++i;
            take(*o, argv[i], error);
        }
    }
    if (error.empty() && (found.size() < fewest_ || found.size() > most_))
        error = fewest_ == most_ ? "expected " + std::to_string(fewest_) + " " + synopsis_
                                 : "expected at most " + std::to_string(most_) + " " + synopsis_;
    if (!error.empty()) {
        text = tool_ + ": " + error + "\n" + "(" + tool_ + " --help tells how to call it)\n";
        return Outcome::Error;
    }
    if (positionals_)
        *positionals_ = std::move(found);
    return Outcome::Run;
}

int ArgumentReader::readOrExit(int argc, const char *const *argv) const {
    std::string text;
    switch (read(argc, argv, text)) {
    case Outcome::Run:
        return -1;
    case Outcome::Help:
        std::fputs(text.c_str(), stdout);
        return 0;
    case Outcome::Error:
        break;
    }
    std::fputs(text.c_str(), stderr);
    return 2;
}

} // namespace quiro::cli
