#pragma once
// The lines of the list files (the sample files of -S and -F, a -k list of positions). A line may
// hold at most kLongestListLine bytes, so that a file without line breaks (/dev/zero) is refused
// long before it fills the memory.

#include <cstddef>
#include <cstdio>
#include <string>

#include "error.hpp"

namespace vcf2markers {

inline constexpr std::size_t kLongestListLine = std::size_t{1} << 20;

enum class ListLine { line, end, tooLong };

// Reads the next line from nextByte() (a byte, or EOF at the end of the file) into line, without
// its line break; a last line without a line break counts.
template <typename NextByte>
ListLine readListLine(NextByte&& nextByte, std::string& line) {
    line.clear();
    for (;;) {
        const int c = nextByte();
        if (c == EOF) return line.empty() ? ListLine::end : ListLine::line;
        if (c == '\n') return ListLine::line;
        if (line.size() == kLongestListLine) return ListLine::tooLong;
        line.push_back(static_cast<char>(c));
    }
}

// The error for a line above the limit; file is the name with its option ("chip.txt (-k)").
[[noreturn]] inline void failLongLine(const std::string& file, long number) {
    throw ldtools::Error("vcf2markers: " + file + ", line " + std::to_string(number) + ": line longer than " +
                         std::to_string(kLongestListLine) + " bytes\n");
}

}  // namespace vcf2markers
