#pragma once
// Whole numbers as the tool-chain's files write them.

#include <cstdint>
#include <string_view>

namespace ldtools {

enum class WholeNumber { ok, notWhole, outOfRange };

// An optional sign and one or more decimal digits, nothing else, within the signed 32-bit
// range. value is set only when the result is ok.
WholeNumber parseInt32(std::string_view text, std::int32_t& value);

}  // namespace ldtools
