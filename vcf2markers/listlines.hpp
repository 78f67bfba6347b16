#pragma once
// The lines of the list files (the sample files of -S and -F, a -k list of positions). A line may
// hold at most kLongestListLine bytes, so that a file without line breaks (/dev/zero) is refused
// long before it fills the memory.

#include <cstddef>
#include <string>

#include "error.hpp"
#include "textscanner.hpp"

namespace vcf2markers {

inline constexpr std::size_t kLongestListLine = std::size_t{1} << 20;

// How the list files are scanned: line by line, each line at most kLongestListLine bytes.
inline constexpr ldtools::TextRules kListRules{.maxLine = kLongestListLine};

// The error for a line above the limit; file is the name with its option ("chip.txt (-k)").
[[noreturn]] inline void failLongLine(const std::string& file, long number) {
    throw ldtools::Error("vcf2markers: " + file + ", line " + std::to_string(number) + ": line longer than " +
                         std::to_string(kLongestListLine) + " bytes\n");
}

}  // namespace vcf2markers
