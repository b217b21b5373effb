// The C locale's number notation and its conversions, then the fuzz entry point over generated
// inputs, so that g++ builds exercise it too.

#include "ParamsFuzz.h"
#include "coeffile/CoefficientParser.h"
#include "coeffile/NumberText.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>

namespace quiro {
namespace {

TEST(NumberText, RealsConvertToTheNearestSingleOrAreOutOfRange) {
    const std::pair<const char *, float> cases[] = {
        {" 2.5 ", 2.5f}, {"\t-0.25\t", -0.25f}, {"+3", 3.0f}, {".5", 0.5f}, {"5.", 5.0f},
        {"1.5E+3", 1500.0f}, {"-2e-2", -0.02f}, {"0.1", 0.1f}, {"3.4028235e38", 3.4028235e38f},
        // Just above the midpoint between 1 and the next single: through a double it rounds to 1.
        {"1.0000000596046447753906250001", 1.00000011920928955078125f},
        {"1e-40", 1e-40f}, {"1e-50", 0.0f}, {"-1e-400", -0.0f}};
    for (const auto &[text, expected] : cases) {
        const SingleValue v = toSingle(text);
        EXPECT_EQ(v.status, NumberStatus::Ok) << text;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(v.value), std::bit_cast<std::uint32_t>(expected))
            << text;
    }
    for (const char *text : {"1e39", "-1e39", "3.4028236e38", "1e99999999999999999999"})
        EXPECT_EQ(toSingle(text).status, NumberStatus::OutOfRange) << text;
}

// ParamsFuzz checks that the other conversions agree with isDecimalNumber.
TEST(NumberText, OnlyTheCNotationIsANumber) {
    for (const char *text : {"", " ", "abc", "1,5", "0x10", "inf", "nan", "1e", "e5", "--1", "1 2",
                             "+", ".", "1e+", "1.5.2", "１", "２００００", "1\xE3\x80\x80", "1_000"}) {
        EXPECT_FALSE(isDecimalNumber(text)) << text;
        EXPECT_EQ(toSingle(text).status, NumberStatus::NotANumber) << text;
    }
}

// Tap counts (6..4101) round halves to even, as the download shows; coefficient counts (0..4096)
// must be whole.
TEST(NumberText, IntegersRoundOrMustBeWholeWithinTheirBounds) {
    constexpr NumberStatus Ok = NumberStatus::Ok, Out = NumberStatus::OutOfRange;
    const struct { bool tapCount; const char *text; NumberStatus status; std::int32_t value; } cases[] = {
        {true, "256.51", Ok, 257}, {true, "5.5", Ok, 6}, {true, "4101", Ok, 4101},
        {true, "4100.5", Ok, 4100}, {true, "2.56e2", Ok, 256}, {true, "5.4", Out, 0},
        {true, "4101.5", Out, 0}, {true, "3e9", Out, 0}, {false, "3.0", Ok, 3},
        {false, "-0", Ok, 0}, {false, "4096", Ok, 4096}, {false, "3.5", Out, 0},
        {false, "-1", Out, 0}, {false, "4097", Out, 0}, {false, "1e-30", Out, 0},
        // The decimal text is rounded once, never through a double first.
        {true, "256.50000000000001", Ok, 257}, {true, "4101.4999999999999999", Ok, 4101},
        {true, "2565e-1", Ok, 256}, {true, "0.02575e4", Ok, 258}, {false, "3.0000000000000001", Out, 0},
        {false, "40.96e2", Ok, 4096}, {false, "1e99999999999999999999", Out, 0}};
    for (const auto &c : cases) {
        const LongValue v = c.tapCount ? toRoundedLong(c.text, 6, 4101) : toWholeLong(c.text, 0, 4096);
        EXPECT_EQ(v.status, c.status) << c.text;
        EXPECT_EQ(v.value, c.value) << c.text;
    }
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

TEST(ParamsFuzz, GeneratedInputsKeepEveryProperty) {
    const std::string seeds[] = {"3\n0.5\n-0.25\n0.125\n9.9\n", "3,0.5,-0.25,0.125", "0",
                                 "\xEF\xBB\xBF" "2\r\n1\r\n2", " 255.5 ", "-1.5e-3", "4096",
                                 "1e39", ".5e+2,,\r\r\n", "4101.5", "6", "",
                                 "256.50000000000001", "4101.4999999999999999"};
    const std::string alphabet = "0123456789+-.eE ,\n\r\t\xEF\xBB\xBFx";
    std::mt19937 random(20240607);
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    for (std::size_t i = 0; i < 10000; ++i) {
        // The seeds as they are, then their tails with up to 24 bytes inserted anywhere: from the
        // alphabet, or (one input in five) any byte.
        const std::string &seed = seeds[i % std::size(seeds)];
        const bool asIs = i < std::size(seeds);
        std::string input = asIs ? seed : seed.substr(pick(seed.size() + 1));
        for (std::size_t n = asIs ? 0 : pick(25); n > 0; --n)
            input.insert(pick(input.size() + 1), 1,
                         i % 5 == 0 ? static_cast<char>(random()) : alphabet[pick(alphabet.size())]);
        fuzz::runOne(reinterpret_cast<const std::uint8_t *>(input.data()), input.size());
    }
}

} // namespace
} // namespace quiro
