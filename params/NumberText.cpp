#include "params/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace quiro {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The number without its blanks and without a leading '+', which from_chars does not take;
// empty when the text is not a number.
std::string_view numberBody(std::string_view text) {
    text = trimBlanks(text);
    if (!isDecimalNumber(text))
        return {};
    if (text.front() == '+')
        text.remove_prefix(1);
    return text;
}

// Whether a number that from_chars found out of range lies above 1 in magnitude (too large) or
// below (too small). Counts the digits before the point and the exponent, saturating.
bool magnitudeAtLeastOne(std::string_view body) {
    std::size_t i = (body.front() == '-') ? 1 : 0;
    bool seenNonZero = false;
    long long intDigits = 0;
    long long leadingFractionZeros = 0;
    for (; i < body.size() && isDigit(body[i]); ++i) {
        if (seenNonZero || body[i] != '0') {
            seenNonZero = true;
            ++intDigits;
        }
    }
    if (i < body.size() && body[i] == '.') {
        for (++i; i < body.size() && isDigit(body[i]); ++i) {
            if (!seenNonZero && body[i] == '0')
                ++leadingFractionZeros;
            else
                seenNonZero = true;
        }
    }
    // Decimal order of the first non-zero digit.
    const long long order = intDigits > 0 ? intDigits - 1 : -1 - leadingFractionZeros;
    long long exponent = 0;
    if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
        ++i;
        const bool negative = body[i] == '-';
        if (body[i] == '+' || body[i] == '-')
            ++i;
        for (; i < body.size(); ++i)
            exponent = std::min(exponent * 10 + (body[i] - '0'), 1LL << 40);
        if (negative)
            exponent = -exponent;
    }
    return order + exponent >= 0;
}

// Reads a number known to be in the notation as a double; false when it is too large for one.
bool readDouble(std::string_view body, double &out) {
    double v = 0.0;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
    if (ec == std::errc() && end == body.data() + body.size()) {
        out = v;
        return true;
    }
    if (ec == std::errc::result_out_of_range && !magnitudeAtLeastOne(body)) {
        out = body.front() == '-' ? -0.0 : 0.0;
        return true;
    }
    return false;
}

LongValue checkedLong(double v, std::int32_t lowest, std::int32_t highest) {
    if (!(v >= lowest && v <= highest))
        return {NumberStatus::OutOfRange, 0};
    return {NumberStatus::Ok, static_cast<std::int32_t>(v)};
}

} // namespace

bool isDecimalNumber(std::string_view text) {
    text = trimBlanks(text);
    std::size_t i = 0;
    const auto digitsFrom = [&](std::size_t from) {
        std::size_t j = from;
        while (j < text.size() && isDigit(text[j]))
            ++j;
        return j - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t mantissaDigits = digitsFrom(i);
    i += mantissaDigits;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = digitsFrom(i + 1);
        i += 1 + fraction;
        mantissaDigits += fraction;
    }
    if (mantissaDigits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        const std::size_t exponentDigits = digitsFrom(i);
        if (exponentDigits == 0)
            return false;
        i += exponentDigits;
    }
    return i == text.size();
}

SingleValue toSingle(std::string_view text) {
    const std::string_view body = numberBody(text);
    if (body.empty())
        return {NumberStatus::NotANumber, 0.0f};
    // Straight to float, so that the result is the nearest single and not a double rounded twice.
    float v = 0.0f;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
    if (ec == std::errc() && end == body.data() + body.size() && std::isfinite(v))
        return {NumberStatus::Ok, v};
    if (ec == std::errc::result_out_of_range && !magnitudeAtLeastOne(body))
        return {NumberStatus::Ok, body.front() == '-' ? -0.0f : 0.0f};
    return {NumberStatus::OutOfRange, 0.0f};
}

LongValue toRoundedLong(std::string_view text, std::int32_t lowest, std::int32_t highest) {
    const std::string_view body = numberBody(text);
    if (body.empty())
        return {NumberStatus::NotANumber, 0};
    double v = 0.0;
    if (!readDouble(body, v))
        return {NumberStatus::OutOfRange, 0};
    // Nearest integer, ties to even, independent of the floating-point rounding mode.
    double whole = std::floor(v);
    const double fraction = v - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return checkedLong(whole, lowest, highest);
}

LongValue toWholeLong(std::string_view text, std::int32_t lowest, std::int32_t highest) {
    const std::string_view body = numberBody(text);
    if (body.empty())
        return {NumberStatus::NotANumber, 0};
    double v = 0.0;
    if (!readDouble(body, v) || v != std::floor(v))
        return {NumberStatus::OutOfRange, 0};
    return checkedLong(v, lowest, highest);
}

} // namespace quiro
