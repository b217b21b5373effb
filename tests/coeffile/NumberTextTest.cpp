// The C locale's number notation and its conversions, and the coefficient reader's overlong items.
// The properties every input keeps are CoeffileFuzz's.

#include "coeffile/CoefficientParser.h"
#include "coeffile/NumberText.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>

namespace quiro {
namespace {

// Reals are the nearest single or out of range; tap counts (6..4101) round halves to even, as the
// download shows; coefficient counts (0..4096) must be whole. The decimal text is rounded once,
// never through a double first.
TEST(NumberText, ConvertsTheCNotationWithinItsBounds) {
    constexpr NumberStatus Ok = NumberStatus::Ok, Out = NumberStatus::OutOfRange;
    enum { Single, Taps, Count };
    const struct { int to; const char *text; NumberStatus status; float value; } cases[] = {
        {Single, " 2.5 ", Ok, 2.5f}, {Single, "\t-0.25\t", Ok, -0.25f}, {Single, "+3", Ok, 3.0f},
        {Single, ".5", Ok, 0.5f}, {Single, "5.", Ok, 5.0f}, {Single, "1.5E+3", Ok, 1500.0f},
        {Single, "-2e-2", Ok, -0.02f}, {Single, "0.1", Ok, 0.1f}, {Single, "3.4028235e38", Ok, 3.4028235e38f},
        // Just above the midpoint between 1 and the next single: through a double it rounds to 1.
        {Single, "1.0000000596046447753906250001", Ok, 1.00000011920928955078125f},
        {Single, "1e-40", Ok, 1e-40f}, {Single, "1e-50", Ok, 0.0f}, {Single, "-1e-400", Ok, -0.0f},
        {Single, "1e39", Out, 0}, {Single, "-1e39", Out, 0}, {Single, "3.4028236e38", Out, 0},
        {Single, "1e99999999999999999999", Out, 0},
        {Taps, "256.51", Ok, 257}, {Taps, "5.5", Ok, 6}, {Taps, "4101", Ok, 4101}, {Taps, "4100.5", Ok, 4100},
        {Taps, "2.56e2", Ok, 256}, {Taps, "5.4", Out, 0}, {Taps, "4101.5", Out, 0}, {Taps, "3e9", Out, 0},
        {Taps, "256.50000000000001", Ok, 257}, {Taps, "4101.4999999999999999", Ok, 4101},
        {Taps, "2565e-1", Ok, 256}, {Taps, "0.02575e4", Ok, 258}, {Taps, "0000000000256.5", Ok, 256},
        {Count, "3.0", Ok, 3}, {Count, "-0", Ok, 0}, {Count, "4096", Ok, 4096}, {Count, "3.5", Out, 0},
        {Count, "-1", Out, 0}, {Count, "1e-30", Out, 0},
        {Count, "3.0000000000000001", Out, 0}, {Count, "40.96e2", Ok, 4096}};
    for (const auto &c : cases) {
        const SingleValue single = toSingle(c.text);
        const LongValue whole = c.to == Taps ? toRoundedLong(c.text, 6, 4101) : toWholeLong(c.text, 0, 4096);
        const auto [status, value] = c.to == Single ? std::pair(single.status, single.value)
                                                    : std::pair(whole.status, static_cast<float>(whole.value));
        EXPECT_EQ(status, c.status) << c.text;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(c.value)) << c.text;
    }
    // CoeffileFuzz checks that the other conversions agree with isDecimalNumber.
    for (const char *text : {"", " ", "abc", "1,5", "0x10", "inf", "nan", "1e", "e5", "--1", "1 2",
                             "+", ".", "1e+", "1.5.2", "１", "２００００", "1\xE3\x80\x80", "1_000"})
        EXPECT_FALSE(isDecimalNumber(text)) << text;
}

// An item longer than any number ends the reading at that item: a file of gigabytes without a
// separator is refused after its first few hundred bytes.
TEST(CoefficientFile, AnOverlongItemStopsTheReadingThere) {
    const struct { const char *head; CoefficientProblem problem; int line; } cases[] = {
        {"", CoefficientProblem::BadCount, 1},
        {"2\r\n0.5\r\n", CoefficientProblem::BadCoefficient, 3},
        {"\xEF\xBB\xBF" "3, 1,", CoefficientProblem::BadCoefficient, 1},
    };
    for (const auto &c : cases) {
        CoefficientParser parser;
        parser.feed(c.head);
        parser.feed(std::string(CoefficientParser::MaxItemLength, '7'));
        EXPECT_FALSE(parser.finished()) << c.head;
        parser.feed("7");
        ASSERT_TRUE(parser.finished()) << c.head;
        EXPECT_EQ(parser.result().problem, c.problem) << c.head;
        EXPECT_EQ(parser.result().line, c.line) << c.head;
        EXPECT_TRUE(parser.result().item.ends_with("777...")) << parser.result().item;
    }
}

} // namespace
} // namespace quiro
