// Drawing the six plots from the transfer buffer, against a fake board that counts its reads.

#include "FakeBoard.h"
#include "StandInForm.h"
#include "display/Plots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quiro {
namespace {

// The fake board, with the reads of one chosen transfer-buffer word failing: a failed read leaves
// the receiving value as it was.
class FlakyBoard : public test::FakeBoard {
public:
    int failingWord = -1;
    std::int32_t getmem(std::uint32_t address, std::uint32_t *word) override {
        if (failingWord >= 0 &&
            address == dspmem::XferBuf + 4 * static_cast<std::uint32_t>(failingWord)) {
            ++xferReads;
            return -1;
        }
        return FakeBoard::getmem(address, word);
    }
};

struct Drawing : ::testing::Test {
    Drawing() { plots.initialiseDisplay(); }

    test::StandInForm form;
    FlakyBoard board;
    CommandLink link{board, [] {}};
    Plots plots{form, link};

    void setCount(const char *box, const char *text) {
        form.get<QLineEdit>(box)->setText(QString::fromLatin1(text));
    }
    // Moves a plot to `step` with its own zoom buttons.
    void zoomTo(Plot plot, int step) {
        while (plots.step(plot) < step)
            plots.BtnTele_Click(plot);
        while (plots.step(plot) > step)
            plots.BtnWide_Click(plot);
    }
    // The trace's points, read back from what the picture box was asked to draw (the first two
    // lines are the axes).
    std::vector<QPointF> points(Plot plot) const {
        const std::vector<QLineF> &lines = plots.picture(plot).lines();
        std::vector<QPointF> out;
        for (std::size_t i = 2; i < lines.size(); ++i) {
            if (out.empty())
                out.push_back(lines[i].p1());
            EXPECT_EQ(lines[i].p1(), out.back()) << "each line starts where the last one ended";
            out.push_back(lines[i].p2());
        }
        return out;
    }
};

TEST_F(Drawing, ReadsOneWordPerPointAndSpansTheCountLessFive) {
    struct Row {
        Plot plot;
        const char *countBox;
        const char *count;
        int words; // read, one point each
    };
    const Row rows[] = {
        {Plot::C1, "TextCTapSize", "256", 251},    {Plot::C2, "TextCTapSize", "256", 251},
        {Plot::W, "TextWTapSize", "128", 123},     {Plot::Prim, "TextCTapSize", "256", 251},
        {Plot::Error, "TextCTapSize", "256", 251}, {Plot::Ctrl, "TextCTapSize", "256", 251},
        {Plot::C1, "TextCTapSize", "10.5", 5},     {Plot::W, "TextWTapSize", "6", 1},
        {Plot::W, "TextWTapSize", "4101", 4096},   {Plot::C2, "TextCTapSize", "99999", 4096},
        {Plot::C1, "TextCTapSize", "5", 0},        {Plot::C1, "TextCTapSize", "3", 0},
        {Plot::Prim, "TextCTapSize", "abc", 0},    {Plot::W, "TextWTapSize", "", 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(controlsOf(r.plot).picture) + " at \"" + r.count + "\"");
        setCount("TextCTapSize", "256");
        setCount("TextWTapSize", "256");
        setCount(r.countBox, r.count);
        plots.picture(r.plot).line({0, 0.5}, {1, 0.5}); // an old trace, to be cleared
        float stale = 0.0F;
        link.readNextXfer(stale); // an earlier transfer left XferOffset elsewhere
        board.xferReads = 0;
        plots.draw(r.plot);

        EXPECT_EQ(board.xferReads, r.words);
        EXPECT_EQ(link.xferOffset(), 4 * r.words);
        const std::vector<QPointF> pts = points(r.plot);
        EXPECT_EQ(pts.size(), r.words > 1 ? static_cast<std::size_t>(r.words) : 0u);
        const double span = QString::fromLatin1(r.count).toDouble() - 5;
        for (std::size_t i = 0; i < pts.size(); ++i)
            ASSERT_FLOAT_EQ(pts[i].x(), static_cast<float>(i / span)) << "point " << i;
    }
}

TEST_F(Drawing, ScalesCoefficientsByTheGainAndSamplesByTheGainOverFullScale) {
    const float inf = std::numeric_limits<float>::infinity();
    const float largest = std::numeric_limits<float>::max();
    struct Row {
        Plot plot;
        int step;
        float word;
        double y;
    };
    const Row rows[] = {
        {Plot::C1, 9, 1.0F, 1.0},      {Plot::C2, 9, -1.0F, -1.0}, // gain 1: the edges
        {Plot::W, 7, 0.2F, 1.0},       {Plot::W, 7, -0.1F, -0.5},  // gain 5
        {Plot::Prim, 9, 2048.0F, 1.0}, {Plot::Error, 9, -2048.0F, -1.0},
        {Plot::Ctrl, 7, 2048.0F, 5.0}, // far above: cut off at the top
        {Plot::Prim, 7, 1024.0F, 2.5}, {Plot::C1, 0, 1e38F, largest}, // beyond single range
        {Plot::Ctrl, 9, inf, largest}, {Plot::W, 9, -inf, -largest},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(controlsOf(r.plot).picture) + " step " + std::to_string(r.step) +
                     " word " + std::to_string(r.word));
        zoomTo(r.plot, r.step);
        board.fillXfer({0.0F, r.word, 0.0F});
        plots.draw(r.plot);
        const std::vector<QPointF> pts = points(r.plot);
        ASSERT_EQ(pts.size(), 251u);
        EXPECT_EQ(pts[1].y(), static_cast<float>(r.y));
        EXPECT_EQ(pts[2].y(), 0.0) << "the rest of the trace is unaffected";
    }
}

TEST_F(Drawing, TheTraceReachesTheImageCutOffAtTheTop) {
    // At gain 1 a coefficient of 1.0 runs along the top row; at gain 5 a sample of 2048 sits
    // far above the area and only the rising and falling lines to it show.
    zoomTo(Plot::C1, 9);
    board.fillXfer(std::vector<float>(251, 1.0F));
    plots.draw(Plot::C1);
    const QImage &c1 = plots.picture(Plot::C1).image();
    EXPECT_GE(test::blackColumns(c1, 0).size(), 310u);
    EXPECT_NE(c1.pixel(156, 1), qRgb(0, 0, 0));

    std::vector<float> spike(251, 0.0F);
    spike[125] = 2048.0F;
    board.fillXfer(spike);
    plots.draw(Plot::Prim);
    const QImage &prim = plots.picture(Plot::Prim).image();
    // Only the two lines to the spike reach the top row, either side of x = 125/251 (pixel 156).
    const std::vector<int> topRow = test::blackColumns(prim, 0);
    ASSERT_GE(topRow.size(), 2u);
    EXPECT_EQ(topRow[0], 0) << "the axis";
    EXPECT_GE(topRow[1], 154);
    EXPECT_LE(topRow.back(), 158);
}

TEST_F(Drawing, AZoomBetweenDrawingsChangesOnlyTheNextDrawing) {
    board.fillXfer(std::vector<float>(251, 0.1F));
    plots.draw(Plot::W);
    plots.draw(Plot::C2);
    EXPECT_FLOAT_EQ(points(Plot::W).front().y(), 0.5F);

    plots.BtnTele_Click(Plot::W); // gain 2: the plot is cleared, the trace waits
    EXPECT_TRUE(points(Plot::W).empty());
    plots.draw(Plot::W);
    EXPECT_FLOAT_EQ(points(Plot::W).front().y(), 0.2F);
    EXPECT_FLOAT_EQ(points(Plot::C2).front().y(), 0.5F) << "other plots keep their trace";
}

TEST_F(Drawing, AFailedReadRepeatsTheLastValueRead) {
    board.failingWord = 3;
    board.fillXfer({0.1F, 0.2F, -0.1F, 0.15F, 0.05F});
    plots.draw(Plot::C1);
    const std::vector<QPointF> pts = points(Plot::C1);
    EXPECT_FLOAT_EQ(pts[3].y(), -0.5F); // word 3 not read: still word 2's value
    EXPECT_FLOAT_EQ(pts[4].y(), 0.25F);
}

} // namespace
} // namespace quiro
