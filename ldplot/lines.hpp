#pragma once
// Lines and words of the small text files ldplot reads besides the bounds file (the block file
// and the genetic map).

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ldplot {

// Splits a byte stream into lines. A line may be at most maxLength bytes long, so that a file
// without line breaks (/dev/zero) cannot fill memory.
class LineReader {
public:
    // read(into, room): up to room bytes of the stream, 0 at its end; throws on a read error.
    using Read = std::function<std::size_t(char* into, std::size_t room)>;
    static constexpr std::size_t maxLength = std::size_t{1} << 20;

    explicit LineReader(Read read) : read_(std::move(read)), buffer_(std::size_t{1} << 16) {}

    // The next line without its line break; false at the end of the stream. A last line without
    // a line break counts. Returns false with tooLong() set when a line exceeds maxLength.
    bool next(std::string& line);
    // Number of the line next() returned last (1 for the first).
    long number() const { return number_; }
    bool tooLong() const { return tooLong_; }

private:
    Read read_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool tooLong_ = false;
    long number_ = 0;
};

// Throws the error for a line of a file that does not parse: "ldplot: NAME: line N: REASON".
[[noreturn]] void failAt(const std::string& name, long line, const std::string& reason);

// The runs of characters other than white space (space, tab, CR, ...) of a line.
std::vector<std::string_view> splitWords(std::string_view line);

// 1234567 as "1,234,567".
std::string withThousands(long long value);

}  // namespace ldplot
