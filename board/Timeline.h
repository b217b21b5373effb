#pragma once
// A scene's timeline as the plant runs it: the states its stretches settle in, and when each
// change starts and how long it moves, in samples from the plant's first. With `repeat`, the
// return to the base is one more change, over MinGlide, that ends as the period does: time 0 of
// every period is the base itself.

#include "board/NoiseSource.h"
#include "board/Scene.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kesto {

class Timeline {
public:
    // The four paths, in this order: primary_ref, primary_err, secondary_ref, secondary_err.
    static constexpr std::size_t Paths = 4;

    struct Stretch {
        NoiseSource::State source;
        double micNoise = 0;
        std::array<std::size_t, Paths> response{}; // indexes responses(path)
    };
    struct Change {
        std::uint64_t start = 0, length = 0; // samples into the period
        std::size_t to = 0;                  // the stretch it moves to
    };

    // `scene` at `rate`; `recordings` as the plant's noise source numbers them.
    Timeline(const Scene &scene, double rate, const std::vector<const Recording *> &recordings);

    const std::vector<Stretch> &stretches() const { return stretches_; }
    const std::vector<Change> &changes() const { return changes_; } // in time order
    std::uint64_t period() const { return period_; }                // 0: no repeat
    // The distinct responses of a path, the base's first.
    const std::vector<const std::vector<double> *> &responses(std::size_t path) const {
        return responses_[path];
    }

private:
    std::vector<Stretch> stretches_;
    std::vector<Change> changes_;
    std::uint64_t period_ = 0;
    std::array<std::vector<const std::vector<double> *>, Paths> responses_;
};

} // namespace kesto
