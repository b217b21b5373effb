#pragma once
// The coefficient-file format, read as a stream of bytes.
//
// Items are separated by commas or line ends (LF, CR LF or CR). Blanks (spaces, tabs) around an
// item are ignored, and an empty item (nothing between two commas, a blank line) reads as 0. Item
// 1 is the coefficient count N, a whole number from 0 to the reader's maximum (MaxCoefficients for
// the D filter); items 2 to N+1 are the coefficients, each a number in the C locale's notation
// rounded to the nearest value of the reader's type (single or double), whatever the locale. Whatever
// follows them is never looked at. A UTF-8 byte-order mark at the very start is skipped, since
// common Windows editors write one.
//
// The parser takes the bytes in pieces of any size, so the caller can stop reading a file as soon
// as finished() is true: a file is read only as far as its count needs, and an item longer than
// any number ends the reading at once.

#include "contract/BoardContract.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quiro {

enum class CoefficientProblem {
    None,
    NoCount,         // the file holds no item at all
    BadCount,        // the count is not a whole number from 0 to the maximum
    BadCoefficient,  // a coefficient is not a number, or too large for the value type
    EndsEarly,       // the file ends before the count's coefficients
};

template <typename Value>
struct BasicCoefficientResult {
    CoefficientProblem problem = CoefficientProblem::None;
    int line = 0;          // 1-based line of the offending item (BadCount, BadCoefficient)
    std::string item;      // the offending item, blanks removed, cut to a displayable length
    std::int32_t count = -1; // the count, once read
    std::vector<Value> coefficients;
};

// Value is float or double.
template <typename Value>
class BasicCoefficientParser {
public:
    explicit BasicCoefficientParser(std::int32_t maxCount = MaxCoefficients) : maxCount_(maxCount) {}

    // Takes the next bytes of the file; ignored once finished.
    void feed(std::string_view bytes);
    // The file has ended.
    void finish();
    // True once all the count's coefficients are in or a problem was found.
    bool finished() const { return finished_; }
    const BasicCoefficientResult<Value> &result() const { return result_; }

    // Items longer than this (without their blanks) are not numbers.
    static constexpr std::size_t MaxItemLength = 256;

private:
    void take(char c);
    void endItem();
    void fail(CoefficientProblem problem, bool overlong = false);

    std::int32_t maxCount_;
    BasicCoefficientResult<Value> result_;
    bool finished_ = false;
    std::size_t bomMatched_ = 0; // bytes of the byte-order mark seen so far
    bool bomDone_ = false;
    bool afterCR_ = false;   // the previous byte was CR: an LF now belongs to the same line end
    bool lineOpen_ = false;  // something (a byte or a comma) since the last line end
    std::string item_;       // the current item, without leading blanks
    std::size_t pendingBlanks_ = 0; // blanks after the current item's last non-blank
    int line_ = 1;
    int itemLine_ = 1;
};

extern template class BasicCoefficientParser<float>;
extern template class BasicCoefficientParser<double>;

using CoefficientResult = BasicCoefficientResult<float>;
using CoefficientParser = BasicCoefficientParser<float>;

// The whole content of a file at once.
template <typename Value = float>
BasicCoefficientResult<Value> parseCoefficients(std::string_view content,
                                                std::int32_t maxCount = MaxCoefficients) {
    BasicCoefficientParser<Value> parser(maxCount);
    parser.feed(content);
    if (!parser.finished())
        parser.finish();
    return parser.result();
}

// The problem in English, for logs and the board's refusals: "the count must be ...", "the file
// ends after 2 of 3 coefficients"; empty when there is none.
std::string describeProblem(CoefficientProblem problem, const std::string &item, std::int32_t count,
                            std::size_t read, std::int32_t maxCount);
template <typename Value>
std::string describeProblem(const BasicCoefficientResult<Value> &r, std::int32_t maxCount) {
    return describeProblem(r.problem, r.item, r.count, r.coefficients.size(), maxCount);
}

} // namespace quiro
