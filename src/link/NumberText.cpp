#include "NumberText.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velorin {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// Reads the digits of an "&H" or "&O" text (prefix already removed). Up to 16 bits of value are
// a signed 16-bit number ("&HFFFF" is -1); more digits give a signed 32-bit number.
std::optional<double> radixNumber(std::string_view digits, int radix, bool whole) {
    const std::size_t maxDigits = radix == 16 ? 8 : 11;
    std::uint64_t v = 0;
    std::size_t n = 0;
    for (char c : digits) {
        int d = hexDigit(c);
        if (d < 0 || d >= radix)
            break;
        v = v * radix + d;
        ++n;
    }
    if (whole && n != digits.size())
        return std::nullopt;
    if (n == 0)
        return whole ? std::nullopt : std::optional<double>(0.0);
    if (n > maxDigits || v > 0xFFFFFFFFull)
        return std::nullopt;
    const bool sixteenBit = radix == 16 ? n <= 4 : v <= 0xFFFF;
    if (sixteenBit)
        return static_cast<double>(static_cast<std::int16_t>(v));
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

// Length of the longest prefix of s that forms a decimal number: sign, digits, one separator,
// exponent introduced by E or D (lenient) or E only (strict).
std::size_t decimalPrefix(std::string_view s, char sep, bool allowD, std::string& normalized) {
    std::size_t i = 0;
    normalized.clear();
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        normalized += s[i++];
    std::size_t mantissaDigits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        normalized += s[i++];
        ++mantissaDigits;
    }
    if (i < s.size() && s[i] == sep) {
        normalized += '.';
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            normalized += s[i++];
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) {
        normalized.clear();
        return 0;
    }
    std::size_t end = i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || (allowD && (s[i] == 'd' || s[i] == 'D')))) {
        std::size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exp += s[j++];
        std::size_t expDigits = 0;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exp += s[j++];
            ++expDigits;
        }
        if (expDigits > 0) {
            normalized += exp;
            end = j;
        }
    }
    return end;
}

double parseNormalized(const std::string& normalized) {
    return std::strtod(normalized.c_str(), nullptr);  // digits, "." and "e" only: locale-proof
}

}  // namespace

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool registerBytes(std::string_view text, std::span<std::uint8_t> out) {
    const auto number = lenientNumber(text);
    if (!number)
        return false;
    const double v = *number;
    if (v <= 32767) {
        auto w = roundTo<std::int16_t>(v);
        if (!w)
            return false;
        // floor(w / 256) AND 255 makes the two's complement high byte of a negative value.
        out[0] = static_cast<std::uint8_t>(static_cast<int>(std::floor(*w / 256.0)) & 255);
        out[1] = static_cast<std::uint8_t>(*w & 255);
    } else {
        auto w = roundTo<std::int32_t>(v);
        if (!w)
            return false;
        out[0] = static_cast<std::uint8_t>((*w / 256) & 255);
        out[1] = static_cast<std::uint8_t>(*w & 255);
    }
    return true;
}

std::optional<double> lenientNumber(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (!isBlank(c))
            s += c;
    if (s.size() >= 2 && s[0] == '&' &&
        (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const int radix = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
        return radixNumber(std::string_view(s).substr(2), radix, false);
    }
    std::string normalized;
    if (decimalPrefix(s, '.', true, normalized) == 0)
        return 0.0;
    const double v = parseNormalized(normalized);
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<double> strictNumber(std::string_view text, char decimalSeparator) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;
    if (text.size() >= 2 && text[0] == '&' &&
        (text[1] == 'H' || text[1] == 'h' || text[1] == 'O' || text[1] == 'o')) {
        const int radix = (text[1] == 'H' || text[1] == 'h') ? 16 : 8;
        return radixNumber(text.substr(2), radix, true);
    }
    std::string normalized;
    if (decimalPrefix(text, decimalSeparator, false, normalized) != text.size())
        return std::nullopt;
    double v = parseNormalized(normalized);
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<std::int64_t> roundHalfEven(double value, std::int64_t lo, std::int64_t hi) {
    if (!std::isfinite(value))
        return std::nullopt;
    double r = std::nearbyint(value);  // the default rounding mode: to nearest, ties to even
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi))
        return std::nullopt;
    return static_cast<std::int64_t>(r);
}

template <class T>
std::optional<T> roundDown(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    double r = std::floor(value);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(r);
}
template std::optional<std::int16_t> roundDown<std::int16_t>(double);
template std::optional<std::int32_t> roundDown<std::int32_t>(double);

std::string plainText(double value) {
    if (value == 0)
        return "0";
    char buf[64];
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        std::snprintf(buf, sizeof buf, "%.0f", value);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%.15G", value);
    std::string s = buf;
    // %G keeps no trailing zeros in the mantissa; the exponent needs no zero padding.
    auto e = s.find('E');
    if (e != std::string::npos) {
        std::string mant = s.substr(0, e), exp = s.substr(e + 1);
        char sign = exp[0];
        std::string digits = exp.substr(1);
        while (digits.size() > 2 && digits[0] == '0') digits.erase(0, 1);
        s = mant + "E" + sign + digits;
    }
    return s;
}

std::string blankText(double value) {
    std::string s = plainText(value);
    return s[0] == '-' ? s : " " + s;
}

std::string formatNumber(double value, std::string_view pattern, char decimalSeparator) {
    const auto point = pattern.find('.');
    const int intDigits =
        static_cast<int>(point == std::string_view::npos ? pattern.size() : point);
    const int decimals =
        point == std::string_view::npos ? 0 : static_cast<int>(pattern.size() - point - 1);

    // The number's 15 significant decimal digits, rounded half away from zero to `decimals`.
    std::string digits;  // all digits of the rounded magnitude, the last `decimals` being decimals
    bool negative = value < 0;
    if (std::isfinite(value) && value != 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
        std::string mant;
        for (const char* p = buf; *p && *p != 'e'; ++p)
            if (*p != '.')
                mant += *p;
        int exp10 = std::atoi(std::strchr(buf, 'e') + 1);
        // value = 0.mant × 10^(exp10 + 1); keep exp10 + 1 + decimals digits.
        int keep = exp10 + 1 + decimals;
        if (keep >= static_cast<int>(mant.size())) {
            digits = mant + std::string(keep - mant.size(), '0');
        } else if (keep >= 0) {
            bool up = mant[keep] >= '5';
            digits = mant.substr(0, keep);
            if (up) {
                int i = keep - 1;
                while (i >= 0 && digits[i] == '9') digits[i--] = '0';
                if (i >= 0)
                    ++digits[i];
                else
                    digits.insert(digits.begin(), '1');
            }
        }
    }
    if (digits.find_first_not_of('0') == std::string::npos) {
        digits.clear();
        negative = false;
    }
    const int minLen = intDigits + decimals;
    if (static_cast<int>(digits.size()) < minLen)
        digits.insert(0, minLen - digits.size(), '0');
    std::string out = negative ? "-" : "";
    out += digits.substr(0, digits.size() - decimals);
    if (decimals > 0) {
        out += decimalSeparator;
        out += digits.substr(digits.size() - decimals);
    }
    return out;
}

}  // namespace velorin
