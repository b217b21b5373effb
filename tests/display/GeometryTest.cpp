// The plot arithmetic on its own: count texts, the coordinate mapping, cutting at the edges and
// the taming of values a painter cannot take.

#include "display/PlotGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quiro {
namespace {

constexpr float Largest = std::numeric_limits<float>::max();

TEST(CountText, GivesTheSpanAndThePointsDrawn) {
    struct Row {
        const char *text;
        std::optional<double> span;
        int points;
    };
    const Row rows[] = {
        {"256", 251.0, 251},      {"128", 123.0, 123},
        {"10.5", 5.5, 5},         {"6", 1.0, 1},
        {"5.5", 0.5, 0},          {" 256 ", 251.0, 251},
        {"4101", 4096.0, 4096},   {"1e9", 1e9 - 5, 4096}, // never past the 4096-word buffer
        {"5", std::nullopt, 0},   {"3", std::nullopt, 0},
        {"-20", std::nullopt, 0}, {"abc", std::nullopt, 0},
        {"", std::nullopt, 0},    {"12abc", std::nullopt, 0},
        {"inf", std::nullopt, 0}, {"nan", std::nullopt, 0},
    };
    for (const Row &r : rows) {
        const std::optional<double> span = pointSpan(QString::fromLatin1(r.text));
        EXPECT_EQ(span, r.span) << '"' << r.text << '"';
        EXPECT_EQ(span ? pointCount(*span) : 0, r.points) << '"' << r.text << '"';
    }
}

TEST(ClipSegment, KeepsOnlyWhatLiesInside) {
    const QRectF area(0, 0, 100, 50);
    struct Row {
        QLineF segment;
        std::optional<QLineF> visible;
    };
    const Row rows[] = {
        {{10, 10, 90, 40}, QLineF(10, 10, 90, 40)},   // inside: untouched
        {{50, 25, 50, -75}, QLineF(50, 25, 50, 0)},   // leaves at the top
        {{-50, 25, 150, 25}, QLineF(0, 25, 100, 25)}, // crosses the whole area
        {{50, 25, 50, -3e38}, QLineF(50, 25, 50, 0)}, // far beyond: still cut exactly
        {{10, 60, 90, 1e30}, std::nullopt},           // wholly below
        {{-5, -5, -1, 60}, std::nullopt},             // wholly left
        {{0, 0, 0, 50}, QLineF(0, 0, 0, 50)},         // along the left edge
    };
    for (const Row &r : rows) {
        const std::optional<QLineF> got = clipSegment(r.segment, area);
        ASSERT_EQ(got.has_value(), r.visible.has_value()) << r.segment.y2();
        if (got) {
            EXPECT_NEAR(got->x1(), r.visible->x1(), 1e-9);
            EXPECT_NEAR(got->y1(), r.visible->y1(), 1e-9);
            EXPECT_NEAR(got->x2(), r.visible->x2(), 1e-9);
            EXPECT_NEAR(got->y2(), r.visible->y2(), 1e-9);
        }
    }
}

TEST(PlotSingle, KeepsEveryValueFiniteOnItsOwnSide) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        double in;
        float out;
    };
    const Row rows[] = {
        {5.0, 5.0F},    {-0.25, -0.25F},  {1e300, Largest}, {-1e300, -Largest},
        {inf, Largest}, {-inf, -Largest}, {nan, Largest},   {-nan, -Largest},
    };
    for (const Row &r : rows)
        EXPECT_EQ(plotSingle(r.in), r.out) << r.in;
}

} // namespace
} // namespace quiro
