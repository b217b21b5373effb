// Any bytes through the tools' argument reader, for libFuzzer: split at NUL into arguments.

#include "cli/ArgumentReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A broken property prints itself and aborts.
#define REQUIRE(...)                                                                               \
    ((__VA_ARGS__)                                                                                 \
         ? void()                                                                                  \
         : (std::fprintf(stderr, "fuzz property broken: %s\n", #__VA_ARGS__), std::abort()))

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> words(1, "tool");
    words.emplace_back();
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back() += static_cast<char>(data[i]);
    std::vector<const char *> argv;
    for (const std::string &w : words)
        argv.push_back(w.c_str());

    double seconds = 60;
    bool quiet = false;
    std::string out;
    std::vector<std::string> dirs;
    quiro::cli::ArgumentReader args("tool", "[DIR...]", "Does a thing.");
    args.number("--seconds", seconds, 1, 3600, "how long");
    args.flag("--quiet", quiet, "says less");
    args.path("--out", out, "where to write");
    args.positionals(dirs, 0, 3);
    std::string text;
    switch (args.read(static_cast<int>(argv.size()), argv.data(), text)) {
    case quiro::cli::ArgumentReader::Outcome::Run:
        REQUIRE(std::isfinite(seconds) && seconds >= 1 && seconds <= 3600);
        REQUIRE(dirs.size() <= 3);
        for (const std::string &d : dirs)
            REQUIRE(!d.empty());
        REQUIRE(text.empty());
        break;
    case quiro::cli::ArgumentReader::Outcome::Help:
        REQUIRE(text == args.usage());
        break;
    case quiro::cli::ArgumentReader::Outcome::Error:
        // The message is whole: no byte of an argument cuts it or forges a line.
        REQUIRE(std::count(text.begin(), text.end(), '\n') == 2 && text.back() == '\n');
        break;
    }
    return 0;
}
