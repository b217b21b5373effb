// The picture box as a drawing surface: what reaches its image, what reaches the screen and when.

#include "StandInForm.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quiro {
namespace {

bool isBlack(const QImage &image, int x, int y) {
    return image.pixel(x, y) == qRgb(0, 0, 0);
}

struct Box : ::testing::Test {
    Box() {
        box.resize(313, 121);
        box.setUserScale(PlotScale);
        box.erase();
    }
    test::UsesQt app;
    PictureBox box;
};

TEST_F(Box, CutsOffFarAndNonFiniteEndsAtTheEdgeTheyPointTo) {
    const double inf = std::numeric_limits<double>::infinity();
    box.line({0.5, 0.0}, {0.5, inf});      // up from the middle
    box.line({0.25, 0.0}, {0.25, -1e300}); // down from the middle
    const QImage &image = box.image();
    const int up = qRound(0.5 * 313), down = qRound(0.25 * 313);
    EXPECT_TRUE(isBlack(image, up, 0) || isBlack(image, up - 1, 0));
    EXPECT_TRUE(isBlack(image, down, 120) || isBlack(image, down - 1, 120));
    // As asked, with the infinity taken as the largest single.
    EXPECT_EQ(box.lines()[0].y2(), std::numeric_limits<float>::max());
}

TEST_F(Box, FollowsItsSizeWhileHidden) {
    box.line({0.0, 0.5}, {1.0, 0.5}); // an old trace, which the erase must wipe
    box.setGeometry(0, 0, 200, 100);  // never shown: no resize event arrives
    box.erase();
    box.line({0.0, -1.0}, {1.0, -1.0}); // the bottom edge lies just outside
    box.line({1.0, 1.0}, {1.0, -1.0});  // and so does the right edge
    box.line({0.0, 1.0}, {1.0, -1.0});  // corner to corner
    const QImage &image = box.image();
    ASSERT_EQ(image.size(), QSize(200, 100));
    // Only the diagonal shows, two pixels a row, from corner to corner.
    std::size_t black = 0;
    for (int y = 0; y < image.height(); ++y)
        black += test::blackColumns(image, y).size();
    EXPECT_EQ(black, 200u);
    EXPECT_TRUE(isBlack(image, 0, 0));
    EXPECT_TRUE(isBlack(image, 199, 99));
}

// Counts the paints the box receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(Box, RefreshesTheScreenOnceForAWholeTraceAndKeepsItWhenRepainted) {
    PaintCounter counter;
    box.installEventFilter(&counter);
    box.show();
    QCoreApplication::processEvents();
    counter.paints = 0;

    box.erase();
    for (int i = 0; i < 250; ++i)
        box.line({i / 251.0, std::sin(i / 20.0)}, {(i + 1) / 251.0, std::sin((i + 1) / 20.0)});
    EXPECT_EQ(counter.paints, 0) << "nothing reaches the screen before the event loop runs";
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);

    // A repaint, as when a covering window goes away, shows the retained trace.
    const QImage shown = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, box.image());
}

} // namespace
} // namespace quiro
