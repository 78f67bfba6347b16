#include "numbers.hpp"

#include <charconv>
#include <cmath>
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
