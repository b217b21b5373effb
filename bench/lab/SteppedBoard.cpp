#include "SteppedBoard.h"

#include <cstdio>

namespace lab {

std::int32_t SteppedBoard::libenter() {
    if (core_)
        return 0;
    kesto::BoardConfig config;
    config.clock = kesto::Clock::Free;
    if (!sceneDir_.empty()) {
        std::string error;
        auto scene = kesto::loadScene(sceneDir_, error);
        if (!scene) {
            std::printf("scene %s: %s\n", sceneDir_.c_str(), error.c_str());
            return 1;
        }
        config.scene = std::move(*scene);
    }
    core_ = std::make_unique<kesto::BoardCore>(std::move(config));
    return 0;
}

std::int32_t SteppedBoard::libexit() {
    core_.reset();
    program_.close();
    loaded_ = false;
    return 0;
}

std::int32_t SteppedBoard::bdinit() {
    if (!core_)
        return -1;
    core_->detach();
    program_.close();
    loaded_ = false;
    core_->memory().clear();
    return 0;
}

std::int32_t SteppedBoard::loadcs(const std::string &path) {
    if (!core_)
        return -1;
    core_->detach();
    std::string error;
    loaded_ = program_.open(path, error) && core_->attach(program_.program(), error);
    if (!loaded_) {
        std::printf("%s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    core_->settle(); // the plant in place before the first sample
    return 0;
}

std::int32_t SteppedBoard::run() {
    if (!core_ || !loaded_)
        return 1;
    core_->rewind();
    frames_.clear();
    return 0;
}

std::int32_t SteppedBoard::getmem(std::uint32_t address, std::uint32_t *word) {
    if (!core_ || !word)
        return -1;
    *word = core_->pcGet(address);
    return 0;
}

std::int32_t SteppedBoard::putmem(std::uint32_t address, const std::uint32_t *word, std::int32_t) {
    if (!core_ || !word)
        return -1;
    core_->pcPut(address, *word);
    return 0;
}

void SteppedBoard::advance(std::uint32_t samples) {
    if (!core_ || !loaded_)
        return;
    if (!keep_)
        return core_->step(samples);
    frames_.reserve(frames_.size() + 3 * static_cast<std::size_t>(samples));
    constexpr float Scale = 1.0f / quiro::ConverterFullScale;
    for (std::uint32_t i = 0; i < samples; ++i) {
        core_->step(1);
        const auto &f = core_->lastFrame();
        frames_.insert(frames_.end(), {Scale * static_cast<float>(f.detection),
                                       Scale * static_cast<float>(f.error),
                                       Scale * static_cast<float>(f.control)});
    }
}

void SteppedBoard::service() {
    if (core_)
        core_->service();
}

} // namespace lab
