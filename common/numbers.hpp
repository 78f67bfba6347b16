#pragma once
// Numbers as the tool-chain's files write them.

#include <cstdint>
#include <string_view>

namespace ldtools {

enum class WholeNumber { ok, notWhole, outOfRange };

// An optional sign and one or more decimal digits, nothing else, within the signed 32-bit
// range. value is set only when the result is ok.
WholeNumber parseInt32(std::string_view text, std::int32_t& value);

// A finite decimal number: an optional sign, digits with an optional point (at least one digit),
// and an optional exponent (e or E, an optional sign, digits); nothing else, no "inf", "nan" or
// hexadecimal form. The value is the one strtod gives for the same text (an underflow gives its tiny
// or zero value). value is set only when the result is true.
bool parseDecimal(std::string_view text, double& value);

}  // namespace ldtools
