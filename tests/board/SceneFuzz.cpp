#include "SceneFuzz.h"

#include "board/Scene.h"
#include "coeffile/CoefficientParser.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

#define REQUIRE(...)                                                                               \
    ((__VA_ARGS__) ? void()                                                                        \
                   : (std::fprintf(stderr, "fuzz property broken: %s\n", #__VA_ARGS__), std::abort()))

namespace kesto::fuzz {

namespace {
constexpr const char *Files[] = {"scene.ini", "primary_ref.cof", "primary_err.cof", "secondary_ref.cof",
                                 "secondary_err.cof"};
} // namespace

void runScene(const std::uint8_t *data, std::size_t size) {
    // One directory for the whole run, removed at exit.
    static const struct Scratch {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("kesto-scene-fuzz-" + std::to_string(::getpid()));
        Scratch() { std::filesystem::create_directories(path); }
        ~Scratch() { std::filesystem::remove_all(path); }
    } scratch;
    const std::filesystem::path &dir = scratch.path;
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    std::string_view parts[std::size(Files)] = {"", "1\n1\n", "1\n1\n", "1\n1\n", "1\n1\n"};
    for (std::size_t i = 0; i < std::size(Files) && !rest.empty(); ++i) {
        const std::size_t cut = std::min(rest.find('\x1F'), rest.size());
        parts[i] = rest.substr(0, cut);
        rest.remove_prefix(std::min(cut + 1, rest.size()));
    }
    for (std::size_t i = 0; i < std::size(Files); ++i)
        std::ofstream(dir / Files[i], std::ios::binary | std::ios::trunc) << parts[i];

    std::string error;
    const auto scene = loadScene(dir.string(), error);
    if (!scene) {
        // Refused: the message names one of the files and a line.
        REQUIRE(error.starts_with(dir.string() + "/") &&
                (error.find(".cof:") != std::string::npos || error.find("scene.ini:") != std::string::npos));
        return;
    }
    using L = SceneLimits;
    REQUIRE(scene->sampleRate >= L::MinRate && scene->sampleRate <= L::MaxRate);
    REQUIRE(scene->broadband >= 0 && scene->broadband <= L::MaxLevel && scene->micNoise >= 0 &&
            scene->micNoise <= L::MaxLevel);
    for (const Tone &t : scene->tones)
        REQUIRE(t.frequency >= 0 && t.frequency < scene->sampleRate / 2 && t.amplitude >= 0 &&
                t.amplitude <= L::MaxLevel);
    // Each response is what the console's reader makes of the same bytes, and within its bounds.
    const std::vector<double> *responses[] = {&scene->primaryRef, &scene->primaryErr, &scene->secondaryRef,
                                              &scene->secondaryErr};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto r = quiro::parseCoefficients<double>(parts[i + 1], L::ResponseTaps);
        REQUIRE(r.problem == quiro::CoefficientProblem::None && r.coefficients == *responses[i]);
        REQUIRE(std::ranges::all_of(*responses[i], [](double v) { return std::fabs(v) <= L::MaxCoefficient; }));
    }
}

} // namespace kesto::fuzz
