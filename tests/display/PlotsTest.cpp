// The six plots on the main window of the console: start-up scales, zoom, and drawing what is
// read from the transfer buffer of a fake board that counts its reads.

#include "FakeBoard.h"
#include "QtApplication.h"
#include "app/Console.h"
#include "control/PlotFetch.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace quiro {
namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float Largest = std::numeric_limits<float>::max();
const std::vector<QLineF> Axes{{0, 1, 0, -1}, {0, 0, 1, 0}};

struct Display : test::UsesQt, ::testing::Test {
    QTemporaryDir dir;
    Console console{std::make_unique<test::FakeBoard>(), {}, dir.filePath("quiro.lock")};
    MainForm &form = console.form();
    test::FakeBoard &board = static_cast<test::FakeBoard &>(console.board());
    Plots &plots = console.plots();

    Display() {
        for (const PlotControls &row : PlotTable)
            plots.picture(row.plot).keepLineLog();
    }
    QString label(const char *name) const { return form.control<QLabel>(name)->text(); }
    // As the operator would; a coefficient plot's buttons wait for a run to enable them.
    void press(const char *button, int times) {
        form.control<QPushButton>(button)->setEnabled(true);
        for (int i = 0; i < times; ++i)
            form.control<QPushButton>(button)->click();
    }
    // What a pass does after the plot's fetch command: reads the trace and has it drawn.
    void draw(Plot plot) {
        plots.draw(plot, readTrace(console.link(), plot, console.parameters().texts()));
    }
    bool black(Plot plot, int x, int y) const {
        return plots.picture(plot).image().pixel(x, y) == qRgb(0, 0, 0);
    }
    // The trace's points as the picture box was asked to draw them, after the two axes.
    std::vector<QPointF> points(Plot plot) const {
        const std::vector<QLineF> &lines = plots.picture(plot).lines();
        std::vector<QPointF> out;
        for (std::size_t i = 2; i < lines.size(); ++i)
            out.push_back(lines[i].p1());
        if (lines.size() > 2)
            out.push_back(lines.back().p2());
        return out;
    }
};

TEST_F(Display, StartUpGivesEveryPlotFullScaleZeroPointTwoAndItsAxes) {
    for (const bool started : {false, true}) {
        if (started)
            plots.initialiseDisplay();
        for (const PlotControls &row : PlotTable) {
            SCOPED_TRACE(std::string(row.picture) + (started ? " after" : " before"));
            EXPECT_EQ(label(row.topLabel), started ? "+0.2" : "+1");
            EXPECT_EQ(label(row.bottomLabel), started ? "-0.2" : "-1");
            EXPECT_EQ(plots.step(row.plot), started ? 7 : 0);
            EXPECT_EQ(plots.gain(row.plot), started ? 5.0 : 0.0);
            EXPECT_EQ(plots.picture(row.plot).lines(), started ? Axes : std::vector<QLineF>{});
            // The axes are in the image: the left column and the zero line.
            EXPECT_EQ(black(row.plot, 0, 0) && black(row.plot, 0, 120), started);
            EXPECT_EQ(black(row.plot, 312, 60) || black(row.plot, 312, 61), started);
        }
    }
}

TEST_F(Display, ZoomMovesAndClearsOnlyItsOwnPlotAndStopsAtEitherEnd) {
    const struct {
        bool tele; // "縮小", else "拡大"
        int presses;
        const char *label;
        double gain;
    } rows[] = {{true, 12, "2000", 0.0005}, {false, 7, "0.001", 1000.0}};
    for (const PlotControls &row : PlotTable) {
        for (const auto &r : rows) {
            SCOPED_TRACE(std::string(row.picture) + (r.tele ? " Tele" : " Wide"));
            plots.initialiseDisplay();
            for (const PlotControls &other : PlotTable) // a trace on every plot
                plots.picture(other.plot).line({0.0, 0.5}, {1.0, 0.5});
            const char *button = r.tele ? row.zoomOut : row.zoomIn;
            press(button, r.presses);
            EXPECT_EQ(label(row.bottomLabel), QStringLiteral("-") + r.label);
            EXPECT_EQ(plots.gain(row.plot), r.gain);
            for (const PlotControls &other : PlotTable) {
                const bool own = other.plot == row.plot;
                EXPECT_EQ(label(other.topLabel), own ? QStringLiteral("+") + r.label : "+0.2");
                EXPECT_EQ(plots.picture(other.plot).lines().size(), own ? 2u : 3u) << other.picture;
            }

            // One more press changes nothing, not even the trace on the plot.
            plots.picture(row.plot).line({0.0, 0.5}, {1.0, 0.5});
            press(button, 1);
            EXPECT_EQ(plots.picture(row.plot).lines().size(), 3u);
        }
    }
}

// Each point is one word read from the transfer buffer, spread over the tap count less five;
// coefficients are scaled by the gain, samples by the gain over full scale.
TEST_F(Display, ReadsOneWordPerPointOverTheCountLessFiveAndScalesItByTheGain) {
    const struct {
        Plot plot;
        const char *count;
        int words;       // read, one point each
        int presses = 0; // from start-up's step 7: Tele (step up) when positive, else Wide
        float word = 0;  // the second word read, drawn at y; the others are zero
        double y = 0;
    } rows[] = {
        {Plot::C1, "256", 251, 2, 1.0F, 1.0}, {Plot::C2, "10.5", 5, 2, -1.0F, -1.0}, // gain 1
        {Plot::W, "128", 123, 0, 0.2F, 1.0},  {Plot::W, "4101", 4096, 0, -0.1F, -0.5}, // gain 5
        {Plot::Prim, "1e9", 4096, 2, 2048.0F, 1.0}, {Plot::Error, "256", 251, 2, -2048.0F, -1.0},
        {Plot::Ctrl, "256", 251, 0, 2048.0F, 5.0},  {Plot::Prim, "256", 251, 0, 1024.0F, 2.5},
        {Plot::W, "256", 251, 2, -Inf, -Largest}, {Plot::C2, "256", 251, 2, std::nanf(""), Largest},
        {Plot::W, "6", 1}, {Plot::C1, "5", 0}, {Plot::Error, "3", 0}, // too few points for a line
        {Plot::C1, "abc", 0}, {Plot::W, "", 0}, {Plot::C2, "inf", 0},
    };
    for (const auto &r : rows) {
        const PlotControls &row = controlsOf(r.plot);
        SCOPED_TRACE(testing::Message() << row.picture << " with the count \"" << r.count << '"');
        plots.initialiseDisplay();
        press(r.presses > 0 ? row.zoomOut : row.zoomIn, std::abs(r.presses));
        // The tap count written out here, not taken from the table; the other one holds 300.
        const bool w = r.plot == Plot::W;
        ParameterTexts texts;
        (w ? texts.cTapSize : texts.wTapSize) = QStringLiteral("300");
        (w ? texts.wTapSize : texts.cTapSize) = QString::fromLatin1(r.count);
        console.parameters().setTexts(texts);
        plots.picture(r.plot).line({0, 0.5}, {1, 0.5}); // an old trace, to be cleared
        board.xferReads = 0;                            // the row before left XferOffset elsewhere
        board.fillXfer({0.0F, r.word, 0.0F});
        draw(r.plot);

        EXPECT_EQ(board.xferReads, r.words);
        const std::vector<QPointF> pts = points(r.plot);
        ASSERT_EQ(pts.size(), r.words > 1 ? std::size_t(r.words) : 0u);
        const double span = QString::fromLatin1(r.count).toDouble() - 5;
        for (std::size_t i = 0; i < pts.size(); ++i)
            ASSERT_FLOAT_EQ(pts[i].x(), float(i / span)) << "point " << i;
        if (pts.size() > 2) {
            EXPECT_EQ(pts[1].y(), float(r.y));
            EXPECT_EQ(pts[2].y(), 0.0) << "the rest of the trace is unaffected";
        }
    }
}

TEST_F(Display, TheImageCutsATraceOffAtTheEdgeItLeavesByAndKeepsTheRest) {
    // At gain 5 the rest of the trace lies at y = 0.5, pixel row 30; the spike at x = 125/251
    // (pixel 156) lies far outside, and only the two lines to it reach the edge row.
    plots.initialiseDisplay();
    const struct {
        Plot plot;
        float rest;
        float spike;
        int edgeRow;
    } rows[] = {
        {Plot::Prim, 204.8F, 2048.0F, 0}, {Plot::C1, 0.1F, Inf, 0}, {Plot::W, 0.1F, -Largest, 120}};
    for (const auto &r : rows) {
        SCOPED_TRACE(controlsOf(r.plot).picture);
        std::vector<float> words(251, r.rest);
        words[125] = r.spike;
        board.fillXfer(words);
        draw(r.plot);
        std::vector<int> edge; // black columns of the edge row, beyond the axis
        for (int x = 1; x < 313; ++x)
            if (black(r.plot, x, r.edgeRow))
                edge.push_back(x);
        ASSERT_FALSE(edge.empty());
        EXPECT_GE(edge.front(), 154);
        EXPECT_LE(edge.back(), 158);
        EXPECT_TRUE(black(r.plot, 20, 30) && black(r.plot, 290, 30)) << "the trace either side";
    }
}

TEST_F(Display, ATraceShowsAfterOneRefreshAndOnRepaintAndAFailedReadRepeatsTheLastValue) {
    plots.initialiseDisplay();
    test::PaintCounter counter;
    PictureBox &box = plots.picture(Plot::C1);
    box.installEventFilter(&counter);
    box.resize(200, 100); // the image follows the box's size
    form.show();
    QCoreApplication::processEvents();
    counter.paints = 0;

    std::vector<float> words(251);
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = 0.15F * std::sin(float(i) / 20.0F);
    board.fillXfer(words);
    board.failingAddress = dspmem::XferBuf + 4 * 3;
    draw(Plot::C1);
    EXPECT_EQ(counter.paints, 0) << "nothing reaches the screen before the event loop runs";
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
    // A repaint, as when a covering window goes away, shows the retained trace.
    EXPECT_EQ(box.grab().toImage().convertToFormat(QImage::Format_RGB32), box.image());
    // Word 3 cannot be read: the trace repeats word 2 there and goes on with word 4.
    const std::vector<QPointF> pts = points(Plot::C1);
    EXPECT_FLOAT_EQ(pts[3].y(), pts[2].y());
    EXPECT_FLOAT_EQ(pts[4].y(), 5 * words[4]);
}

} // namespace
} // namespace quiro
