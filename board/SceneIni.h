#pragma once
// Reading scene.ini: the base section, then timed sections "[at SECONDS]", each key checked
// against its range and its place. The files the sections name are read afterwards by loadScene;
// this only records their names and lines.

#include "board/Scene.h"

#include <string>
#include <string_view>
#include <vector>

namespace kesto::ini {

// A file named in scene.ini: `key = name`.
struct NamedFile {
    std::size_t section = 0; // 0: the base; k: the scene's changes[k - 1]
    std::string key;         // "noise_file", "primary_ref", ...
    std::string name;
    int line = 0;
};

struct Parsed {
    Scene scene; // values and timeline, without the named files' contents
    std::vector<NamedFile> files;
};

// False, with "file:line: reason" in `error`, for anything the format refuses.
bool readSceneIni(const std::string &path, Parsed &out, std::string &error);

// Joins the pieces of a message. Appending to one string, rather than "text" + std::string(...),
// also keeps clear of a false -Wrestrict positive of GCC 12 at -O3 on the latter.
template <typename... Pieces> std::string join(const Pieces &...pieces) {
    std::string s;
    (s.append(std::string_view(pieces)), ...);
    return s;
}

// "file:line: why".
inline std::string at(const std::string &file, int line, const std::string &why) {
    return join(file, ":", std::to_string(line), ": ", why);
}

// A number as a message shows it: no trailing zeros.
std::string shown(double v);

} // namespace kesto::ini
