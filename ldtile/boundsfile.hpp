#pragma once
// Reading the records of an LD bounds file: four white-space-separated numbers each
// (first position, second position, lower bound, upper bound), in ascending order of
// (first position, second position).
//
// The reader is a library of its own (target ldtilebounds) so that every program that reads
// bounds files reads them by the same rules. Its errors carry the reason without a program name;
// each program's main puts its own name in front ("ldtile: ").

#include "reader.hpp"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ldtile {

struct BoundsRecord {
    int32_t first = 0;
    int32_t second = 0;
    double lower = 0.0;
    double upper = 0.0;
};

// A bounds file that cannot be read, or holds anything but ordered records. what() is the reason,
// without a program name and without a line break, e.g.
//   "cannot open bounds file b.txt: No such file or directory"
//   "b.txt: line 3: expected four numbers: first position, second position, lower bound, upper bound"
//   "b.txt: line 7: records are not in order of position"
class BoundsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One word of a bounds file as a position: an optional sign and decimal digits, within 32 bits.
bool parsePosition(std::string_view word, int32_t& value);
// One word as a bound: a finite decimal number (optional sign, digits with an optional point
// and exponent). The value is the one strtod gives for the same text.
bool parseBound(std::string_view word, double& value);

// Reads the records of a bounds file one after the other, from a file, a pipe or a device, each
// opened once. Every problem with the file is thrown as a BoundsFileError.
class BoundsFileReader {
public:
    // A word (a run of characters other than white space) may be at most this long; a longer one
    // is an error of its line, so that a file without white space (/dev/zero) cannot fill memory.
    static constexpr std::size_t maxWordLength = std::size_t{4} << 20;

    explicit BoundsFileReader(const std::string& name);
    BoundsFileReader(const BoundsFileReader&) = delete;
    BoundsFileReader& operator=(const BoundsFileReader&) = delete;

    // The next record; false at the end of the file.
    bool next(BoundsRecord& record);

    const std::string& name() const { return file_.name(); }
    // Size of the file in bytes when it is a regular file, else 0.
    uint64_t size() const { return file_.size(); }
    // Bytes read from the file so far.
    uint64_t bytesRead() const { return file_.consumed(); }

private:
    bool nextWord(std::string_view& word);
    bool fill();
    void checkOrder(const BoundsRecord& record);
    [[noreturn]] void failAt(long line, const std::string& reason) const;

    ldtools::FileReader file_;
    long line_ = 1;           // line of the next unread byte
    long recordLine_ = 1;     // line on which the current record begins
    bool havePrevious_ = false;
    BoundsRecord previous_;
};

}  // namespace ldtile
