// The soak run: the real board library and DSP program from the run tree, in real time, driven
// headless through the console's own handshake code for a given time. It cycles through
// identification of both paths, the clears, every mode, parameter changes (tap counts, step
// sizes, gains, every D filter of the run tree) and signal captures, with the recording on, and
// meanwhile fetches W and polls the capture as the console's run loop does.
//
//   quiro_soak [--help] [--seconds S] [--mode1] [--report-timing] [--record FILE] [--run-tree DIR]
//
// --mode1 stays in mode 1 (filtered-x LMS) after one identification instead of cycling.
// --report-timing prints the answer times and the overruns without judging them, for a machine
// that may be busy with other work (a test suite run beside builds): the other checks still hold.
// One line per minute; at the end the totals and a verdict. Exit status 0 when every check held:
// every command acknowledged within a second, no overrun, no non-finite word fetched, resident
// memory after the first minute growing by less than 5 %, and the recording readable with at least
// the samples the board counted. The board's own line at exit (frames written of samples run,
// dropped) is on stderr for tools/soak.sh to check exactly.

#include "board/WavRecorder.h"
#include "cli/ArgumentReader.h"
#include "cli/Paths.h"
#include "dsp/CommandLink.h"
#include "dsp/KestoLibrary.h"
#include "coeffile/CoefficientParser.h"

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quiro;
using Steady = std::chrono::steady_clock;

constexpr float Rate = 20000;
constexpr auto AckLimit = std::chrono::seconds(1);
constexpr auto LoopPass = std::chrono::milliseconds(20); // the console's run-loop period
constexpr double MaxSeconds = 7 * 24 * 3600.0;            // a week
constexpr std::uint64_t MaxDFileBytes = 16 << 20;          // read whole: far above 4096 coefficients

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The parameter sets the cycles walk through: C taps, W taps, step sizes and the three gains.
struct Params {
    std::int32_t cTaps, wTaps;
    float betaC, betaW, gainC, gainW, gainD;
};
constexpr Params ParamSets[] = {
    {256, 256, 1e-6f, 1e-5f, 1.0f, 1.0f, 1.0f},
    {128, 400, 3e-6f, 5e-6f, 0.5f, 1.0f, 2.0f},
    {1024, 128, 5e-7f, 2e-5f, 1.0f, 0.7f, 0.5f},
    {64, 64, 1e-5f, 1e-4f, 2.0f, 1.5f, 1.0f},
};

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    double pages = 0, resident = 0;
    if (!(statm >> pages >> resident))
        return 0;
    return resident * 4096.0 / (1024.0 * 1024.0);
}

class Soak {
public:
    Soak(KestoLibrary &board, std::string bin, bool judgeTiming)
        : board_(board), link_(board, [this] { checkAck(); }), bin_(std::move(bin)),
          judgeTiming_(judgeTiming) {
        // Every D filter of the run tree: one that is missing or cannot be read is a failure.
        for (const char *name : {"LPF.COF", "THRU.COF", "HPF.COF", "USER.COF"}) {
            const std::string file = bin_ + "/" + name;
            std::string error;
            if (!cli::inputFile(file, error, MaxDFileBytes))
                throw Failure(error);
            std::ifstream in(file, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            const auto r = parseCoefficients(text.str());
            if (!in || r.problem != CoefficientProblem::None)
                throw Failure(file + ":" + std::to_string(r.line) + ": " + describeProblem(r, MaxCoefficients));
            dFilters_.push_back(r.coefficients);
        }
    }

    void open() {
        if (board_.libenter() != 0 || board_.bdsel(0) != 0 || board_.bdinit() != 0 ||
            board_.loadcs(bin_ + "/../DSP/quiros.out") != 0 || board_.run() != 0)
            throw Failure("the board did not start");
        started_ = Steady::now();
    }
    void close() {
        lastSamples_ = word(dspmem::SampleCount);
        board_.libexit();
    }

    void cycle(std::size_t n) {
        const Params &p = ParamSets[n % std::size(ParamSets)];
        download(p, dFilters_[n % dFilters_.size()]);
        for (Cmd clear : {Cmd::C1Clear, Cmd::C2Clear, Cmd::WClear})
            send(clear);
        identify(Cmd::C1IdentStart, Cmd::C1Fetch, p.cTaps);
        identify(Cmd::C2IdentStart, Cmd::C2Fetch, p.cTaps);
        for (Cmd mode : {Cmd::ModeOff, Cmd::Mode1, Cmd::Mode3, Cmd::Mode2}) {
            send(mode);
            runLoop(std::chrono::seconds(mode == Cmd::Mode1 ? 4 : 2), p.wTaps, true);
        }
        send(Cmd::RunStop);
        ++cycles_;
    }

    // Mode 1 until `until`, identifying the error path first on the first call.
    void mode1(Steady::time_point until) {
        const Params &p = ParamSets[0];
        if (cycles_++ == 0) {
            download(p, dFilters_[0]);
            identify(Cmd::C2IdentStart, Cmd::C2Fetch, p.cTaps);
            send(Cmd::Mode1);
        }
        runLoop(until - Steady::now(), p.wTaps, true);
    }

    // One line for the minute that just ended.
    void minute(int m) {
        const double rss = residentMiB();
        if (m == 1)
            rssAfterFirst_ = rss;
        const std::uint32_t overruns = word(dspmem::Overruns);
        std::printf("minute %d: %zu cycles, %zu commands, slowest answer %.2f ms, %u samples, "
                    "%u overruns, %zu non-finite words, resident %.1f MiB\n",
                    m, cycles_, commands_, slowest_ * 1e3, word(dspmem::SampleCount), overruns,
                    nonFinite_, rss);
        std::fflush(stdout);
        overruns_ = overruns;
        rssLast_ = rss;
    }

    std::vector<std::string> verdict(const std::string &wav) const {
        std::vector<std::string> failures;
        if (judgeTiming_ && overruns_ != 0)
            failures.push_back(std::to_string(overruns_) + " samples overran");
        if (nonFinite_ != 0)
            failures.push_back(std::to_string(nonFinite_) + " non-finite words fetched");
        if (rssAfterFirst_ > 0 && rssLast_ > 1.05 * rssAfterFirst_)
            failures.push_back("resident memory grew from " + std::to_string(rssAfterFirst_) +
                               " to " + std::to_string(rssLast_) + " MiB");
        double rate = 0;
        std::vector<float> frames;
        if (!kesto::readWav(wav, rate, frames) || rate != Rate)
            failures.push_back("the recording " + wav + " is not a readable 20 kHz WAV");
        const std::size_t n = frames.size() / kesto::WavRecorder::Channels;
        std::printf("recording: %zu frames readable, %u samples counted before exit\n", n,
                    lastSamples_);
        if (n < lastSamples_)
            failures.push_back("the recording holds fewer frames than samples counted");
        for (float v : frames)
            if (!std::isfinite(v)) {
                failures.push_back("the recording holds a non-finite sample");
                break;
            }
        return failures;
    }

    std::size_t commands() const { return commands_; }

private:
    std::uint32_t word(std::uint32_t address) {
        std::uint32_t w = 0;
        link_.getWord(address, w);
        return w;
    }

    void checkAck() {
        if (judgeTiming_ && Steady::now() - commandStart_ > AckLimit)
            throw Failure("command " + std::to_string(current_) + " was not acknowledged within 1 s");
    }

    void send(Cmd code) {
        current_ = static_cast<std::int32_t>(code);
        commandStart_ = Steady::now();
        link_.SendCommand(code);
        slowest_ = std::max(slowest_, std::chrono::duration<double>(Steady::now() - commandStart_).count());
        ++commands_;
    }

    void fetch(Cmd code, std::int32_t n) {
        send(code);
        link_.rewindXfer();
        for (std::int32_t i = 0; i < n; ++i) {
            float v = 0;
            link_.readNextXfer(v);
            nonFinite_ += !std::isfinite(v);
        }
    }

    void download(const Params &p, const std::vector<float> &d) {
        link_.putLong(dspmem::CmdArg1, p.cTaps);
        link_.putLong(dspmem::CmdArg2, p.wTaps);
        link_.putSingle(dspmem::CmdArg4, p.betaC);
        link_.putSingle(dspmem::CmdArg5, p.betaW);
        link_.putSingle(dspmem::CmdArg6, Rate);
        send(Cmd::SetParams);
        link_.putSingle(dspmem::CmdArg4, p.gainC);
        link_.putSingle(dspmem::CmdArg5, p.gainW);
        link_.putSingle(dspmem::CmdArg6, p.gainD);
        send(Cmd::SetGains);
        link_.rewindXfer();
        for (float v : d)
            link_.writeNextXfer(v);
        link_.putLong(dspmem::CmdArg1, static_cast<std::int32_t>(d.size()));
        send(Cmd::LoadDFilter);
    }

    void identify(Cmd start, Cmd result, std::int32_t taps) {
        send(start);
        runLoop(std::chrono::seconds(3), taps, false);
        send(Cmd::IdentStop);
        fetch(result, taps - FetchShortfall);
    }

    // The console's loop for `span`: a pass every LoopPass fetches the filter being adapted and,
    // while running, takes a capture of the three signals whenever the last one is complete.
    void runLoop(Steady::duration span, std::int32_t taps, bool running) {
        const auto until = Steady::now() + span;
        bool capturing = false;
        while (Steady::now() < until) {
            if (running) {
                fetch(Cmd::WFetch, taps - FetchShortfall);
                if (!capturing) {
                    send(Cmd::CaptureStart);
                    capturing = true;
                } else {
                    send(Cmd::CaptureQuery);
                    if (longOfWord(word(dspmem::CmdArg1)) == 0) {
                        for (Cmd c : {Cmd::PrimFetch, Cmd::ErrorFetch, Cmd::CtrlFetch})
                            fetch(c, taps - FetchShortfall);
                        capturing = false;
                    }
                }
            }
            std::this_thread::sleep_for(LoopPass);
        }
    }

    KestoLibrary &board_;
    CommandLink link_;
    std::string bin_;
    bool judgeTiming_;
    std::vector<std::vector<float>> dFilters_;
    Steady::time_point started_, commandStart_;
    std::int32_t current_ = 0;
    std::size_t cycles_ = 0, commands_ = 0, nonFinite_ = 0;
    double slowest_ = 0, rssAfterFirst_ = 0, rssLast_ = 0;
    std::uint32_t overruns_ = 0, lastSamples_ = 0;
};

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    double seconds = 3600;
    bool onlyMode1 = false, judgeTiming = true;
    std::string tree = QUIRO_RUN_TREE;
    std::string wav;
    bool reportTiming = false;
    cli::ArgumentReader args("quiro_soak", "",
                             "Runs the real board in real time through the console's handshake for a "
                             "given time,\nchecks it, and exits 0 when every check held.");
    args.number("--seconds", seconds, 1, MaxSeconds, "how long to run, in seconds (default 3600)");
    args.flag("--mode1", onlyMode1, "stays in mode 1 after one identification instead of cycling");
    args.flag("--report-timing", reportTiming,
              "prints answer times and overruns without judging them (for a busy machine)");
    args.path("--record", wav, "the recording (default RUN_TREE/soak.wav)");
    args.path("--run-tree", tree, "the run tree with bin/libKesto32.so and DSP/quiros.out (default the build's)");
    if (const int status = args.readOrExit(argc, argv); status >= 0)
        return status;
    judgeTiming = !reportTiming;
    if (wav.empty())
        wav = tree + "/soak.wav";
    std::string error;
    for (const std::string &part : {tree + "/bin/libKesto32.so", tree + "/DSP/quiros.out"})
        if (error.empty())
            cli::inputFile(part, error);
    if (error.empty())
        cli::outputFile(wav, error);
    if (!error.empty()) {
        std::fprintf(stderr, "quiro_soak: %s\n", error.c_str());
        return 2;
    }
    qputenv("KESTO32_CLOCK", "realtime");
    qputenv("KESTO32_RECORD", QByteArray::fromStdString(wav));
    qunsetenv("KESTO32_SCENE");

    const std::string bin = tree + "/bin";
    KestoLibrary board(QString::fromStdString(bin));
    std::vector<std::string> failures;
    try {
        Soak soak(board, bin, judgeTiming);
        soak.open();
        const auto start = Steady::now();
        const auto end = start + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
        int minutes = 0;
        for (std::size_t n = 0; Steady::now() < end; ++n) {
            if (onlyMode1)
                soak.mode1(std::min(end, Steady::now() + std::chrono::minutes(1)));
            else
                soak.cycle(n);
            if (Steady::now() - start >= std::chrono::minutes(minutes + 1) || Steady::now() >= end)
                soak.minute(++minutes);
        }
        soak.close();
        failures = soak.verdict(wav);
        std::printf("soak: %.0f s, %zu commands\n", seconds, soak.commands());
    } catch (const std::exception &e) {
        board.libexit();
        failures.push_back(e.what());
    }
    for (const auto &f : failures)
        std::printf("soak: FAIL: %s\n", f.c_str());
    std::printf("soak: %s\n", failures.empty() ? "every check held" : "FAILED");
    return cli::finish("quiro_soak", failures.empty() ? 0 : 1);
}
