#pragma once
// The command line of the project's tools, read one way for all of them. A tool lists its
// options in a table (name, what its value is, help text, where it goes) and the reader checks
// the whole line before the tool does any work:
//
//   --help                prints the usage (to standard output) and the tool exits 0;
//   --name VALUE, --name=VALUE
//                         a number in the C notation (never "inf", "nan" or hex) within the
//                         option's bounds, or a non-empty path or text;
//   --flag                a switch, which takes no value;
//   anything else         a positional argument, when the tool takes them; "--" ends the options.
//
// An unknown option, a missing value, a value that is not a number or lies outside its bounds, an
// empty path, or a wrong count of positional arguments is an error: the message names the
// argument as it was given (control bytes escaped) and the tool exits 2. No Qt, no I/O: the
// caller prints what it is given.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quiro::cli {

class ArgumentReader {
public:
    // `tool`: the program's name in messages; `synopsis`: what follows it in the usage line's
    // positional part (e.g. "OUT_DIR"), empty for none; `about`: one or more lines under it.
    ArgumentReader(std::string tool, std::string synopsis, std::string about);

    // Options. The target keeps its value when the option is not given.
    void flag(std::string name, bool &target, std::string help);
    void number(std::string name, double &target, double lowest, double highest, std::string help);
    void path(std::string name, std::string &target, std::string help);
    // Positional arguments: between `fewest` and `most` of them, each a non-empty path.
    void positionals(std::vector<std::string> &target, std::size_t fewest, std::size_t most);

    enum class Outcome { Run, Help, Error };
    // Reads argv[1..argc). Run: every target is set; Help: `text` is the usage; Error: `text` is
    // the reason and a pointer to --help. Targets may be partly set on Help or Error.
    Outcome read(int argc, const char *const *argv, std::string &text) const;
    // Reads and, on Help or Error, prints `text` where it belongs. The exit status to end with,
    // or -1 to go on.
    int readOrExit(int argc, const char *const *argv) const;

    std::string usage() const;

private:
    enum class Kind { Flag, Number, Path };
    struct Option {
        std::string name;
        Kind kind;
        std::string help;
        bool *flag = nullptr;
        double *number = nullptr;
        double lowest = 0, highest = 0;
        std::string *text = nullptr;
    };
    const Option *find(std::string_view name) const;
    bool take(const Option &o, std::string_view value, std::string &error) const;

    std::string tool_, synopsis_, about_;
    std::vector<Option> options_;
    std::vector<std::string> *positionals_ = nullptr;
    std::size_t fewest_ = 0, most_ = 0;
};

} // namespace quiro::cli
