#pragma once
// The board as the lab bench's sweeps run it: the board's own core and the DSP program file
// from the run tree, with no sample thread. Samples run only when the bench lets board time pass
// (advance), and the mailbox is serviced whenever the PC's side waits for an answer, so every
// command lands on the same sample in every run and the figures are the same run after run. The
// board's seed is fixed; the frames (detection, error, control, in full-scale units as the
// board's recording has them) are kept from each run's start.

#include "board/BoardCore.h"
#include "board/ProgramFile.h"
#include "dsp/Board.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lab {

class SteppedBoard final : public quiro::Board {
public:
    // `sceneDir` empty: the built-in scene. `keepFrames`: record every frame.
    SteppedBoard(std::string sceneDir, bool keepFrames)
        : sceneDir_(std::move(sceneDir)), keep_(keepFrames) {}

    std::int32_t libenter() override;
    std::int32_t libexit() override;
    std::int32_t bdsel(std::int32_t board) override { return board == 0 ? 0 : -1; }
    std::int32_t bdinit() override;
    std::int32_t loadcs(const std::string &path) override;
    std::int32_t run() override;
    std::int32_t getmem(std::uint32_t address, std::uint32_t *word) override;
    std::int32_t putmem(std::uint32_t address, const std::uint32_t *word,
                        std::int32_t flag) override;

    // Runs `samples` samples, the program's mailbox looked at after each.
    void advance(std::uint32_t samples);
    // The program looks at its mailbox (what the board does between blocks).
    void service();
    // Interleaved detection, error, control since the last run().
    const std::vector<float> &frames() const { return frames_; }

private:
    std::string sceneDir_;
    bool keep_;
    std::unique_ptr<kesto::BoardCore> core_;
    kesto::ProgramFile program_;
    bool loaded_ = false;
    std::vector<float> frames_;
};

} // namespace lab
