// Scales and zoom: start-up, the twelve zoom buttons, their limits and their independence.

#include "FakeBoard.h"
#include "StandInForm.h"
#include "display/Plots.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quiro {
namespace {

struct Scales : ::testing::Test {
    test::StandInForm form;
    test::FakeBoard board;
    CommandLink link{board, [] {}};
    Plots plots{form, link};

    QString top(const PlotControls &row) { return form.get<QLabel>(row.topLabel)->text(); }
    QString bottom(const PlotControls &row) { return form.get<QLabel>(row.bottomLabel)->text(); }
    QPushButton *button(const char *name) { return form.get<QPushButton>(name); }
    // Presses a zoom button as the operator would; a coefficient plot's buttons are enabled
    // by the run that redraws it, so the test enables them first.
    void press(const char *name, int times) {
        button(name)->setEnabled(true);
        for (int i = 0; i < times; ++i)
            button(name)->click();
    }
    static std::vector<QLineF> axes() { return {{0, 1, 0, -1}, {0, 0, 1, 0}}; }
};

// What every plot shows: its edge labels, step, gain, lines and zoom buttons.
struct Shown {
    const char *top;
    const char *bottom;
    std::int16_t step;
    double gain;
    std::vector<QLineF> lines;
    bool signalZoomEnabled;
};

TEST_F(Scales, StartUpShowsFullScaleZeroPointTwoWithAxesAndAFailedOneLeavesTheDesign) {
    const Shown designTime{"+1", "-1", 0, 0.0, {}, false};
    const Shown startedUp{"+0.2", "-0.2", 7, 5.0, axes(), true};
    for (const Shown *expected : {&designTime, &startedUp}) {
        if (expected == &startedUp)
            plots.initialiseDisplay();
        for (const PlotControls &row : PlotTable) {
            SCOPED_TRACE(std::string(row.picture) +
                         (expected == &startedUp ? " after" : " before"));
            EXPECT_EQ(top(row), expected->top);
            EXPECT_EQ(bottom(row), expected->bottom);
            EXPECT_EQ(plots.step(row.plot), expected->step);
            EXPECT_EQ(plots.gain(row.plot), expected->gain);
            EXPECT_EQ(plots.picture(row.plot).lines(), expected->lines);
            // Only the signal plots can be zoomed between runs.
            const bool enabled = row.signal && expected->signalZoomEnabled;
            EXPECT_EQ(button(row.zoomIn)->isEnabled(), enabled);
            EXPECT_EQ(button(row.zoomOut)->isEnabled(), enabled);
        }
    }
    // The axes are on screen: column 0 is black from top to bottom, as is the zero line.
    const QImage &image = plots.picture(Plot::Ctrl).image();
    for (int y = 0; y < image.height(); ++y)
        ASSERT_EQ(image.pixel(0, y), qRgb(0, 0, 0)) << "row " << y;
    EXPECT_GE(test::blackColumns(image, 60).size() + test::blackColumns(image, 61).size(), 313u);
}

TEST_F(Scales, ZoomStopsAtEitherEndOfTheTableWithoutClearing) {
    plots.initialiseDisplay();
    struct Row {
        bool out;    // Tele ("縮小") or Wide ("拡大")
        int presses; // from step 7 to the end of the table
        std::int16_t step;
        const char *label;
        double gain;
    };
    const Row rows[] = {{true, 12, 19, "2000", 0.0005}, {false, 7, 0, "0.001", 1000.0}};
    for (const PlotControls &row : PlotTable) {
        for (const Row &r : rows) {
            SCOPED_TRACE(std::string(row.picture) + (r.out ? " Tele" : " Wide"));
            plots.initialiseDisplay();
            const char *name = r.out ? row.zoomOut : row.zoomIn;
            press(name, r.presses);
            EXPECT_EQ(plots.step(row.plot), r.step);
            EXPECT_EQ(top(row), QStringLiteral("+") + r.label);
            EXPECT_EQ(bottom(row), QStringLiteral("-") + r.label);
            EXPECT_EQ(plots.gain(row.plot), r.gain);

            // One more press changes nothing, not even the trace on the plot.
            plots.picture(row.plot).line({0.0, 0.5}, {1.0, 0.5});
            const auto before = plots.picture(row.plot).lines();
            press(name, 1);
            EXPECT_EQ(plots.step(row.plot), r.step);
            EXPECT_EQ(plots.gain(row.plot), r.gain);
            EXPECT_EQ(plots.picture(row.plot).lines(), before);
        }
    }
}

TEST_F(Scales, APressThatMovesTheStepClearsOnlyItsOwnPlot) {
    plots.initialiseDisplay();
    for (const PlotControls &row : PlotTable)
        plots.picture(row.plot).line({0.0, 0.5}, {1.0, 0.5}); // a trace on every plot
    press("BtnC1Tele", 1);
    press("BtnC1Tele", 1);
    press("BtnC1Wide", 1);
    EXPECT_EQ(plots.step(Plot::C1), 8);
    EXPECT_EQ(plots.gain(Plot::C1), 2.0);
    EXPECT_EQ(top(PlotTable[0]), "+0.5");
    EXPECT_EQ(plots.picture(Plot::C1).lines(), axes());
    for (const PlotControls &row : PlotTable) {
        if (row.plot == Plot::C1)
            continue;
        SCOPED_TRACE(row.picture);
        EXPECT_EQ(plots.step(row.plot), 7);
        EXPECT_EQ(plots.gain(row.plot), 5.0);
        EXPECT_EQ(top(row), "+0.2");
        EXPECT_EQ(plots.picture(row.plot).lines().size(), 3u); // axes and the trace
    }
}

TEST_F(Scales, AMissingControlIsNamed) {
    delete form.get<QLabel>("LblErrorMfs");
    try {
        Plots broken(form, link);
        FAIL() << "a form without LblErrorMfs was accepted";
    } catch (const std::logic_error &e) {
        EXPECT_NE(std::string(e.what()).find("LblErrorMfs"), std::string::npos);
    }
}

} // namespace
} // namespace quiro
