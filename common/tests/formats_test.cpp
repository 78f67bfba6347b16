// The formats layer: the text scanner at its edges (carriage returns, no final line break, NUL
// bytes, words and lines at their limit and one byte over, tiny buffers), the marker and block
// readers by each program's rules, the allele codes, the pair classes and the bounds source.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "blockformat.hpp"
#include "boundsformat.hpp"
#include "markerformat.hpp"
#include "reader.hpp"
#include "scratch.hpp"
#include "textscanner.hpp"

namespace {

using ldtools::FileReader;
using ldtools::TextRules;
using ldtools::TextScanner;
using ldtools::Token;
using testsupport::ScratchDir;
using testsupport::writeFile;

// A file holding text, read through a buffer of bufferSize bytes.
class TextFile {
public:
    explicit TextFile(const std::string& text, std::size_t bufferSize = 1 << 16) {
        writeFile(dir_.file("t"), text);
        file_.emplace(dir_.file("t"), bufferSize);
    }
    FileReader& reader() { return *file_; }

private:
    ScratchDir dir_;
    std::optional<FileReader> file_;
};

// Every token of a scan, as text: words as they are, "|" for a line end, "#N" for a line too long
// at line N, "!N" for a word too long at line N.
std::string wordsOfLines(const std::string& text, const TextRules& rules, std::size_t bufferSize = 1 << 16) {
    TextFile file(text, bufferSize);
    TextScanner scanner(file.reader(), rules);
    std::string seen;
    std::string_view word;
    for (;;) {
        const Token token = scanner.nextWordOfLine(word);
        if (token == Token::end) return seen;
        if (token == Token::word) seen += "[" + std::string(word) + "]";
        if (token == Token::lineEnd) seen += "|";
        if (token == Token::lineTooLong) return seen + "#" + std::to_string(scanner.line());
        if (token == Token::wordTooLong) return seen + "!" + std::to_string(scanner.line());
    }
}

TEST(TextScanner, WordStreamAcrossLinesAndTinyBuffers) {
    const std::string text = std::string("  10\t20\r\n0.5\v0.9\f\n\n1\0x 2 3", 26) + " 4";
    for (std::size_t buffer : {1, 2, 3, 7, 65536}) {
        TextFile file(text, buffer);
        TextScanner scanner(file.reader(), TextRules{.maxWord = 3});
        std::vector<std::string> words;
        std::vector<long> lines;
        std::string_view word;
        Token token;
        while ((token = scanner.nextWord(word)) == Token::word) {
            words.emplace_back(word);
            lines.push_back(scanner.line());
        }
        EXPECT_EQ(token, Token::end);
        // A NUL byte is part of its word; carriage returns, vertical tabs and form feeds are blanks.
        EXPECT_EQ(words, (std::vector<std::string>{"10", "20", "0.5", "0.9", std::string("1\0x", 3), "2", "3", "4"}))
            << buffer;
        EXPECT_EQ(lines, (std::vector<long>{1, 1, 2, 2, 4, 4, 4, 4})) << buffer;
    }
    // A word may be maxWord bytes long; one more is reported on its line, before it is read whole.
    for (std::size_t buffer : {2, 65536}) {
        TextFile file("abc\n\nabcd" + std::string(100000, 'x'), buffer);
        TextScanner scanner(file.reader(), TextRules{.maxWord = 3});
        std::string_view word;
        EXPECT_EQ(scanner.nextWord(word), Token::word);
        EXPECT_EQ(scanner.nextWord(word), Token::wordTooLong);
        EXPECT_EQ(scanner.line(), 3);
    }
}

TEST(TextScanner, WordsOfLines) {
    const TextRules plain;
    EXPECT_EQ(wordsOfLines("", plain), "");
    EXPECT_EQ(wordsOfLines("\n", plain), "|");
    EXPECT_EQ(wordsOfLines("a b\r\n\n  \nc", plain), "[a][b]|||[c]|");  // the last line has no line break
    EXPECT_EQ(wordsOfLines("a b\n", plain), "[a][b]|");
    EXPECT_EQ(wordsOfLines(std::string("a\0b c\n d", 8), plain), std::string("[a\0b][c]|[d]|", 13));
    // With nulEndsLine a NUL byte ends the line's text, in a word or between words.
    const TextRules nul{.nulEndsLine = true};
    EXPECT_EQ(wordsOfLines(std::string("a\0b c\n d", 8), nul), "[a]|[d]|");
    EXPECT_EQ(wordsOfLines(std::string("a \0b c\n\0", 8), nul), "[a]||");
    // Limits: the line's bytes before its line break count, blanks included.
    EXPECT_EQ(wordsOfLines("abc de\nfgh", {.maxLine = 6}), "[abc][de]|[fgh]|");
    EXPECT_EQ(wordsOfLines("abc de\nfgh  \n", {.maxLine = 4}), "[abc]#1");
    EXPECT_EQ(wordsOfLines("ab\nab    \n", {.maxLine = 4}), "[ab]|[ab]#2");
    EXPECT_EQ(wordsOfLines("ab\nabc d\n", {.maxWord = 2}), "[ab]|!2");
    for (std::size_t buffer : {1, 3})
        EXPECT_EQ(wordsOfLines("abc de\r\nfgh\n", {.maxWord = 3, .maxLine = 7}, buffer), "[abc][de]|[fgh]|") << buffer;
}

TEST(TextScanner, WholeLinesAndSkippedLines) {
    for (std::size_t buffer : {1, 4, 65536}) {
        TextFile file(std::string("one\r\n\ntw\0o\nthree", 16), buffer);
        TextScanner scanner(file.reader(), TextRules{.maxLine = 5});
        std::vector<std::string> lines;
        std::string_view line;
        Token token;
        while ((token = scanner.nextLine(line)) == Token::line) lines.emplace_back(line);
        EXPECT_EQ(token, Token::end);
        EXPECT_EQ(lines, (std::vector<std::string>{"one\r", "", std::string("tw\0o", 4), "three"})) << buffer;
        EXPECT_EQ(scanner.line(), 4);
    }
    {
        TextFile file("12345\n123456\n");
        TextScanner scanner(file.reader(), TextRules{.maxLine = 5});
        std::string_view line;
        EXPECT_EQ(scanner.nextLine(line), Token::line);
        EXPECT_EQ(scanner.nextLine(line), Token::lineTooLong);
        EXPECT_EQ(scanner.line(), 2);
    }
    {
        // skipLine measures what it skips and keeps nothing of it.
        TextFile file("a " + std::string(300, 'x') + "\nb " + std::string(400, 'y') + "\nc", 16);
        TextScanner scanner(file.reader(), TextRules{.maxLine = 350});
        std::string_view word;
        EXPECT_EQ(scanner.nextWordOfLine(word), Token::word);
        EXPECT_EQ(scanner.skipLine(), Token::lineEnd);
        EXPECT_EQ(scanner.skipLine(), Token::lineEnd);  // the line is over already
        EXPECT_EQ(scanner.nextWordOfLine(word), Token::word);
        EXPECT_EQ(word, "b");
        EXPECT_EQ(scanner.skipLine(), Token::lineTooLong);
        EXPECT_EQ(scanner.line(), 2);
    }
}

TEST(TextScanner, StreamWindowAndLineHelpers) {
    const std::string text = "x y\nlonger line\n";
    std::size_t at = 0;
    ldtools::StreamWindow window([&](char* into, std::size_t room) -> std::size_t {
        if (at == text.size() || room == 0) return 0;
        *into = text[at++];  // a byte at a time
        return 1;
    }, 2);
    TextScanner scanner(window);
    std::string_view line;
    ASSERT_EQ(scanner.nextLine(line), Token::line);
    EXPECT_EQ(line, "x y");
    ASSERT_EQ(scanner.nextLine(line), Token::line);
    EXPECT_EQ(line, "longer line");
    EXPECT_EQ(scanner.nextLine(line), Token::end);

    EXPECT_EQ(ldtools::splitWords(" a\tbc \r"), (std::vector<std::string_view>{"a", "bc"}));
    EXPECT_TRUE(ldtools::splitWords(" \t").empty());
    EXPECT_EQ(ldtools::trimmed(" \t7\v \r", " \t\r"), "7\v");
    EXPECT_EQ(ldtools::trimmed(" \r ", " \t\r"), "");
}

// ---- marker files -------------------------------------------------------------------------------

std::string markersOf(const std::string& text, const ldtools::MarkerRules& rules, std::size_t bufferSize = 1 << 16) {
    TextFile file(text, bufferSize);
    ldtools::MarkerReader reader(file.reader(), rules);
    ldtools::MarkerFields fields;
    std::string seen;
    for (;;) {
        switch (reader.next(fields)) {
            case ldtools::MarkerRead::marker:
                seen += fields.words[0] + "," + fields.words[1] + "," + fields.words[2] + "," +
                        std::string(fields.alleles) + "@" + std::to_string(reader.line()) + " ";
                break;
            case ldtools::MarkerRead::setEnd: seen += "> "; break;
            case ldtools::MarkerRead::end: return seen + "end";
            case ldtools::MarkerRead::incomplete: return seen + "incomplete";
            case ldtools::MarkerRead::wordTooLong: return seen + "word@" + std::to_string(reader.line());
            case ldtools::MarkerRead::lineTooLong: return seen + "line@" + std::to_string(reader.line());
        }
    }
}

TEST(MarkerReader, LinesInMarkerSets) {
    const ldtools::MarkerRules lines{.layout = ldtools::MarkerLayout::lines, .maxWord = 8, .maxLine = 20};
    EXPECT_EQ(markersOf("1 2 3 ACCA extra\n\n4 5 6 GT\n7 8\n", lines), "1,2,3,ACCA@1 > 4,5,6,GT@3 > end");
    EXPECT_EQ(markersOf(std::string("1 2 3 AC\0GT x\n4 5\0 6 GT", 23), lines), "1,2,3,AC@1 > end");
    EXPECT_EQ(markersOf("1 2 3 ACACACACA\n", lines), "word@1");
    // A line too long is reported before a word too long on it.
    EXPECT_EQ(markersOf("1 2 3 ACACACACA            x\n", lines), "line@1");
    EXPECT_EQ(markersOf("1 2 3 AC\n1 2 3 AC                  \n", lines), "1,2,3,AC@1 line@2");
    // The allele string stays whole when the words after it make the window move.
    const std::string alleles(200, 'A');
    const ldtools::MarkerRules wide{.layout = ldtools::MarkerLayout::lines};
    for (std::size_t buffer : {5, 64, 210})
        EXPECT_EQ(markersOf("10 2 3 " + alleles + " " + std::string(500, 'z') + " q\n11 2 3 C", wide, buffer),
                  "10,2,3," + alleles + "@1 11,2,3,C@2 end")
            << buffer;
}

TEST(MarkerReader, RecordStream) {
    const ldtools::MarkerRules records{.layout = ldtools::MarkerLayout::records, .maxWord = 5};
    EXPECT_EQ(markersOf("1 2\n3 ACCA 4\n5\r\n6 GT\n", records), "1,2,3,ACCA@2 4,5,6,GT@4 end");
    EXPECT_EQ(markersOf("1 2 3 AC 4 5", records), "1,2,3,AC@1 incomplete");
    EXPECT_EQ(markersOf(std::string("1 2 3 \0\0\0\0\0\0", 12), records), "word@1");
}

TEST(AlleleCodes, OneRuleForEveryString) {
    ldtools::AlleleCoder coder("N.");
    for (const auto& [given, coded] : std::vector<std::pair<std::string, std::string>>{
             {"ACCA", "0110"}, {"1A1A", "1010"}, {"0A0A", "0101"}, {"GN-.G", "0---0"}, {"10", "10"}, {"", ""}}) {
        std::string text = given;
        EXPECT_TRUE(ldtools::recodeAlleles(text.data(), text.size(), coder)) << given;
        EXPECT_EQ(text, coded) << given;
    }
    std::string third = "AC-G";
    EXPECT_FALSE(ldtools::recodeAlleles(third.data(), third.size(), coder));
    EXPECT_EQ(third, "AC-G");
}

// ---- block files --------------------------------------------------------------------------------

std::string blocksOf(const std::string& text, const ldtools::BlockFileRules& rules) {
    TextFile file(text, 3);
    ldtools::BlockFileReader reader(file.reader(), rules);
    ldtools::BlockLine line;
    std::string seen;
    for (;;) {
        const ldtools::BlockRead read = reader.next(line);
        const std::string at = "@" + std::to_string(reader.line());
        switch (read) {
            case ldtools::BlockRead::block:
                seen += std::to_string(line.count) + ":" + line.words[0] + at + " ";
                break;
            case ldtools::BlockRead::end: return seen + "end";
            case ldtools::BlockRead::noHeader: return seen + "noHeader" + at;
            case ldtools::BlockRead::wordTooLong: return seen + "word" + at;
            case ldtools::BlockRead::lineTooLong: return seen + "line" + at;
        }
    }
}

TEST(BlockFileReader, HeaderRules) {
    const ldtools::BlockFileRules required{.header = ldtools::BlockHeader::required, .maxLine = 30};
    const ldtools::BlockFileRules optional{.header = ldtools::BlockHeader::optional, .maxWord = 8};
    const std::string header = "SNP1\tindex\tSNP2\tindex\r\n";
    EXPECT_EQ(blocksOf(header + "30 2 40 3\n\n10 0 20 1 x\n", required), "4:30@2 5:10@4 end");
    EXPECT_EQ(blocksOf(header, required), "end");
    EXPECT_EQ(blocksOf("", required), "noHeader@1");
    EXPECT_EQ(blocksOf("\n" + header, required), "noHeader@1");
    EXPECT_EQ(blocksOf("SNP1 index SNP2\n", required), "noHeader@1");
    EXPECT_EQ(blocksOf("10 0 20 1\n", required), "noHeader@1");
    EXPECT_EQ(blocksOf(header + "1 2 3 4" + std::string(30, ' ') + "\n", required), "line@2");
    // Optional: the first line that is not blank is a header unless it begins like a number.
    EXPECT_EQ(blocksOf("\n \n" + header + "\n10 0 20 1\n", optional), "4:10@5 end");
    EXPECT_EQ(blocksOf("10 0 20 1\n30 2 40 3", optional), "4:10@1 4:30@2 end");
    EXPECT_EQ(blocksOf("-5 x\n", optional), "2:-5@1 end");
    EXPECT_EQ(blocksOf("+x 1\n1\n", optional), "1:1@2 end");
    EXPECT_EQ(blocksOf("SNP1\n10 0 123456789 1\n", optional), "word@2");
    EXPECT_EQ(blocksOf("", optional), "end");
}

TEST(BlockFile, SortedOrder) {
    // Numbers by value, whatever their length; equal numbers by the bytes of the whole line.
    EXPECT_LT(ldtools::compareBlockLines("99999999999999999999 x", "100000000000000000000"), 0);
    EXPECT_LT(ldtools::compareBlockLines("-100000000000000000000", "-99999999999999999999"), 0);
    EXPECT_LT(ldtools::compareBlockLines("-0.5", "-0 b"), 0);
    EXPECT_LT(ldtools::compareBlockLines("-0 b", "0 a"), 0);  // equal keys: '-' before '0'
    EXPECT_LT(ldtools::compareBlockLines("word", "1"), 0);
    EXPECT_LT(ldtools::compareBlockLines("2.05", "2.5"), 0);
    EXPECT_EQ(ldtools::compareBlockLines("7 x", "7 x"), 0);
    EXPECT_LT(ldtools::compareBlockLines("7", "7 "), 0);
    EXPECT_EQ(ldtools::sortBlockFile("h\n3\n1\n2"), "h\n1\n2\n3\n");
    EXPECT_EQ(ldtools::sortBlockFile("h"), "h");
    EXPECT_EQ(ldtools::sortBlockFile("h\n"), "h\n");
    EXPECT_EQ(ldtools::sortBlockFile("h\n\n"), "h\n\n");
}

// ---- bounds -------------------------------------------------------------------------------------

TEST(PairClasses, OneDefinitionLowerFirst) {
    const double values[] = {0.0, 0.5, 0.7, 0.7000000000000001, 0.75, 0.8999999999999999, 0.9, 0.95, 0.98,
                             0.9800000000000001, 1.0};
    for (const double lower : values) {
        for (const double upper : values) {
            const bool strong = upper > 0.98 && lower > 0.7;
            const bool recombination = upper < 0.9;
            EXPECT_EQ(ldtools::isStrong(lower, upper), strong ? 1u : 0u) << lower << " " << upper;
            EXPECT_EQ(ldtools::isRecombination(lower, upper), recombination ? 1u : 0u);
            EXPECT_EQ(ldtools::isUninformative(lower, upper), !strong && !recombination ? 1u : 0u);
            const ldtools::PairClass expected = strong          ? ldtools::PairClass::strong
                                                : recombination ? ldtools::PairClass::recombination
                                                                : ldtools::PairClass::uninformative;
            EXPECT_EQ(ldtools::classify(lower, upper), expected) << lower << " " << upper;
        }
    }
}

TEST(BoundsSource, TheTextReaderBehindTheInterface) {
    ScratchDir dir;
    writeFile(dir.file("b"), "1 2 0.5 0.99\n1 3\n0.75 0.981\n");
    const std::unique_ptr<ldtools::BoundsSource> source = ldtools::openBounds(dir.file("b"));
    EXPECT_EQ(source->name(), dir.file("b"));
    EXPECT_EQ(source->size(), 28u);
    std::vector<ldtools::BoundsRecord> records;
    for (ldtools::BoundsRecord record; source->next(record);) records.push_back(record);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].second, 3);
    EXPECT_EQ(records[1].lower, 0.75);
    EXPECT_EQ(records[1].upper, 0.981);
    EXPECT_EQ(source->bytesRead(), 28u);
    writeFile(dir.file("b"), "1 2 0.5 0.99\n\n0 5 0.5 0.5\n");
    try {
        const auto bad = ldtools::openBounds(dir.file("b"));
        for (ldtools::BoundsRecord record; bad->next(record);) {
        }
        ADD_FAILURE() << "records out of order were taken";
    } catch (const ldtools::BoundsFileError& error) {
        EXPECT_EQ(std::string(error.what()), dir.file("b") + ": line 3: records are not in order of position");
    }
}

}  // namespace
