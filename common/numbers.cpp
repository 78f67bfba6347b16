#include "numbers.hpp"

namespace ldtools {

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

}  // namespace ldtools
