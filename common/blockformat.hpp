#pragma once
// The block file: a header line, then one block a line: the position and index of its first SNP,
// the position and index of its last SNP. ldtile writes the blocks in the order its search found
// them; haplotypes needs them in ascending order of position (sortBlockFile).
//
// Programs read the header by different rules (BlockFileRules); the lines and words are read the
// same way, and each program checks the words of a block line by its own rules.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "numbers.hpp"
#include "reader.hpp"
#include "textinput.hpp"
#include "textscanner.hpp"

namespace ldtools {

// The header line ldtile writes, and its words.
inline constexpr std::string_view kBlockHeaderLine = "SNP1\tindex\tSNP2\tindex\n";
inline constexpr std::array<std::string_view, 4> kBlockHeaderWords = {"SNP1", "index", "SNP2", "index"};

enum class BlockHeader : std::uint8_t {
    // Line 1 holds exactly the four header words.
    required,
    // The first line that is not blank is a header when its first word does not begin like a
    // number (a digit after an optional sign); a file without a header loses no block.
    optional,
};

struct BlockFileRules {
    BlockHeader header = BlockHeader::required;
    std::size_t maxWord = kUnlimited;
    std::size_t maxLine = kUnlimited;
};

// The words of a block line: how many there are, and the first four, copied.
struct BlockLine {
    int count = 0;
    std::array<std::string, 4> words;
};

enum class BlockRead : std::uint8_t {
    block,        // a line after the header that is not blank
    end,          // the input ends
    noHeader,     // BlockHeader::required and line 1 is not the header (also for an empty file)
    wordTooLong,  // a word of the line exceeds maxWord
    lineTooLong,  // the line exceeds maxLine
};

// True when a word begins like a number: a digit after an optional sign.
bool beginsLikeNumber(std::string_view word);

// Reads the block lines of a window; blank lines are skipped. Read errors of the window pass through.
template <ByteWindow Window = FileReader>
class BlockFileReader {
public:
    BlockFileReader(Window& window, const BlockFileRules& rules)
        : scanner_(window, TextRules{.maxWord = rules.maxWord, .maxLine = rules.maxLine}), header_(rules.header) {}

    BlockRead next(BlockLine& line) {
        for (;;) {
            const BlockRead read = readLine(line);
            if (read != BlockRead::block) {
                if (read == BlockRead::end && header_ == BlockHeader::required && !headerSeen_)
                    return BlockRead::noHeader;
                return read;
            }
            if (headerSeen_) {
                if (line.count > 0) return read;
                continue;
            }
            if (header_ == BlockHeader::required) {
                if (!isHeader(line)) return BlockRead::noHeader;
                headerSeen_ = true;
                continue;
            }
            if (line.count == 0) continue;
            headerSeen_ = true;
            if (!beginsLikeNumber(line.words[0])) continue;
            return read;
        }
    }

    // The line of the last block or problem (1 for noHeader).
    long line() const { return scanner_.line(); }

private:
    static bool isHeader(const BlockLine& line) {
        if (line.count != 4) return false;
        for (std::size_t k = 0; k < 4; ++k)
            if (line.words[k] != kBlockHeaderWords[k]) return false;
        return true;
    }

    // The words of the next line, blank or not; BlockRead::block for any line.
    BlockRead readLine(BlockLine& line) {
        line.count = 0;
        std::string_view word;
        for (;;) {
            switch (scanner_.nextWordOfLine(word)) {
                case Token::word: break;
                case Token::lineEnd: return BlockRead::block;
                case Token::end: return BlockRead::end;
                case Token::wordTooLong: return BlockRead::wordTooLong;
                default: return BlockRead::lineTooLong;
            }
            if (line.count < 4) line.words[static_cast<std::size_t>(line.count)].assign(word);
            ++line.count;
        }
    }

    TextScanner<Window> scanner_;
    BlockHeader header_;
    bool headerSeen_ = false;
};

// ---- blocks among the SNPs of a bounds file -------------------------------------------------------

// A line of a block file as it stands: the positions and indices of the block's first and last
// SNP, and the number of the line.
struct BlockEnds {
    std::int32_t firstPosition = 0;
    std::int32_t firstIndex = 0;
    std::int32_t lastPosition = 0;
    std::int32_t lastIndex = 0;
    long line = 0;
};

// Reads every block of a block file (line 1 the header; lines up to maxLine bytes), in file order,
// and hands each to visit(const BlockEnds&): four whole numbers each, the last position above the
// first. Throws FormatError naming the line of the first problem; read errors of the window and
// what visit throws pass through.
template <ByteWindow Window, class Visit>
void forEachBlockLine(Window& window, std::size_t maxLine, Visit visit) {
    BlockFileReader lines(window, BlockFileRules{.header = BlockHeader::required, .maxLine = maxLine});
    auto fail = [&](const std::string& reason) { throw FormatError(lines.line(), reason); };
    BlockLine line;
    for (BlockRead read; (read = lines.next(line)) != BlockRead::end;) {
        if (read == BlockRead::noHeader) fail("expected the header line SNP1 index SNP2 index");
        if (read != BlockRead::block) fail("line longer than " + std::to_string(maxLine) + " bytes");
        std::int32_t numbers[4] = {};
        bool ok = line.count == 4;
        for (std::size_t k = 0; ok && k < 4; ++k) ok = parseInt32(line.words[k], numbers[k]) == WholeNumber::ok;
        if (!ok) fail("expected four whole numbers: first position, index, last position, index");
        if (numbers[2] <= numbers[0]) fail("the last position of a block must lie above its first");
        visit(BlockEnds{numbers[0], numbers[1], numbers[2], numbers[3], lines.line()});
    }
}

// ---- the sorted block file ------------------------------------------------------------------------

// The order of two block lines (without their line breaks) in the sorted file: by the number their
// first word begins with, then byte by byte (a shorter line before a longer one it begins). The
// number is read after any spaces and tabs: an optional "-", decimal digits, an optional "." and
// digits; a line that does not begin like that counts as 0. Numbers compare by value, whatever
// their length. Negative, zero or positive, as strcmp.
int compareBlockLines(std::string_view a, std::string_view b);

// The block file in sorted order: the first line as it is, then every further line, each with a
// line break, in the order of compareBlockLines. A file of one line without a line break stays as
// it is; an empty file stays empty.
std::string sortBlockFile(std::string_view content);

}  // namespace ldtools
