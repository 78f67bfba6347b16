#pragma once
// The LD bounds file: its records, the pair window they cover, the classes of a pair, and the
// readers every program reads bounds files with.
//
// A record is four numbers: first position, second position, lower bound, upper bound. Records
// ascend by first position and, within a first position, by second position. A bounds file comes
// in three forms, told apart by content:
//  - text: the records as white-space-separated words (line breaks carry no meaning), as
//    linkstat -D writes them;
//  - gzip: the same text, gzip- or BGZF-compressed;
//  - indexed: BGZF that begins with the header line kIndexedBoundsHeader, then one record a line
//    as five fields separated by single tabs (chromosome, first position, second position, lower
//    bound, upper bound), all of one chromosome, with a tabix index beside it (NAME.tbi, or
//    NAME.csi for positions beyond the reach of .tbi) that finds the records touching a region.
// Reader errors carry the reason without a program name; each program's main puts its own name
// in front ("ldtile: ").

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "textinput.hpp"
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

// The four words of a record as the file writes them; valid until the next record is read.
struct BoundsWords {
    std::string_view first;
    std::string_view second;
    std::string_view lower;
    std::string_view upper;
};

// The first line of the indexed form, without its line break.
inline constexpr std::string_view kIndexedBoundsHeader = "#chrom\tpos1\tpos2\tlower\tupper";

// What a reader of bounds refuses.
enum class BoundsProblem : std::uint8_t {
    file,        // the file (or its index) cannot be opened or read
    malformed,   // a record that does not parse, or a word or line beyond its limit
    order,       // records out of order of position
    offGrid,     // a bound off linkstat's 0.01 grid, where BoundsRules::onGrid asks for it
    chromosome,  // a record of a second chromosome in the indexed form
};

// A bounds file that cannot be read, or holds anything but ordered records. what() is the reason,
// without a program name and without a line break, e.g.
//   "cannot open bounds file b.txt: No such file or directory"
//   "b.txt: line 3: expected four numbers: first position, second position, lower bound, upper bound"
//   "b.txt: line 7: records are not in order of position"
// For the problems of a record, place() is where ("b.txt: line 7"; for a region read through the
// index, "b.tsv.gz: records of 20:1000-2000") and detail() the subject of an offGrid or chromosome
// problem ("lower bound 0.355", "chromosome 21 after 20"), so that a program can word those its
// own way.
class BoundsFileError : public std::runtime_error {
public:
    explicit BoundsFileError(const std::string& message, BoundsProblem problem = BoundsProblem::file)
        : std::runtime_error(message), problem_(problem) {}
    BoundsFileError(BoundsProblem problem, std::string place, std::string detail, const std::string& reason)
        : std::runtime_error(place + ": " + reason), problem_(problem), place_(std::move(place)),
          detail_(std::move(detail)) {}

    BoundsProblem problem() const { return problem_; }
    const std::string& place() const { return place_; }
    const std::string& detail() const { return detail_; }

private:
    BoundsProblem problem_;
    std::string place_;
    std::string detail_;
};

// What a program accepts beyond the format itself.
struct BoundsRules {
    // Every bound must be a whole number of hundredths from 0 to 1: the grid linkstat computes
    // bounds on, which lets a bound be stored in a byte without loss.
    bool onGrid = false;
};

// One word of a bounds file as a position: an optional sign and decimal digits, within 32 bits.
bool parsePosition(std::string_view word, std::int32_t& value);

// The hundredths (0 to 100) of a bound that is a whole number of hundredths from 0 to 1 (the
// double of the text equals hundredths / 100.0), else -1.
int gridHundredths(double value);
// The same for a word: -2 when it is not a number at all (parseDecimal's rule).
int hundredthsOf(std::string_view word);

// Where bounds records come from, in file order. Every problem is thrown as a BoundsFileError.
// The text reader below is one source; the readers of the indexed form (the whole file, or a
// region through its index) are others, and openBounds() picks the source for a file.
class BoundsSource {
public:
    virtual ~BoundsSource() = default;
    // The next record; false at the end of the records.
    virtual bool next(BoundsRecord& record) = 0;
    // The same with the record's words as the file writes them.
    virtual bool next(BoundsRecord& record, BoundsWords& words) = 0;
    virtual const std::string& name() const = 0;
    // Size of the file in bytes when it is a regular file, else 0.
    virtual std::uint64_t size() const = 0;
    // Bytes read from the file so far (compressed bytes for a compressed file).
    virtual std::uint64_t bytesRead() const = 0;
    // True when the file is compressed (gzip, BGZF, the indexed form).
    virtual bool compressed() const = 0;
    // True for the indexed form.
    virtual bool indexed() const { return false; }
    // The chromosome of the indexed form's records, once known (from the first record or the
    // index); empty for the other forms.
    virtual const std::string& chromosome() const;
};

// The records of a bounds file in text, plain or compressed (a TextInput), from a file, a pipe or
// a device, each opened once (a folder is refused). The records are checked as they are read:
// four numbers each, in ascending order of (first position, second position), the second above
// the first.
class BoundsReader : public BoundsSource {
public:
    // A word (a run of characters other than white space) may be at most this long; a longer one is
    // an error of its line, so that a file without white space (/dev/zero) cannot fill memory.
    static constexpr std::size_t kMaxWordLength = std::size_t{4} << 20;

    explicit BoundsReader(const std::string& name, const BoundsRules& rules = {});
    // Reads the text of an input already opened, from its first unread byte.
    explicit BoundsReader(std::unique_ptr<TextInput> input, const BoundsRules& rules = {});
    BoundsReader(const BoundsReader&) = delete;
    BoundsReader& operator=(const BoundsReader&) = delete;

    bool next(BoundsRecord& record) final;
    bool next(BoundsRecord& record, BoundsWords& words) final;
    const std::string& name() const final { return input_->name(); }
    std::uint64_t size() const final { return input_->size(); }
    std::uint64_t bytesRead() const final { return input_->bytesRead(); }
    bool compressed() const final { return input_->compressed(); }

private:
    template <bool keepWords>
    bool read(BoundsRecord& record);
    bool nextWord(std::string_view& word);
    void checkBound(std::string_view word, double value, const char* which);
    void checkOrder(const BoundsRecord& record);
    [[noreturn]] void failAt(long line, const std::string& reason) const;
    [[noreturn]] void malformed() const;

    std::unique_ptr<TextInput> input_;
    TextScanner<TextInput> scanner_;
    BoundsRules rules_;
    long recordLine_ = 1;  // line on which the current record begins
    bool havePrevious_ = false;
    BoundsRecord previous_;
    std::string words_[4];  // the words of the last record, for next(record, words)
};

// The source of the bounds records of a file in any form: the indexed form when the file is
// compressed and begins with kIndexedBoundsHeader and a line break, else text. Throws
// BoundsFileError.
std::unique_ptr<BoundsSource> openBounds(const std::string& name, const BoundsRules& rules = {});

// The records of a file in any form that touch the positions from..to (first <= to and second >=
// from), in file order: for the indexed form with its index, only the part of the file the index
// points to is read; otherwise the whole file is read and the other records left out. The same
// records either way, checked by the same rules. Throws BoundsFileError.
std::unique_ptr<BoundsSource> openBoundsRange(const std::string& name, std::int32_t from, std::int32_t to,
                                              const BoundsRules& rules = {});

}  // namespace ldtools
