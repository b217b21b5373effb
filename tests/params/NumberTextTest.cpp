// The number notation of parameter texts and coefficient items, and the two conversions.

#include "params/NumberText.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace quiro {
namespace {

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

TEST(NumberText, RealsConvertToTheNearestSingle) {
    const struct {
        const char *text;
        float expected;
    } cases[] = {
        {"1", 1.0f},
        {"0.000001", 1.0e-6f},
        {"0.00001", 1.0e-5f},
        {"20000", 20000.0f},
        {" 2.5 ", 2.5f},
        {"\t-0.25\t", -0.25f},
        {"+3", 3.0f},
        {".5", 0.5f},
        {"5.", 5.0f},
        {"1.5E+3", 1500.0f},
        {"-2e-2", -0.02f},
        {"0.1", 0.1f},
        {"3.4028235e38", 3.4028235e38f},
        // Just above the midpoint between 1 and the next single: a double in between would
        // round to the midpoint and then, ties to even, down to 1.
        {"1.0000000596046447753906250001", 1.00000011920928955078125f},
        {"1e-40", 1e-40f}, // subnormal
        {"1e-50", 0.0f},   // too small for a single: zero
        {"-1e-400", -0.0f},
    };
    for (const auto &c : cases) {
        const SingleValue v = toSingle(c.text);
        EXPECT_EQ(v.status, NumberStatus::Ok) << c.text;
        EXPECT_EQ(bits(v.value), bits(c.expected)) << c.text;
    }
    for (const char *text : {"1e39", "-1e39", "3.4028236e38", "1e400", "1e99999999999999999999"})
        EXPECT_EQ(toSingle(text).status, NumberStatus::OutOfRange) << text;
}

TEST(NumberText, OnlyTheCNotationIsANumber) {
    const char *notNumbers[] = {"",     " ",    "abc", "1,5", "0x10",   "inf",  "nan", "1e",
                                "e5",   "--1",  "1 2", "+",   ".",      "1e+",  "1.5.2",
                                "１",    "２００００", "1\xE3\x80\x80", "1_000", "\xE3\x80\x80" "1"};
    for (const char *text : notNumbers) {
        EXPECT_FALSE(isDecimalNumber(text)) << text;
        EXPECT_EQ(toSingle(text).status, NumberStatus::NotANumber) << text;
        EXPECT_EQ(toRoundedLong(text, 6, 4101).status, NumberStatus::NotANumber) << text;
        EXPECT_EQ(toWholeLong(text, 0, 4096).status, NumberStatus::NotANumber) << text;
    }
}

// Tap counts (6..4101) round halves to even; coefficient counts (0..4096) must be whole.
TEST(NumberText, IntegersRoundOrMustBeWholeWithinTheirBounds) {
    enum Kind { TapCount, Count };
    constexpr NumberStatus Ok = NumberStatus::Ok, Out = NumberStatus::OutOfRange;
    const struct {
        Kind kind;
        const char *text;
        NumberStatus status;
        std::int32_t value;
    } cases[] = {
        {TapCount, "255.5", Ok, 256},  {TapCount, "256.5", Ok, 256},   {TapCount, "257.5", Ok, 258},
        {TapCount, "256.49", Ok, 256}, {TapCount, "256.51", Ok, 257},  {TapCount, " 6 ", Ok, 6},
        {TapCount, "5.5", Ok, 6},      {TapCount, "4101", Ok, 4101},   {TapCount, "4100.5", Ok, 4100},
        {TapCount, "2.56e2", Ok, 256}, {TapCount, "5.4", Out, 0},      {TapCount, "4101.5", Out, 0},
        {TapCount, "-256", Out, 0},    {TapCount, "1e999", Out, 0},    {TapCount, "3e9", Out, 0},
        {Count, "3", Ok, 3},           {Count, "3.0", Ok, 3},          {Count, "3e0", Ok, 3},
        {Count, "-0", Ok, 0},          {Count, "4096", Ok, 4096},      {Count, "3.5", Out, 0},
        {Count, "-1", Out, 0},         {Count, "4097", Out, 0},        {Count, "1e-30", Out, 0},
    };
    for (const auto &c : cases) {
        const LongValue v =
            c.kind == TapCount ? toRoundedLong(c.text, 6, 4101) : toWholeLong(c.text, 0, 4096);
        EXPECT_EQ(v.status, c.status) << c.text;
        EXPECT_EQ(v.value, c.value) << c.text;
    }
}

} // namespace
} // namespace quiro
