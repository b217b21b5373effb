#pragma once
// A scene directory written for a test and removed after it: good files unless told otherwise.

#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace kesto::test {

// The files of a small good scene.
inline std::map<std::string, std::string> goodSceneFiles() {
    return {{"scene.ini",
             "\xEF\xBB\xBFsample_rate = 10000\r\ntone = 100 0.1  # fan\rbroadband = 0.01\n"
             "mic_noise = 0.001\n"},
            {"primary_ref.cof", " 2 , ,1e-3 \r\n"},
            {"primary_err.cof", "3,0,0,1,9.9"},
            {"secondary_ref.cof", "1\n0.5\n"},
            {"secondary_err.cof", "2\n0\n0.5\n"}};
}

// Writes `samples` (frames of `channels` values) as a float WAV at `rate`.
inline void writeWav(const std::string &path, const std::vector<float> &samples, int rate,
                     int channels = 1) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(f);
}

class SceneDir {
public:
    // Good files, each of `files` replacing or adding one; an entry of nullptr leaves it out.
    explicit SceneDir(const std::map<std::string, const char *> &files = {}) {
        static int serial = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("kesto-scene-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        std::filesystem::create_directories(dir_);
        auto all = goodSceneFiles();
        for (const auto &[name, text] : files)
            text ? void(all[name] = text) : void(all.erase(name));
        for (const auto &[name, text] : all)
            std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    ~SceneDir() { std::filesystem::remove_all(dir_); }
    SceneDir(const SceneDir &) = delete;
    SceneDir &operator=(const SceneDir &) = delete;

    std::string path() const { return dir_.string(); }
    std::string file(const std::string &name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

} // namespace kesto::test
