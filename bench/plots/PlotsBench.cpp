// Times the plots as the console draws them and prints median figures:
//  1. one 251-point trace read and drawn into a plot and brought to the screen, the values coming
//     from a transfer buffer held in memory (the drawing alone);
//  2. the whole W pass of the cancellation loop: the W fetch command through the simulated
//     board, the drawing, and the screen refresh.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise. The board is the
// simulated one from the run tree (bin/libKesto32.so, DSP/quiros.out); without it the second
// figure is skipped.

#include "QtApplication.h"
#include "control/PlotFetch.h"
#include "display/Plots.h"
#include "dsp/KestoLibrary.h"
#include "window/MainForm.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace quiro {
namespace {

using Clock = std::chrono::steady_clock;
using test::PaintCounter; // so a pass can wait until its plot is on the screen

// A transfer buffer held in memory, filled with one period of a sine; every other word reads 0.
class HeldBuffer final : public Board {
public:
    HeldBuffer() {
        for (std::size_t i = 0; i < words_.size(); ++i)
            words_[i] = wordOfSingle(static_cast<float>(0.15 * std::sin(i * 2 * 3.14159265 / 251)));
    }
    std::int32_t libenter() override { return 0; }
    std::int32_t libexit() override { return 0; }
    std::int32_t bdsel(std::int32_t) override { return 0; }
    std::int32_t bdinit() override { return 0; }
    std::int32_t loadcs(const std::string &) override { return 0; }
    std::int32_t run() override { return 0; }
    std::int32_t getmem(std::uint32_t address, std::uint32_t *word) override {
        const std::uint32_t i = (address - dspmem::XferBuf) / 4;
        *word = i < words_.size() ? words_[i] : 0u;
        return 0;
    }
    std::int32_t putmem(std::uint32_t, const std::uint32_t *, std::int32_t) override { return 0; }

private:
    std::array<std::uint32_t, dspmem::XferWords> words_{};
};

struct Figures {
    double median;
    double low;
    double high; // 90th percentile
};

Figures measure(int passes, const std::function<void()> &pass) {
    std::vector<double> micros;
    for (int i = 0; i < passes; ++i) {
        const auto start = Clock::now();
        pass();
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros.front(), micros[micros.size() * 9 / 10]};
}

void print(const char *what, int passes, Figures f) {
    std::printf("%-52s median %9.1f us   min %9.1f us   p90 %9.1f us   (%d passes)\n", what,
                f.median, f.low, f.high, passes);
}

// The main window, shown, and the plots on it after a normal start-up.
struct Console : test::UsesQt {
    explicit Console(Board &board, CommandLink::Yield yield) : link(board, std::move(yield)) {
        form.show();
        QCoreApplication::processEvents();
        plots.initialiseDisplay();
        plots.picture(Plot::C1).installEventFilter(&c1Paints);
        plots.picture(Plot::W).installEventFilter(&wPaints);
        QCoreApplication::processEvents();
    }
    // Runs the event loop until `counter` has seen one more paint.
    // Reads the plot's values from the transfer buffer and draws them, as a pass does.
    void draw(Plot plot) { plots.draw(plot, readTrace(link, plot, texts)); }
    static void untilPainted(PaintCounter &counter) {
        const int before = counter.paints;
        for (int spins = 0; counter.paints == before && spins < 1000; ++spins)
            QCoreApplication::processEvents();
    }

    MainForm form;
    CommandLink link;
    ParameterTexts texts; // tap counts of 256: 251 points
    Plots plots{form.plotWidgets()};
    PaintCounter c1Paints;
    PaintCounter wPaints;
};

void drawingAlone() {
    HeldBuffer buffer;
    Console console(buffer, [] {});
    constexpr int passes = 2000;
    print("draw 251 points (no screen)", passes, measure(passes, [&] { console.draw(Plot::C1); }));
    print("screen refresh of one plot", passes, measure(passes, [&] {
              console.plots.picture(Plot::C1).update();
              Console::untilPainted(console.c1Paints);
          }));
    print("draw 251 points and bring them to the screen", passes, measure(passes, [&] {
              console.draw(Plot::C1);
              Console::untilPainted(console.c1Paints);
          }));
}

void wPass() {
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString program = appDir + QStringLiteral("/../DSP/quiros.out");
    if (!QFileInfo::exists(appDir + QStringLiteral("/libKesto32.so")) ||
        !QFileInfo::exists(program)) {
        std::printf("W pass: skipped, the simulated board is missing (%s/libKesto32.so, %s)\n",
                    qPrintable(appDir), qPrintable(program));
        return;
    }
    KestoLibrary board(appDir);
    if (board.libenter() != 0) {
        std::printf("W pass: skipped, Kesto_libenter failed\n");
        return;
    }
    board.bdsel(0);
    board.bdinit();
    if (board.loadcs(program.toStdString()) != 0 || board.run() != 0) {
        std::printf("W pass: skipped, the DSP program could not be loaded and started\n");
        board.libexit();
        return;
    }
    {
        Console console(board, [] { QCoreApplication::processEvents(); });
        console.link.putLong(dspmem::CmdArg1, 256);
        console.link.putLong(dspmem::CmdArg2, 256);
        console.link.SendCommand(Cmd::SetParams);

        constexpr int passes = 200;
        print("W fetch command (handshake)", passes,
              measure(passes, [&] { console.link.SendCommand(Cmd::WFetch); }));
        print("W pass: fetch, draw 251 points, to the screen", passes, measure(passes, [&] {
                  console.link.SendCommand(Cmd::WFetch);
                  console.draw(Plot::W);
                  Console::untilPainted(console.wPaints);
              }));
    }
    board.libexit();
}

} // namespace
} // namespace quiro

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quiro::drawingAlone();
    quiro::wPass();
    return 0;
}
