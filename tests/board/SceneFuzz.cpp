// One input through the scene reader: the bytes split at 0x1F into scene.ini and the four responses,
// written to a directory and loaded (sections may name those files too). A broken property aborts,
// which libFuzzer reports.

#include "board/Scene.h"

#include <algorithm>
#include <cstdint>
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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // One directory for the whole run, removed at exit.
    static const struct Scratch {
        std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("kesto-scene-fuzz-" + std::to_string(::getpid()));
        Scratch() { std::filesystem::create_directories(dir); }
        ~Scratch() { std::filesystem::remove_all(dir); }
    } scratch;
    constexpr const char *Files[] = {"scene.ini", "primary_ref.cof", "primary_err.cof", "secondary_ref.cof",
                                     "secondary_err.cof"};
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    std::string_view parts[std::size(Files)] = {"", "1\n1\n", "1\n1\n", "1\n1\n", "1\n1\n"};
    for (std::size_t i = 0; i < std::size(Files) && !rest.empty(); ++i) {
        const std::size_t cut = std::min(rest.find('\x1F'), rest.size());
        parts[i] = rest.substr(0, cut);
        rest.remove_prefix(std::min(cut + 1, rest.size()));
    }
    for (std::size_t i = 0; i < std::size(Files); ++i)
        std::ofstream(scratch.dir / Files[i], std::ios::binary | std::ios::trunc) << parts[i];

    std::string error;
    const auto scene = kesto::loadScene(scratch.dir.string(), error);
    // Refused: the message names a file of the directory and a line.
    const std::string dir = scratch.dir.string() + "/";
    const std::size_t colon = error.find(':', dir.size());
    REQUIRE(scene || (error.starts_with(dir) && colon != std::string::npos &&
                      error.find_first_not_of("0123456789", colon + 1) == error.find(": ", colon + 1)));
    if (!scene)
        return 0;
    // Accepted: the changes come in time and each has moved before the next starts; each gives
    // one frozen stretch after the base.
    const auto stretches = kesto::sceneStretches(*scene);
    REQUIRE(stretches.size() == scene->changes.size() + 1);
    for (std::size_t k = 1; k < stretches.size(); ++k)
        REQUIRE(stretches[k].start > stretches[k - 1].start && stretches[k].settled <= stretches[k].end + 1e-9 &&
                stretches[k].scene.changes.empty());
    return 0;
}
