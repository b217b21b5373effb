#pragma once
// The lab bench's session with a board and the DSP program from the run tree: the board opened
// and the program loaded and running, the parameters downloaded, commands through the program's
// own handshake code, and board time let pass with the speed it ran at. The board is the real
// library on its own clock, or one the bench steps itself (SteppedBoard), whose samples run only
// while the session waits: then every phase lasts exactly its samples.

#include "SteppedBoard.h"

#include "dsp/CommandLink.h"
#include "params/Download.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace lab {

inline constexpr double Rate = 20000;
inline constexpr int Taps = 256;

// The D filter's coefficients: FILE, or the run tree's LPF.COF; a built-in low-pass if neither
// can be read.
std::vector<float> dFilter(const std::string &bin, const std::string &file = {});

// Sets an environment variable for the board library; an empty value unsets it.
void setEnv(const char *name, const std::string &value);

class Session {
public:
    Session(quiro::Board &board, const std::string &bin, float betaC, float betaW)
        : board_(board), link_(board, [] {}), bin_(bin), betaC_(betaC), betaW_(betaW) {}
    // A board the session steps: the program answers the mailbox while the PC's side waits.
    Session(SteppedBoard &board, const std::string &bin, float betaC, float betaW)
        : board_(board), stepped_(&board), link_(board, [&board] { board.service(); }), bin_(bin),
          betaC_(betaC), betaW_(betaW) {}

    bool open() {
        if (board_.libenter() != 0)
            return false;
        board_.bdsel(0);
        board_.bdinit();
        return board_.loadcs(bin_ + "/../DSP/quiros.out") == 0 && board_.run() == 0;
    }

    void download(const std::vector<float> &d) {
        quiro::sendParameters(link_, {Taps, Taps, betaC_, betaW_, static_cast<float>(Rate), 1.0f,
                                      1.0f, 1.0f, true, d});
    }

    std::uint32_t samples() {
        std::uint32_t w = 0;
        link_.getWord(quiro::dspmem::SampleCount, w);
        return w;
    }
    std::uint32_t guardTrips() {
        std::uint32_t w = 0;
        link_.getWord(quiro::dspmem::GuardTrips, w);
        return w;
    }
    std::uint32_t overruns() {
        std::uint32_t w = 0;
        link_.getWord(quiro::dspmem::Overruns, w);
        return w;
    }

    // Lets `seconds` of board time pass; returns the board's speed over it (x real time), by
    // the wall clock and by the process's CPU time (the board's thread, as if it had a core).
    struct Speed {
        double wall = 0, cpu = 0;
    };
    Speed wait(double seconds, std::uint32_t start) {
        const auto t0 = std::chrono::steady_clock::now();
        const double cpu0 = cpuSeconds();
        const auto want = static_cast<std::uint32_t>(std::lround(seconds * Rate));
        if (stepped_ && samples() - start < want)
            stepped_->advance(want - (samples() - start));
        while (samples() - start < want)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double boardSeconds = (samples() - start) / Rate;
        return {boardSeconds / wall, boardSeconds / (cpuSeconds() - cpu0)};
    }

    static double cpuSeconds();

    std::vector<float> fetch(quiro::Cmd code, int n) {
        link_.SendCommand(code);
        link_.rewindXfer();
        std::vector<float> v(static_cast<std::size_t>(n));
        for (float &x : v)
            link_.readNextXfer(x);
        return v;
    }

    // One command through the handshake, in microseconds.
    double roundTrip(quiro::Cmd code) {
        const auto t0 = std::chrono::steady_clock::now();
        link_.SendCommand(code);
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
            .count();
    }

    void send(quiro::Cmd code) { link_.SendCommand(code); }
    // Runs the board again: its sample count and the scene's timeline start again from 0, while
    // the program keeps its state (models, W, mode).
    bool restart() { return board_.run() == 0; }
    void close() { board_.libexit(); }

private:
    quiro::Board &board_;
    SteppedBoard *stepped_ = nullptr;
    quiro::CommandLink link_;
    std::string bin_;
    float betaC_, betaW_;
};

} // namespace lab
