// The coefficient-file format: separators, blanks, empty items, the count and what follows it.

#include "params/CoefficientParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quiro {
namespace {

using Floats = std::vector<float>;

TEST(CoefficientFormat, ReadsTheCountThenExactlyThatManyItems) {
    const struct {
        const char *name;
        std::string content;
        Floats expected;
    } cases[] = {
        {"count 0", "0\n", {}},
        {"count 0, more after it", "0\n9.9\n", {}},
        {"an empty first line is a count of 0", "\n1\n", {}},
        {"five lines", "3\n0.5\n-0.25\n0.125\n9.9\n", {0.5f, -0.25f, 0.125f}},
        {"one line with commas", "3,0.5,-0.25,0.125,9.9", {0.5f, -0.25f, 0.125f}},
        {"no line end at the end", "3\n0.5\n-0.25\n0.125", {0.5f, -0.25f, 0.125f}},
        {"CR LF line ends", "3\r\n0.5\r\n-0.25\r\n0.125\r\n", {0.5f, -0.25f, 0.125f}},
        {"CR line ends", "3\r0.5\r-0.25\r0.125\r", {0.5f, -0.25f, 0.125f}},
        {"blanks around items", " 3 , 0.5 ,\t-0.25\t\n  0.125  ", {0.5f, -0.25f, 0.125f}},
        {"a blank line reads as 0", "4\n0.5\n\n0.125\n1\n", {0.5f, 0.0f, 0.125f, 1.0f}},
        {"a CR LF blank line reads as 0", "2\r\n\r\n7\r\n", {0.0f, 7.0f}},
        {"empty items between commas", "4\n1,,2,\n", {1.0f, 0.0f, 2.0f, 0.0f}},
        {"a comma before the end of the file", "3,0.5,-0.25,", {0.5f, -0.25f, 0.0f}},
        {"blanks-only item", "2\n  \n5", {0.0f, 5.0f}},
        {"byte-order mark", "\xEF\xBB\xBF" "2\n1\n2\n", {1.0f, 2.0f}},
        {"what follows is never read", "2\n1\n2\ngarbage,,\xFF\x00xyz", {1.0f, 2.0f}},
        {"count written as 2.0", "2.0\n1\n2", {1.0f, 2.0f}},
    };
    for (const auto &c : cases) {
        const CoefficientResult r = parseCoefficients(c.content);
        EXPECT_EQ(r.problem, CoefficientProblem::None) << c.name;
        EXPECT_EQ(r.count, static_cast<std::int32_t>(c.expected.size())) << c.name;
        EXPECT_EQ(r.coefficients, c.expected) << c.name;
    }
}

TEST(CoefficientFormat, BadFilesNameTheProblemAndItsLine) {
    const struct {
        const char *name;
        std::string content;
        CoefficientProblem problem;
        int line;
        std::string item;
    } cases[] = {
        {"empty file", "", CoefficientProblem::NoCount, 1, ""},
        {"count not a number", "abc\n1\n", CoefficientProblem::BadCount, 1, "abc"},
        {"negative count", "-1", CoefficientProblem::BadCount, 1, "-1"},
        {"fractional count", "2.5\n1\n2\n3", CoefficientProblem::BadCount, 1, "2.5"},
        {"count above the buffer", "4097", CoefficientProblem::BadCount, 1, "4097"},
        {"huge count", "1e9999", CoefficientProblem::BadCount, 1, "1e9999"},
        {"coefficient not a number", "3\n0.5\nx y\n0.125", CoefficientProblem::BadCoefficient, 3,
         "x y"},
        {"decimal comma splits items", "2\n0,5\n1,5\n", CoefficientProblem::None, 0, ""},
        {"coefficient too large", "2\n1e39\n0", CoefficientProblem::BadCoefficient, 2, "1e39"},
        {"bad item after commas", "3,1,nan", CoefficientProblem::BadCoefficient, 1, "nan"},
        {"ends before the count", "3\n0.5\n-0.25\n", CoefficientProblem::EndsEarly, 4, ""},
        {"ends early after a blank line", "2\n\n", CoefficientProblem::EndsEarly, 3, ""},
    };
    for (const auto &c : cases) {
        const CoefficientResult r = parseCoefficients(c.content);
        EXPECT_EQ(r.problem, c.problem) << c.name;
        if (c.problem == CoefficientProblem::None)
            continue;
        EXPECT_EQ(r.line, c.line) << c.name;
        EXPECT_EQ(r.item, c.item) << c.name;
    }
}

TEST(CoefficientFormat, TheWholeBufferFitsAndAnOverlongItemIsCutForDisplay) {
    std::string full = "4096\n";
    for (int i = 0; i < 4096; ++i)
        full += std::to_string(i) + "\n";
    const CoefficientResult r = parseCoefficients(full);
    ASSERT_EQ(r.problem, CoefficientProblem::None);
    ASSERT_EQ(r.coefficients.size(), 4096u);
    EXPECT_EQ(r.coefficients.back(), 4095.0f);

    const CoefficientResult overlong = parseCoefficients("1\n" + std::string(100000, '1'));
    EXPECT_EQ(overlong.problem, CoefficientProblem::BadCoefficient);
    EXPECT_LT(overlong.item.size(), 40u);
    EXPECT_EQ(overlong.item.substr(overlong.item.size() - 3), "...");
}

TEST(CoefficientFormat, ReadingStopsOnceTheCountIsMet) {
    CoefficientParser parser;
    parser.feed("2\n1\n");
    EXPECT_FALSE(parser.finished());
    parser.feed("2,");
    EXPECT_TRUE(parser.finished()) << "the comma ends the last needed item";
    parser.feed("not,a,number\n");
    EXPECT_EQ(parser.result().problem, CoefficientProblem::None);
    EXPECT_EQ(parser.result().coefficients, (Floats{1.0f, 2.0f}));
}

} // namespace
} // namespace quiro
