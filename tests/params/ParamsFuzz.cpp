#include "ParamsFuzz.h"

#include "params/CoefficientParser.h"
#include "params/NumberText.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace quiro::fuzz {

namespace {

void require(bool holds, const char *what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz property broken: %s\n", what);
        std::abort();
    }
}

void checkNumbers(std::string_view text) {
    const bool number = isDecimalNumber(text);
    const SingleValue single = toSingle(text);
    const LongValue taps = toRoundedLong(text, 6, 4101);
    const LongValue count = toWholeLong(text, 0, 4096);
    require(number == (single.status != NumberStatus::NotANumber), "single agrees on notation");
    require(number == (taps.status != NumberStatus::NotANumber), "rounding agrees on notation");
    require(number == (count.status != NumberStatus::NotANumber), "count agrees on notation");
    if (single.status == NumberStatus::Ok)
        require(std::isfinite(single.value), "a converted single is finite");
    if (taps.status == NumberStatus::Ok) {
        require(taps.value >= 6 && taps.value <= 4101, "tap count within its bounds");
        if (single.status == NumberStatus::Ok && std::fabs(single.value) < 1e6f)
            require(std::fabs(static_cast<double>(single.value) - taps.value) <= 0.5 + 1e-3,
                    "tap count is the nearest integer");
    }
    if (count.status == NumberStatus::Ok) {
        require(count.value >= 0 && count.value <= 4096, "count within its bounds");
        require(taps.status != NumberStatus::Ok || taps.value == count.value,
                "a whole number rounds to itself");
    }
}

bool sameResult(const CoefficientResult &a, const CoefficientResult &b) {
    if (a.problem != b.problem || a.line != b.line || a.item != b.item || a.count != b.count ||
        a.coefficients.size() != b.coefficients.size())
        return false;
    for (std::size_t i = 0; i < a.coefficients.size(); ++i)
        if (std::bit_cast<std::uint32_t>(a.coefficients[i]) !=
            std::bit_cast<std::uint32_t>(b.coefficients[i]))
            return false;
    return true;
}

void checkFile(std::string_view content, std::size_t piece) {
    const CoefficientResult whole = parseCoefficients(content);
    if (whole.problem == CoefficientProblem::None) {
        require(whole.count >= 0 && whole.count <= MaxCoefficients, "count within the buffer");
        require(whole.coefficients.size() == static_cast<std::size_t>(whole.count),
                "exactly the count's coefficients");
        for (float c : whole.coefficients)
            require(std::isfinite(c), "coefficients are finite");
    } else {
        require(whole.line >= 1, "a problem has a line");
        require(whole.item.size() <= 40, "the shown item is short");
    }
    CoefficientParser parser;
    for (std::size_t at = 0; at < content.size() && !parser.finished(); at += piece)
        parser.feed(content.substr(at, piece));
    if (!parser.finished())
        parser.finish();
    require(sameResult(whole, parser.result()), "pieces give the same result as the whole");
}

} // namespace

void runOne(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    checkNumbers(text);
    checkNumbers(text.substr(0, text.find_first_of(",\n")));
    checkFile(text, size == 0 ? 1 : 1 + data[0] % 7);
}

} // namespace quiro::fuzz
