// The single-producer single-consumer ring: capacity, refusal when full and order across
// wrap-around. Its two threads are the recorder's and the monitor's, whose tests run under
// ThreadSanitizer: there a missing release or acquire on either index is reported.

#include "board/SpscRing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kesto {
namespace {

TEST(SpscRing, CapacityIsThePowerOfTwoAtOrAboveTheRequest) {
    const struct {
        std::size_t asked, given;
    } rows[] = {{0, 2}, {1, 2}, {2, 2}, {3, 4}, {1000, 1024}, {1024, 1024}, {1025, 2048}};
    for (const auto &r : rows)
        EXPECT_EQ(SpscRing<int>(r.asked).capacity(), r.given) << r.asked;
}

TEST(SpscRing, KeepsOrderAndRefusesWhatDoesNotFit) {
    // Each row pushes a batch, then pops up to a count; the ring holds 8.
    const struct {
        int push;
        std::size_t pushed;
        std::size_t pop, popped;
    } rows[] = {{5, 5, 3, 3}, {7, 6, 0, 0}, {1, 0, 20, 8}, {8, 8, 8, 8}, {3, 3, 1, 1}, {9, 6, 9, 8}};
    SpscRing<std::uint32_t> ring(8);
    std::uint32_t nextIn = 0, nextOut = 0;
    for (const auto &r : rows) {
        std::vector<std::uint32_t> in(static_cast<std::size_t>(r.push));
        for (auto &v : in)
            v = nextIn++;
        const std::size_t pushed = ring.pushAll(in);
        EXPECT_EQ(pushed, r.pushed);
        nextIn -= static_cast<std::uint32_t>(in.size() - pushed); // refused items are not in it
        std::vector<std::uint32_t> out(r.pop);
        ASSERT_EQ(ring.popAll(out), r.popped);
        for (std::size_t i = 0; i < r.popped; ++i)
            EXPECT_EQ(out[i], nextOut++);
        EXPECT_EQ(ring.size(), nextIn - nextOut);
    }
}

} // namespace
} // namespace kesto
