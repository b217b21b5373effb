// One input through the number conversions and the coefficient-file reader, for libFuzzer.

#include "coeffile/CoefficientParser.h"
#include "coeffile/NumberText.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken property prints itself and aborts.
#define REQUIRE(...)                                                                               \
    ((__VA_ARGS__) ? void()                                                                        \
                   : (std::fprintf(stderr, "fuzz property broken: %s\n", #__VA_ARGS__), std::abort()))

namespace quiro::fuzz {
namespace {

void checkNumbers(std::string_view text) {
    constexpr NumberStatus Ok = NumberStatus::Ok, NaN = NumberStatus::NotANumber;
    const bool number = isDecimalNumber(text);
    const SingleValue single = toSingle(text);
    const LongValue taps = toRoundedLong(text, 6, 4101), count = toWholeLong(text, 0, 4096);
    REQUIRE(number == (single.status != NaN) && number == (taps.status != NaN) &&
            number == (count.status != NaN));
    REQUIRE(single.status != Ok || std::isfinite(single.value));
    REQUIRE(taps.status != Ok || (taps.value >= 6 && taps.value <= 4101));
    // The tap count is the nearest integer, and a whole count is the same number.
    REQUIRE(taps.status != Ok || single.status != Ok || std::fabs(single.value) >= 1e6f ||
            std::fabs(static_cast<double>(single.value) - taps.value) <= 0.5 + 1e-3);
    REQUIRE(count.status != Ok || (count.value >= 0 && count.value <= 4096));
    REQUIRE(count.status != Ok || taps.status != Ok || taps.value == count.value);
}

void checkFile(std::string_view content, std::size_t piece) {
    const CoefficientResult whole = parseCoefficients(content);
    const std::vector<float> &c = whole.coefficients;
    if (whole.problem == CoefficientProblem::None)
        REQUIRE(whole.count >= 0 && whole.count <= MaxCoefficients &&
                c.size() == static_cast<std::size_t>(whole.count) &&
                std::ranges::all_of(c, [](float v) { return std::isfinite(v); }));
    else
        REQUIRE(whole.line >= 1 && whole.item.size() <= 40);
    // The same bytes fed in pieces, stopping once the parser has what it needs, read alike.
    CoefficientParser parser;
    for (std::size_t at = 0; at < content.size() && !parser.finished(); at += piece)
        parser.feed(content.substr(at, piece));
    if (!parser.finished())
        parser.finish();
    const CoefficientResult &fed = parser.result();
    const auto bits = [](float v) { return std::bit_cast<std::uint32_t>(v); };
    REQUIRE(whole.problem == fed.problem && whole.line == fed.line && whole.item == fed.item &&
            whole.count == fed.count && std::ranges::equal(c, fed.coefficients, {}, bits, bits));
}

} // namespace
} // namespace quiro::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace quiro::fuzz;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    checkNumbers(text);
    checkNumbers(text.substr(0, text.find_first_of(",\n")));
    checkFile(text, size == 0 ? 1 : 1 + data[0] % 7);
    return 0;
}
