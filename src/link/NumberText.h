#pragma once
// Number rules shared by every window and the link: reading texts as numbers (lenient and
// strict), rounding to integers, and writing numbers as texts.

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velorin {

// Value of one hexadecimal digit (either case); -1 for any other character.
int hexDigit(char c);

// Splits a number given as text (lenient rule) into the high and low byte of a register:
// out[0] high, out[1] low. Up to 32767 the number is rounded to a signed 16-bit value (negatives
// give their two's complement), above it to a signed 32-bit value whose two low bytes are taken.
// Returns false on overflow (below -32768.5, or 2147483647.5 and above); `out` is then untouched.
[[nodiscard]] bool registerBytes(std::string_view text, std::span<std::uint8_t> out);

// Lenient rule: blanks, tabs and line feeds anywhere are skipped; a sign, digits, one "." and an
// exponent (E or D) are read as far as they form a number; "&H" reads hexadecimal (up to four
// digits a signed 16-bit value, five to eight a signed 32-bit one) and "&O" octal. Anything that
// does not begin with a number reads as 0. Empty when the number is too large to hold (1e400,
// more than eight hexadecimal digits): the caller refuses it rather than taking it for 0.
std::optional<double> lenientNumber(std::string_view text);

// Strict rule: the whole text, less leading and trailing blanks, must be one number written with
// the given decimal separator ("&H"/"&O" accepted). Any other text is a failure.
std::optional<double> strictNumber(std::string_view text, char decimalSeparator = '.');

// Rounds to the nearest integer, halves to the even neighbour; empty when the result lies outside
// [lo, hi] (the overflow error) or the value is not finite.
std::optional<std::int64_t> roundHalfEven(double value, std::int64_t lo, std::int64_t hi);

template <class T>
std::optional<T> roundTo(double value) {
    auto r = roundHalfEven(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
    if (!r)
        return std::nullopt;
    return static_cast<T>(*r);
}

// A number that could not be read stays a failure.
template <class T>
std::optional<T> roundTo(std::optional<double> value) {
    if (!value)
        return std::nullopt;
    return roundTo<T>(*value);
}

// Rounds toward minus infinity; empty on overflow.
template <class T>
std::optional<T> roundDown(double value);

// Plain form: no blank, up to 15 significant digits (496, -10, 1234.5, 1.5E+16).
std::string plainText(double value);

// The form some callers hand to the link: one blank before a non-negative number (" 496", "-10").
std::string blankText(double value);

// Formats with a pattern of the shape "0", "00", "0.0", "0.00", "0.000", "0.0000", "00.00",
// "000.00": at least as many integer digits as zeros before the point, exactly as many decimals
// as zeros after it, rounded half away from zero on the number's 15-digit decimal value.
std::string formatNumber(double value, std::string_view pattern, char decimalSeparator = '.');

}  // namespace velorin
