#pragma once
// ldtile reads bounds files through the formats layer (boundsformat.hpp); these are the names its
// code, tests, benchmarks and fuzz harnesses use for it.

#include "boundsformat.hpp"
#include "numbers.hpp"

#include <cstddef>
#include <string_view>

namespace ldtile {

using ldtools::BoundsFileError;
using ldtools::BoundsRecord;
using ldtools::parsePosition;

// One word of a bounds file as a bound: a finite decimal number.
inline bool parseBound(std::string_view word, double& value) {
    return ldtools::parseDecimal(word, value);
}

class BoundsFileReader : public ldtools::BoundsReader {
public:
    using ldtools::BoundsReader::BoundsReader;
    static constexpr std::size_t maxWordLength = kMaxWordLength;
};

}  // namespace ldtile
