#include "coeffile/NumberText.h"

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

// A number in the notation as its significant digits and the position of the decimal point:
// value = sign 0.digits x 10^point. Leading zeros are dropped; no digits means zero.
struct Decimal {
    bool negative = false;
    std::string_view intDigits, fractionDigits; // as written, before dropping leading zeros
    long long point = 0;
    std::size_t skipped = 0; // leading zeros dropped from intDigits + fractionDigits

    char digit(std::size_t i) const { // i-th significant digit, '0' past the end
        i += skipped;
        if (i < intDigits.size())
            return intDigits[i];
        i -= intDigits.size();
        return i < fractionDigits.size() ? fractionDigits[i] : '0';
    }
    std::size_t size() const { return intDigits.size() + fractionDigits.size() - skipped; }
    bool zero() const { return size() == 0; }
    // True when a significant digit from index i on is not zero.
    bool nonZeroFrom(std::size_t i) const {
        for (; i < size(); ++i)
            if (digit(i) != '0')
                return true;
        return false;
    }
};

// The exponent saturates far beyond any representable magnitude.
constexpr long long ExponentLimit = 1LL << 40;

Decimal decompose(std::string_view body) {
    Decimal d;
    std::size_t i = 0;
    if (body[i] == '-' || body[i] == '+')
        d.negative = body[i++] == '-';
    const std::size_t intStart = i;
    while (i < body.size() && isDigit(body[i]))
        ++i;
    d.intDigits = body.substr(intStart, i - intStart);
    if (i < body.size() && body[i] == '.') {
        const std::size_t fractionStart = ++i;
        while (i < body.size() && isDigit(body[i]))
            ++i;
        d.fractionDigits = body.substr(fractionStart, i - fractionStart);
    }
    long long exponent = 0;
    if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
        ++i;
        const bool negative = body[i] == '-';
        if (body[i] == '+' || body[i] == '-')
            ++i;
        for (; i < body.size(); ++i)
            exponent = std::min(exponent * 10 + (body[i] - '0'), ExponentLimit);
        if (negative)
            exponent = -exponent;
    }
    const std::size_t all = d.intDigits.size() + d.fractionDigits.size();
    while (d.skipped < all && d.digit(0) == '0')
        ++d.skipped;
    d.point = static_cast<long long>(d.intDigits.size()) - static_cast<long long>(d.skipped) + exponent;
    return d;
}

// Whether a number that from_chars found out of range lies above 1 in magnitude (too large) or
// below (too small).
bool magnitudeAtLeastOne(std::string_view body) {
    const Decimal d = decompose(body);
    return !d.zero() && d.point >= 1;
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

// The integer part of |d| and whether a fraction follows; nothing when it has more than ten digits.
struct IntegerPart {
    bool fits = false;
    long long magnitude = 0;
};

IntegerPart integerPart(const Decimal &d) {
    if (d.zero() || d.point <= 0)
        return {true, 0};
    if (d.point > 10)
        return {};
    long long m = 0;
    for (long long i = 0; i < d.point; ++i)
        m = m * 10 + (d.digit(static_cast<std::size_t>(i)) - '0');
    return {true, m};
}

LongValue checkedLong(bool negative, long long magnitude, std::int32_t lowest, std::int32_t highest) {
    const long long v = negative ? -magnitude : magnitude;
    if (v < lowest || v > highest)
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

DoubleValue toDouble(std::string_view text) {
    const std::string_view body = numberBody(text);
    if (body.empty())
        return {NumberStatus::NotANumber, 0.0};
    double v = 0.0;
    if (!readDouble(body, v) || !std::isfinite(v))
        return {NumberStatus::OutOfRange, 0.0};
    return {NumberStatus::Ok, v};
}

LongValue toRoundedLong(std::string_view text, std::int32_t lowest, std::int32_t highest) {
    const std::string_view body = numberBody(text);
    if (body.empty())
        return {NumberStatus::NotANumber, 0};
    // Nearest integer of the decimal digits themselves, ties to even: no binary rounding first.
    const Decimal d = decompose(body);
    IntegerPart whole = integerPart(d);
    if (!whole.fits)
        return {NumberStatus::OutOfRange, 0};
    if (!d.zero() && d.point >= 0) {
        const auto first = static_cast<std::size_t>(d.point); // first digit after the point
        const char next = d.digit(first);
        if (next > '5' || (next == '5' && (d.nonZeroFrom(first + 1) || whole.magnitude % 2 != 0)))
            ++whole.magnitude;
    }
    return checkedLong(d.negative, whole.magnitude, lowest, highest);
}

LongValue toWholeLong(std::string_view text, std::int32_t lowest, std::int32_t highest) {
    const std::string_view body = numberBody(text);
    if (body.empty())
        return {NumberStatus::NotANumber, 0};
    const Decimal d = decompose(body);
    const IntegerPart whole = integerPart(d);
    const bool fraction = !d.zero() && (d.point < 0 || d.nonZeroFrom(static_cast<std::size_t>(d.point)));
    if (!whole.fits || fraction)
        return {NumberStatus::OutOfRange, 0};
    return checkedLong(d.negative, whole.magnitude, lowest, highest);
}

} // namespace quiro
