#include "ParamsFuzz.h"

#include "coeffile/CoefficientParser.h"
#include "coeffile/NumberText.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

// A broken property prints itself and aborts.
#define REQUIRE(...)                                                                               \
    ((__VA_ARGS__) ? void()                                                                        \
                   : (std::fprintf(stderr, "fuzz property broken: %s\n", #__VA_ARGS__), std::abort()))

namespace quiro::fuzz {
namespace {

// The nearest integer (ties to even) of a number in the notation, found by moving the decimal
// point in the text itself; nothing for exponents of more than four digits or huge results.
std::optional<long long> roundedByShifting(std::string_view text, bool &whole) {
    text = text.substr(text.find_first_not_of(" \t"));
    text = text.substr(0, text.find_last_not_of(" \t") + 1);
    const bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+')
        text.remove_prefix(1);
    const std::size_t e = std::min(text.find_first_of("eE"), text.size());
    const std::string_view exponent = e < text.size() ? text.substr(e + 1) : "0";
    if (exponent.size() > 5)
        return std::nullopt;
    const std::string mantissa(text.substr(0, e));
    const std::size_t dot = std::min(mantissa.find('.'), mantissa.size());
    std::string digits = mantissa.substr(0, dot) + (dot < mantissa.size() ? mantissa.substr(dot + 1) : "");
    long long point = static_cast<long long>(dot) + std::atoll(std::string(exponent).c_str());
    if (point < 0) {
        digits.insert(0, static_cast<std::size_t>(-point), '0');
        point = 0;
    }
    if (static_cast<std::size_t>(point) > digits.size())
        digits.append(static_cast<std::size_t>(point) - digits.size(), '0');
    std::string integer = digits.substr(0, static_cast<std::size_t>(point));
    const std::string fraction = digits.substr(static_cast<std::size_t>(point));
    integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size()));
    if (integer.size() > 15)
        return std::nullopt;
    long long value = integer.empty() ? 0 : std::atoll(integer.c_str());
    const bool restNonZero = fraction.size() > 1 && fraction.find_first_not_of('0', 1) != std::string::npos;
    whole = fraction.find_first_not_of('0') == std::string::npos;
    if (!fraction.empty() && (fraction[0] > '5' || (fraction[0] == '5' && (restNonZero || value % 2 != 0))))
        ++value;
    return negative ? -value : value;
}

void checkNumbers(std::string_view text) {
    constexpr NumberStatus Ok = NumberStatus::Ok, NaN = NumberStatus::NotANumber;
    const bool number = isDecimalNumber(text);
    const SingleValue single = toSingle(text);
    const LongValue taps = toRoundedLong(text, 6, 4101), count = toWholeLong(text, 0, 4096);
    REQUIRE(number == (single.status != NaN) && number == (taps.status != NaN) &&
            number == (count.status != NaN));
    REQUIRE(single.status != Ok || std::isfinite(single.value));
    REQUIRE(taps.status != Ok || (taps.value >= 6 && taps.value <= 4101));
    // The tap count is the nearest integer.
    REQUIRE(taps.status != Ok || single.status != Ok || std::fabs(single.value) >= 1e6f ||
            std::fabs(static_cast<double>(single.value) - taps.value) <= 0.5 + 1e-3);
    REQUIRE(count.status != Ok || (count.value >= 0 && count.value <= 4096));
    REQUIRE(count.status != Ok || taps.status != Ok || taps.value == count.value);
    // Both integers agree with the decimal text itself, not with a double rounded from it.
    bool whole = false;
    if (const auto rounded = number ? roundedByShifting(text, whole) : std::nullopt) {
        const bool inTaps = *rounded >= 6 && *rounded <= 4101, inCount = *rounded >= 0 && *rounded <= 4096;
        REQUIRE((taps.status == Ok) == inTaps && (!inTaps || taps.value == *rounded));
        REQUIRE((count.status == Ok) == (whole && inCount) && (count.status != Ok || count.value == *rounded));
    }
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

void runOne(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    checkNumbers(text);
    checkNumbers(text.substr(0, text.find_first_of(",\n")));
    checkFile(text, size == 0 ? 1 : 1 + data[0] % 7);
}

} // namespace quiro::fuzz
