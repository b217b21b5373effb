#pragma once
// Numbers as the operator writes them in the parameter fields and in coefficient files: the C
// locale's decimal notation, whatever the user's locale. A number is an optional sign, digits
// with an optional fraction (or a fraction alone), and an optional exponent; blanks (spaces and
// tabs) around it are allowed. Nothing else is a number: no hexadecimal, no "inf" or "nan", no
// thousands separators, no decimal comma, no full-width digits.

#include <cstdint>
#include <string_view>

namespace quiro {

enum class NumberStatus {
    Ok,
    NotANumber, // the text is not in the notation above
    OutOfRange, // a number, but outside what the target type or the caller accepts
};

struct SingleValue {
    NumberStatus status = NumberStatus::NotANumber;
    float value = 0.0f;
};

struct DoubleValue {
    NumberStatus status = NumberStatus::NotANumber;
    double value = 0.0;
};

struct LongValue {
    NumberStatus status = NumberStatus::NotANumber;
    std::int32_t value = 0;
};

// True when `text` is a number in the notation above.
bool isDecimalNumber(std::string_view text);

// The nearest single-precision value. A number too large for a single is OutOfRange; one too
// small to tell from zero gives a zero of its sign.
SingleValue toSingle(std::string_view text);

// The nearest double-precision value, with the same rules as toSingle.
DoubleValue toDouble(std::string_view text);

// The nearest integer, halves going to the even neighbour (255.5 and 256.5 give 256), which must
// lie in [lowest, highest]; otherwise OutOfRange. The decimal text itself is rounded, once:
// "256.50000000000001" gives 257.
LongValue toRoundedLong(std::string_view text, std::int32_t lowest, std::int32_t highest);

// A whole number (no fractional part, "3.0" and "3e0" included) in [lowest, highest]; a number
// with a fraction, however small ("3.0000000000000001"), or one outside the bounds, is OutOfRange.
LongValue toWholeLong(std::string_view text, std::int32_t lowest, std::int32_t highest);

} // namespace quiro
