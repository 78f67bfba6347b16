#include "numbers.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace ldtools {
namespace {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipDigits(const char* p, const char* end, std::size_t& count) {
    while (p != end && isDigit(*p)) {
        ++p;
        ++count;
    }
    return p;
}

// The words of bounds files are short plain decimals ("0.35", "1", "-0.5"): with at most 15
// digits, no exponent and a point anywhere, the digits form a whole number below 2^53 and the
// point a power of ten up to 10^15, both exact doubles. Their quotient, correctly rounded, is then
// the double nearest the decimal, which is what the general conversion returns: the same bits,
// without its cost. False, with value untouched, for any other text.
bool plainDecimal(std::string_view text, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::size_t k = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) k = 1;
    std::uint64_t digits = 0;
    std::size_t count = 0;
    std::size_t decimals = 0;
    bool point = false;
    for (; k < text.size(); ++k) {
        const char c = text[k];
        if (isDigit(c)) {
            if (++count > 15) return false;
            digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
            decimals += point ? 1 : 0;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (count == 0) return false;
    const double magnitude = static_cast<double>(digits) / kPowersOfTen[decimals];
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

WholeNumber parseInt32(std::string_view text, std::int32_t& value) {
    std::size_t i = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    const bool negative = i == 1 && text[0] == '-';
    if (i == text.size()) return WholeNumber::notWhole;
    constexpr long long kLimit = 2147483648LL;  // the magnitude of the smallest int32
    long long magnitude = 0;
    bool tooLarge = false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return WholeNumber::notWhole;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) {
            tooLarge = true;
            magnitude = kLimit;
        }
    }
    if (tooLarge || magnitude > (negative ? kLimit : kLimit - 1)) return WholeNumber::outOfRange;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return WholeNumber::ok;
}

bool parseDecimal(std::string_view text, double& value) {
    if (plainDecimal(text, value)) return true;
    const char* p = text.data();
    const char* end = p + text.size();
    const char* number = p;  // from_chars takes a '-' but not a '+'
    if (p != end && (*p == '+' || *p == '-')) {
        if (*p == '+') number = p + 1;
        ++p;
    }
    std::size_t mantissaDigits = 0;
    p = skipDigits(p, end, mantissaDigits);
    if (p != end && *p == '.') p = skipDigits(p + 1, end, mantissaDigits);
    if (mantissaDigits == 0) return false;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p != end && (*p == '+' || *p == '-')) ++p;
        std::size_t exponentDigits = 0;
        p = skipDigits(p, end, exponentDigits);
        if (exponentDigits == 0) return false;
    }
    if (p != end) return false;

    auto [last, ec] = std::from_chars(number, end, value, std::chars_format::general);
    if (ec == std::errc() && last == end) return true;
    if (ec != std::errc::result_out_of_range) return false;
    // Underflow gives strtod's tiny or zero value, which is a number; overflow is not finite.
    const std::string copy(number, end);
    const double converted = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(converted)) return false;
    value = converted;
    return true;
}

}  // namespace ldtools
