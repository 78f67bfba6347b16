#pragma once
// The marker file as linkstat reads it: the lines (split by the formats layer, a marker a line) turned
// into marker sets, allele strings recoded and packed as they are read, and the tables of the current
// marker set. Its data errors are values (MarkerError) that the report layer words.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kernels.hpp"
#include "largememory.hpp"
#include "markerformat.hpp"
#include "reader.hpp"

namespace linkstat {

// ---- data errors --------------------------------------------------------------------------------------

// A data error of the marker file, found at a line of the file named `file`.
class MarkerError : public std::exception {
public:
    enum class Kind {
        lineTooLong,         // the line is longer than the line limit
        fieldTooLong,        // one of the first four fields is longer than the field limit
        wrongChromosomes,    // the allele string's length differs from the set's first; `line` is the
                             // marker's number in its set
        badPosition,         // the position is not finite or not within 0 <= position < 2^31
        positionOutOfOrder,  // the position is below the one before it in the set
        moreThanTwoAlleles,  // a marker of the set has a third allele: `alleles` is its string
    };
    MarkerError(Kind kind, std::string file, int line, std::string alleles = {})
        : kind(kind), file(std::move(file)), line(line), alleles(std::move(alleles)) {}
    const char* what() const noexcept override { return "marker file error"; }

    Kind kind;
    std::string file;
    int line;
    std::string alleles;
};

// ---- allele recoding ----------------------------------------------------------------------------------

// The allele string with every character the coder takes for missing shown as "-" and the others as
// written: how a string with a third allele is quoted.
std::string withMissingShown(std::string_view alleles, const ldtools::AlleleCoder& coder);

// ---- packed allele codes ------------------------------------------------------------------------------

// The allele codes of one marker, two bits per chromosome, in four bit planes of `words` 64-bit words:
// plane 0 has bit u set where the first chromosome of individual u carries code 1, plane 1 where it is
// missing, planes 2 and 3 the same for the second chromosome (bit u % 64 of word u / 64). A missing
// allele has no code bit. An odd last chromosome is the first of an individual whose second one is
// missing; the bits past the last individual are missing too.
inline constexpr int kPlanes = 4;

inline int wordsForChromosomes(std::size_t nChromosomes) {
    return static_cast<int>((nChromosomes + 127) / 128);
}

// Codes of chromosome k ('0', '1' or '-') of packed planes.
inline char codeAt(const std::uint64_t* planes, int words, std::size_t k) {
    const std::size_t slot = k & 1, u = k >> 1;
    const std::uint64_t bit = std::uint64_t{1} << (u % 64);
    if (planes[(2 * slot + 1) * words + u / 64] & bit) return '-';
    return planes[2 * slot * words + u / 64] & bit ? '1' : '0';
}

// The packed strings of a marker set, in blocks of 2^blockShift markers so that the tables grow without
// copying: at least 1024 markers and kBlockBytes a block. Large allocations take memory in huge pages of
// 2 MiB, and a block's last one is partly unused: at 32 MiB a block, that is at most a sixteenth.
class PackedAlleles {
public:
    // Starts a new set of strings of nChromosomes chromosomes; keeps the blocks when their size stays.
    void reset(int nChromosomes);
    int words() const { return words_; }
    // The planes of marker m (allocated on first use).
    std::uint64_t* slot(int m);
    const std::uint64_t* operator[](int m) const { return at(static_cast<std::size_t>(m)); }
    // Writes the codes of marker m as a string of '0', '1' and '-' (n characters and a NUL).
    void decode(int m, int nChromosomes, char* out) const;

private:
    static constexpr std::size_t kBlockBytes = std::size_t{32} << 20;
    std::uint64_t* at(std::size_t m) const {
        return blocks_[m >> blockShift_].data() + (m & ((std::size_t{1} << blockShift_) - 1)) * stride_;
    }
    int words_ = -1;
    std::size_t stride_ = 0;  // words per marker
    int blockShift_ = 0;
    std::vector<ldtools::LargeArray<std::uint64_t>> blocks_;
};

// ---- lines of the marker file -------------------------------------------------------------------------

// Packs 128 characters into the words of a block (one per plane) when each of them is allele `first`,
// or allele `second` if `both`; false otherwise. The members of the pack family compare 32 or 64
// characters at once; the portable member has none (null): it takes one character at a time.
using PackBlock = bool (*)(const char* text, char first, char second, bool both, std::uint64_t words[kPlanes]);
PackBlock packBlockKernel(PackKernel kernel);

// The first four fields of one line: the first three as text, the fourth (the allele string) recoded
// and packed in planes of wordsForChromosomes(alleleCount) words.
struct MarkerLine {
    int fields = 0;
    ldtools::MarkerFields words;  // the fields as read; words.alleles is valid until the next line
    std::size_t alleleCount = 0;
    std::vector<std::uint64_t> planes;
    // The allele string with every missing character shown as "-", kept when it holds a third allele.
    std::optional<std::string> thirdAllele;
};

class MarkerSet;

// Reads the marker file one line or one marker set at a time. The formats layer splits the lines
// (white-space-separated fields, a NUL byte ends a line's text, fields after the fourth are not read);
// a line that is too long fails while it is read, a field that is too long once the line is complete.
// Allele strings are packed by the given member of the pack family.
class MarkerReader {
public:
    MarkerReader(ldtools::FileReader& input, const std::string& inputName, std::string_view missing,
                 std::size_t lineLimit, std::size_t fieldLimit, PackKernel kernel = fastestKernel<PackKernel>());
    // Reads the next line; false at the end of the file.
    bool next(MarkerLine& line);

    // Reads the markers of the next set into `set`, which is emptied first: the lines up to one of fewer
    // than four fields, or up to the end of the file. False once the file ended with the set before.
    // A set's positions must be printable as an int (finite, 0 <= position < 2^31) and must not fall
    // (ties are allowed): the pair window is found by walking them in order. A line's errors fail as
    // the line is read; a third allele fails once its set is complete, with the first such marker.
    bool nextSet(MarkerSet& set);

private:
    int lineNumber() const { return static_cast<int>(lines_.line()); }
    void pack(std::string_view alleles, MarkerLine& line);
    void finishAlleles(MarkerLine& line);

    ldtools::MarkerReader<ldtools::FileReader> lines_;
    const std::string& inputName_;
    ldtools::AlleleCoder coder_;
    PackBlock packBlock_;

    MarkerLine line_;     // the line nextSet reads
    bool ended_ = false;  // nextSet met the end of the file
};

// ---- the current marker set ---------------------------------------------------------------------------

// The three tables of the markers read since the last end of a set; their capacity (2000 markers at
// first) grows by 1000 and carries over from set to set.
class MarkerSet {
public:
    MarkerSet();

    int nMarkers() const { return nMarkers_; }
    int nChromosomes() const { return nChromosomes_; }
    const double* positions() const { return positions_.data(); }
    const double* ratios() const { return ratios_.data(); }
    const PackedAlleles& alleles() const { return alleles_; }

    // Adds the marker of a line; fails when its string's length differs from the set's first (the
    // error's line is then the marker's number in the set).
    void add(double position, double ratio, MarkerLine& line, const std::string& inputName);
    // The allele string, after missing-allele recoding, of the first marker of the set with a third
    // allele; the set fails with it once it is complete.
    const std::optional<std::string>& thirdAllele() const { return thirdAllele_; }
    // Empties the set.
    void clear();

private:
    static constexpr std::size_t kFirstCapacity = 2000;

    std::vector<double> positions_, ratios_;
    PackedAlleles alleles_;
    int nMarkers_ = 0;
    int nChromosomes_ = 0;
    std::optional<std::string> thirdAllele_;
};

}  // namespace linkstat
