#pragma once
// The marker file (and the SNP and known-SNP files, which have its columns): a marker is four words,
// position, chromosomes typed, a count, and the allele string (one character per chromosome, the two
// chromosomes of an individual side by side); the allele codes the strings are recoded to.
//
// Programs read the file by different rules (MarkerRules): linkstat a marker a line, in marker sets;
// haplotypes a stream of four-word records. The reading is the same, and so is the recoding.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "reader.hpp"
#include "textscanner.hpp"

namespace ldtools {

// ---- allele recoding ----------------------------------------------------------------------------

// The recoding rules of one allele string: "-" and the given further characters are missing; the
// other characters are alleles, numbered 0 and 1 in order of first appearance; a third one is an
// error. After the whole string, the allele characters "0" and "1" keep their own code and the
// others take the free codes, "0" first.
class AlleleCoder {
public:
    static constexpr int kMissing = 2;
    static constexpr int kThird = 3;

    explicit AlleleCoder(std::string_view missing = {});
    // Starts a new string: no allele seen yet.
    void start();
    bool isMissing(unsigned char c) const { return table_[c] == kMissing; }
    // 0 or 1 for the first or second allele of the string, kMissing, or kThird for any further allele.
    int classify(unsigned char c) {
        const int k = table_[c];
        return k != kNew ? k : addAllele(c);
    }
    int alleleCount() const { return nAlleles_; }
    char allele(int index) const { return alleles_[index]; }
    // The code ('0' or '1') of allele 0 and 1 of the string so far.
    std::array<char, 2> codes() const;

private:
    static constexpr std::int8_t kNew = -1;
    int addAllele(unsigned char c);

    std::array<std::int8_t, 256> table_;
    char alleles_[2] = {0, 0};
    int nAlleles_ = 0;
};

// Recodes length characters at alleles in place to "0", "1" and "-" (every missing character) by
// the coder's rules. False when they hold a third allele; they are then left unchanged.
bool recodeAlleles(char* alleles, std::size_t length, AlleleCoder& coder);

// ---- reading --------------------------------------------------------------------------------------

enum class MarkerLayout : std::uint8_t {
    // A marker a line: the first four words of a line (further words are not read, and a NUL byte
    // ends the text of its line); a line of fewer than four words ends a marker set.
    lines,
    // A stream of four-word records; line breaks are white space like any other.
    records,
};

struct MarkerRules {
    MarkerLayout layout = MarkerLayout::lines;
    std::size_t maxWord = kUnlimited;
    std::size_t maxLine = kUnlimited;  // the lines layout only
};

// The words of one marker: the first three copied, the allele string in place (valid until the next
// call).
struct MarkerFields {
    int count = 0;  // words read: 4 for a marker, fewer on a line that ends a marker set
    std::string words[3];
    std::string_view alleles;
};

enum class MarkerRead : std::uint8_t {
    marker,       // four words
    setEnd,       // a line of fewer than four words (lines layout)
    end,          // the input ends
    incomplete,   // the input ends inside a record (records layout)
    wordTooLong,  // a word of the marker exceeds maxWord (lines layout: once the line is complete)
    lineTooLong,  // the line exceeds maxLine (as soon as it does)
};

// Reads the markers of a window by the rules. Read errors of the window pass through.
template <ByteWindow Window = FileReader>
class MarkerReader {
public:
    MarkerReader(Window& window, const MarkerRules& rules)
        : scanner_(window, TextRules{.maxWord = rules.maxWord,
                                     .maxLine = rules.layout == MarkerLayout::lines ? rules.maxLine : kUnlimited,
                                     .nulEndsLine = rules.layout == MarkerLayout::lines}),
          layout_(rules.layout) {}

    MarkerRead next(MarkerFields& fields) {
        return layout_ == MarkerLayout::lines ? nextLine(fields) : nextRecord(fields);
    }
    // The line of the last marker, set end or problem.
    long line() const { return scanner_.line(); }

private:
    // Keeps a word of the marker: the first three copied, the fourth in place. True with the fourth.
    static bool keep(MarkerFields& fields, std::string_view word) {
        if (fields.count < 3) {
            fields.words[fields.count++].assign(word);
            return false;
        }
        fields.count = 4;
        fields.alleles = word;
        return true;
    }

    MarkerRead nextLine(MarkerFields& fields) {
        fields.count = 0;
        std::string_view word;
        for (;;) {
            switch (scanner_.nextWordOfLine(word)) {
                case Token::word: break;
                case Token::lineEnd: return MarkerRead::setEnd;
                case Token::end: return MarkerRead::end;  // only at the start of a line
                case Token::lineTooLong: return MarkerRead::lineTooLong;
                default: return wordTooLong();
            }
            if (!keep(fields, word)) continue;
            // Reading on to the line break moves the window only when the line goes on beyond it.
            if (!scanner_.lineEndsInWindow()) {
                owned_.assign(word);
                fields.alleles = owned_;
            }
            return scanner_.skipLine() == Token::lineTooLong ? MarkerRead::lineTooLong : MarkerRead::marker;
        }
    }

    // A word too long: the rest of the line still counts against the line's limit.
    MarkerRead wordTooLong() {
        return scanner_.skipLine() == Token::lineTooLong ? MarkerRead::lineTooLong : MarkerRead::wordTooLong;
    }

    MarkerRead nextRecord(MarkerFields& fields) {
        fields.count = 0;
        std::string_view word;
        for (;;) {
            switch (scanner_.nextWord(word)) {
                case Token::word: break;
                case Token::end: return fields.count == 0 ? MarkerRead::end : MarkerRead::incomplete;
                default: return MarkerRead::wordTooLong;
            }
            if (keep(fields, word)) return MarkerRead::marker;
        }
    }

    TextScanner<Window> scanner_;
    MarkerLayout layout_;
    std::string owned_;  // the allele string when the window had to move past it
};

}  // namespace ldtools
