#pragma once
// Lines and words of the small text files ldplot reads besides the bounds file (the block file
// and the genetic map), read through the formats layer's scanner by ldplot's rules.

#include <cstddef>
#include <string>
#include <string_view>

#include "textscanner.hpp"

namespace ldplot {

// Splits a byte stream into lines. A line may be at most maxLength bytes long, so that a file
// without line breaks (/dev/zero) cannot fill memory.
class LineReader {
public:
    // read(into, room): up to room bytes of the stream, 0 at its end; throws on a read error.
    using Read = ldtools::StreamWindow::Read;
    static constexpr std::size_t kMaxLength = std::size_t{1} << 20;

    explicit LineReader(Read read);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // The next line without its line break, valid until the next call; false at the end of the
    // stream. A last line without a line break counts. Returns false with tooLong() set when a
    // line exceeds maxLength.
    bool next(std::string_view& line);
    // Number of the line next() returned last, or of the line too long (1 for the first).
    long number() const { return scanner_.line(); }
    bool tooLong() const { return tooLong_; }

private:
    ldtools::StreamWindow window_;
    ldtools::TextScanner<ldtools::StreamWindow> scanner_;
    bool tooLong_ = false;
};

// Throws the error for a line of a file that does not parse: "ldplot: NAME: line N: REASON".
[[noreturn]] void failAt(const std::string& name, long line, const std::string& reason);

// "line longer than 1048576 bytes": the reason for a line over ldplot's limit.
std::string lineTooLong();

// 1234567 as "1,234,567".
std::string withThousands(long long value);

}  // namespace ldplot
