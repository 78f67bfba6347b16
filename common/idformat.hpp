#pragma once
// The ID file: the variant IDs of the SNPs that vcf2markers wrote, one SNP a line in the order of
// the marker file:
//
//   pos <TAB> id <TAB> ref <TAB> alt
//
// A SNP without an ID in the VCF ("." there) is written under the name chrom:pos:ref:alt, so that
// the file alone names every SNP the same way wherever it is used (ldquery, ldview, the BED file
// and the tag lists). An ID may occur more than once: it names each of its SNPs.
//
// Readers take any white space between the four words, skip blank lines and an optional header
// line "pos id ref alt" (or "#pos ..."), and read plain or gzip text; an ID "." (a file written by
// hand, or by another tool) is named chrom:pos:ref:alt where the chromosome is known.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "numbers.hpp"
#include "textinput.hpp"
#include "textscanner.hpp"

namespace ldtools {

// The reason of a line that is not four words with a position first.
inline constexpr std::string_view kIdLineReason = "expected four fields: position, ID, reference allele, alternate allele";

struct IdLine {
    std::int32_t position = 0;
    std::string_view id;
    std::string_view ref;
    std::string_view alt;
};

enum class IdRead : std::uint8_t { entry, end, malformed, lineTooLong };

// The name of the SNP of a line: its ID, or chrom:pos:ref:alt for the ID "." when the chromosome
// is known ("." stays "." otherwise).
std::string snpName(const IdLine& line, std::string_view chromosome);

// The lines of an ID file, one after the other; the words stay valid until the next call.
template <ByteWindow Window>
class IdFileReader {
public:
    IdFileReader(Window& window, std::size_t maxLine) : scanner_(window, TextRules{.maxLine = maxLine}) {}

    IdRead next(IdLine& entry) {
        for (;;) {
            std::string_view line;
            const Token token = scanner_.nextLine(line);
            if (token == Token::end) return IdRead::end;
            if (token == Token::lineTooLong) return IdRead::lineTooLong;
            std::string_view words[4];
            int count = 0;
            for (std::size_t k = 0; k < line.size();) {
                while (k < line.size() && isBlank(line[k])) ++k;
                const std::size_t start = k;
                while (k < line.size() && !isBlank(line[k])) ++k;
                if (k == start) break;
                if (count < 4) words[count] = line.substr(start, k - start);
                ++count;
            }
            if (count == 0) continue;
            if (scanner_.line() == 1 && (words[0] == "pos" || words[0] == "#pos")) continue;
            if (count != 4 || !positionWord(words[0], entry.position)) return IdRead::malformed;
            entry.id = words[1];
            entry.ref = words[2];
            entry.alt = words[3];
            return IdRead::entry;
        }
    }

    // The number of the line of the last entry or problem.
    long line() const { return scanner_.line(); }

private:
    static bool positionWord(std::string_view word, std::int32_t& value) {
        return parseInt32(word, value) == WholeNumber::ok;
    }

    TextScanner<Window> scanner_;
};

// A whole ID file, looked up by position or by name.
class IdTable {
public:
    // The longest line an ID file may have.
    static constexpr std::size_t kMaxLine = std::size_t{1} << 20;

    // Reads name (plain or gzip). chromosome names the SNPs of ID "." (see snpName). Throws
    // InputError ("open", "read") and FormatError: a line that is not an ID line, a line longer than
    // kMaxLine, a position named twice.
    static IdTable read(const std::string& name, std::string_view chromosome);

    std::size_t size() const { return positions_.size(); }
    // The name of the SNP at position, or nullptr.
    const std::string* nameAt(std::int32_t position) const;
    // The positions of the SNPs a name names, ascending (none when it names none).
    std::vector<std::int32_t> positionsOf(std::string_view name) const;

private:
    std::vector<std::int32_t> positions_;  // ascending
    std::vector<std::string> names_;       // of positions_
};

}  // namespace ldtools
