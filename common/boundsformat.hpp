#pragma once
// The LD bounds file: its records, the pair window they cover, the classes of a pair, and the
// reader every program reads bounds files with.
//
// A record is four white-space-separated numbers: first position, second position, lower bound,
// upper bound. Records ascend by first position and, within a first position, by second position;
// line breaks carry no meaning. Reader errors carry the reason without a program name; each
// program's main puts its own name in front ("ldtile: ").

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "reader.hpp"
#include "textscanner.hpp"

namespace ldtools {

// Pairs of markers less than this many position units apart have bounds; pairs this far apart or
// farther have no record and are never stored or drawn.
inline constexpr std::int32_t kPairWindow = 200000;

// ---- the classes of a pair ----------------------------------------------------------------------

// Cut-offs of the classes; every comparison with them is strict.
inline constexpr double kStrongUpper = 0.98;         // strong LD: upper bound above this ...
inline constexpr double kStrongLower = 0.7;          // ... and lower bound above this
inline constexpr double kRecombinationUpper = 0.9;   // recombination: upper bound below this
static_assert(kStrongUpper > kRecombinationUpper, "a strong pair is never a recombination pair");

// noRecord: a pair inside the window that the bounds file does not hold; the block finder reads
// its bounds as 0.0, a recombination pair.
enum class PairClass : std::uint8_t { strong = 0, recombination = 1, uninformative = 2, noRecord = 3 };
inline constexpr int kPairClassCount = 4;

// 1 for the class of a pair by its bounds, else 0; lower bound first. Computed without branches:
// the classes of neighbouring pairs follow no pattern.
inline unsigned isStrong(double lower, double upper) {
    return static_cast<unsigned>(upper > kStrongUpper) & static_cast<unsigned>(lower > kStrongLower);
}
inline unsigned isRecombination(double /*lower*/, double upper) {
    return static_cast<unsigned>(upper < kRecombinationUpper);
}
inline unsigned isUninformative(double lower, double upper) {
    return (isRecombination(lower, upper) ^ 1u) & (isStrong(lower, upper) ^ 1u);
}
// strong: upper > 0.98 and lower > 0.7; recombination: upper < 0.9; otherwise uninformative.
inline PairClass classify(double lower, double upper) {
    if (isStrong(lower, upper)) return PairClass::strong;
    return isRecombination(lower, upper) ? PairClass::recombination : PairClass::uninformative;
}

// ---- records ------------------------------------------------------------------------------------

struct BoundsRecord {
    std::int32_t first = 0;
    std::int32_t second = 0;
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
bool parsePosition(std::string_view word, std::int32_t& value);

// Where bounds records come from, in file order. Every problem is thrown as a BoundsFileError.
// The text reader below is one source; a reader of another encoding of the same records (a
// compressed or indexed file) is another, and openBounds() picks the source for a file.
class BoundsSource {
public:
    virtual ~BoundsSource() = default;
    // The next record; false at the end of the records.
    virtual bool next(BoundsRecord& record) = 0;
    virtual const std::string& name() const = 0;
    // Size of the file in bytes when it is a regular file, else 0.
    virtual std::uint64_t size() const = 0;
    // Bytes read from the file so far.
    virtual std::uint64_t bytesRead() const = 0;
};

// The records of a bounds file in text, from a file, a pipe or a device, each opened once (a
// folder is refused). The records are checked as they are read: four numbers each, in ascending
// order of (first position, second position), the second above the first.
class BoundsReader : public BoundsSource {
public:
    // A word (a run of characters other than white space) may be at most this long; a longer one is
    // an error of its line, so that a file without white space (/dev/zero) cannot fill memory.
    static constexpr std::size_t kMaxWordLength = std::size_t{4} << 20;

    explicit BoundsReader(const std::string& name);
    BoundsReader(const BoundsReader&) = delete;
    BoundsReader& operator=(const BoundsReader&) = delete;

    bool next(BoundsRecord& record) final;
    const std::string& name() const final { return file_.name(); }
    std::uint64_t size() const final { return file_.size(); }
    std::uint64_t bytesRead() const final { return file_.consumed(); }

private:
    // The file as the scanner sees it: open and read errors become BoundsFileErrors.
    class File : public FileReader {
    public:
        explicit File(const std::string& name);
        bool fill();
    };

    bool nextWord(std::string_view& word);
    void checkOrder(const BoundsRecord& record);
    [[noreturn]] void failAt(long line, const std::string& reason) const;

    File file_;
    TextScanner<File> scanner_;
    long recordLine_ = 1;  // line on which the current record begins
    bool havePrevious_ = false;
    BoundsRecord previous_;
};

// The source of the bounds records of a file. Throws BoundsFileError.
std::unique_ptr<BoundsSource> openBounds(const std::string& name);

}  // namespace ldtools
