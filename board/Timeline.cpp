#include "board/Timeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kesto {

namespace {

// The paths in Timeline's order: where the base and a change hold each.
constexpr std::pair<std::vector<double> Scene::*, SharedResponse SceneChange::*> PathMembers[] = {
    {&Scene::primaryRef, &SceneChange::primaryRef},
    {&Scene::primaryErr, &SceneChange::primaryErr},
    {&Scene::secondaryRef, &SceneChange::secondaryRef},
    {&Scene::secondaryErr, &SceneChange::secondaryErr},
};
static_assert(std::size(PathMembers) == Timeline::Paths);

// The frozen scene that holds once `c` has fully glided from `before`.
Scene settle(const Scene &before, const SceneChange &c) {
    Scene s = before;
    if (c.tones)
        s.tones = *c.tones;
    s.broadband = c.broadband.value_or(s.broadband);
    s.micNoise = c.micNoise.value_or(s.micNoise);
    s.noiseGain = c.noiseGain.value_or(s.noiseGain);
    for (const auto &[base, change] : PathMembers)
        if (c.*change)
            s.*base = *(c.*change);
    if (c.noise)
        s.noise = c.noise;
    return s;
}

std::uint64_t samplesOf(double seconds, double rate) {
    return static_cast<std::uint64_t>(std::llround(seconds * rate));
}

// The index of `item` in `list`, added at its end when new.
template <typename T> std::size_t indexOf(std::vector<T> &list, T item) {
    const auto found = std::find(list.begin(), list.end(), item);
    if (found != list.end())
        return static_cast<std::size_t>(found - list.begin());
    list.push_back(item);
    return list.size() - 1;
}

} // namespace

std::vector<SceneStretch> sceneStretches(const Scene &scene) {
    Scene base = scene;
    base.changes.clear();
    base.repeat = 0;
    const double never = std::numeric_limits<double>::infinity();
    const double last =
        scene.repeat > 0 && !scene.changes.empty() ? scene.repeat - MinGlide : never;
    std::vector<SceneStretch> out;
    out.push_back({0, 0, scene.changes.empty() ? last : scene.changes.front().at, "base", base});
    for (std::size_t k = 0; k < scene.changes.size(); ++k) {
        const SceneChange &c = scene.changes[k];
        const double end = k + 1 < scene.changes.size() ? scene.changes[k + 1].at : last;
        out.push_back(
            {c.at, c.at + std::max(c.glide, MinGlide), end, c.what, settle(out.back().scene, c)});
    }
    return out;
}

std::vector<SceneStretch> sceneChanges(const Scene &scene) {
    const auto stretches = sceneStretches(scene);
    std::vector<SceneStretch> changes(stretches.begin() + 1, stretches.end());
    if (scene.repeat > 0 && !changes.empty()) {
        SceneStretch back = stretches.front();
        back.start = scene.repeat - MinGlide, back.settled = scene.repeat;
        back.end = scene.repeat + changes.front().start;
        back.what = "repeat";
        changes.push_back(back);
    }
    return changes;
}

Timeline::Timeline(const Scene &scene, double rate,
                   const std::vector<const Recording *> &recordings) {
    auto recordingIndex = [&](const Recording *r) {
        const auto found = std::find(recordings.begin(), recordings.end(), r);
        return r && found != recordings.end() ? static_cast<int>(found - recordings.begin()) : -1;
    };
    Stretch base;
    base.source = {scene.tones, scene.broadband, recordingIndex(scene.noise.get()),
                   scene.noiseGain};
    base.micNoise = scene.micNoise;
    for (std::size_t p = 0; p < Paths; ++p)
        base.response[p] = indexOf(responses_[p], &(scene.*PathMembers[p].first));
    stretches_.push_back(base);
    for (const SceneChange &c : scene.changes) {
        Stretch s = stretches_.back();
        if (c.tones)
            s.source.tones = *c.tones;
        s.source.broadband = c.broadband.value_or(s.source.broadband);
        s.source.gain = c.noiseGain.value_or(s.source.gain);
        if (c.noise)
            s.source.recording = recordingIndex(c.noise.get());
        s.micNoise = c.micNoise.value_or(s.micNoise);
        for (std::size_t p = 0; p < Paths; ++p)
            if (const SharedResponse &h = c.*PathMembers[p].second)
                s.response[p] = indexOf(responses_[p], h.get());
        changes_.push_back({samplesOf(c.at, rate), samplesOf(std::max(c.glide, MinGlide), rate),
                            stretches_.size()});
        stretches_.push_back(std::move(s));
    }
    if (scene.repeat > 0 && !scene.changes.empty()) {
        period_ = std::max<std::uint64_t>(samplesOf(scene.repeat, rate), 1);
        const std::uint64_t back = std::min(samplesOf(MinGlide, rate), period_);
        changes_.push_back({period_ - back, back, 0});
    }
}

} // namespace kesto
