#pragma once
// The tag file of the block report (haplotypes -t): tab-separated, a header line naming the
// columns, then one row a block:
//
//   SNP1 SNP2 N_HapC NeedSNP htSNPs MinSNP minimum_set K_NeedSNP K_htSNPs
//
// The columns htSNPs, minimum_set and K_htSNPs hold lists of positions separated by commas, "-"
// for an empty list, or "NA" where the list was not computed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "textinput.hpp"
#include "textscanner.hpp"

namespace ldtools {

// The columns that hold lists of positions.
inline constexpr std::string_view kTagListColumns[] = {"htSNPs", "minimum_set", "K_htSNPs"};
// A list that was not computed.
inline constexpr std::string_view kNotComputed = "NA";
// An empty list.
inline constexpr std::string_view kEmptyList = "-";

// The fields of a line split at every tab (empty fields kept).
std::vector<std::string_view> splitTabs(std::string_view line);

// The positions of a list ("-": none). False when the text is not positions separated by commas.
bool parsePositionList(std::string_view text, std::vector<std::int32_t>& positions);

// Reads the rows of a tag file. The header is the first line and must name the column htSNPs;
// blank lines after it are skipped, a carriage return before a line break is dropped, and every
// row has as many fields as the header. Problems are thrown as FormatError; read errors of the
// window pass through.
template <ByteWindow Window>
class TagFileReader {
public:
    TagFileReader(Window& window, std::size_t maxLine) : scanner_(window, TextRules{.maxLine = maxLine}), maxLine_(maxLine) {
        std::string_view line;
        if (!nextLine(line)) throw FormatError(1, "expected a header line with the column htSNPs");
        for (const std::string_view field : splitTabs(line)) header_.emplace_back(field);
        if (column("htSNPs") < 0) throw FormatError(1, "expected a header line with the column htSNPs");
    }

    const std::vector<std::string>& header() const { return header_; }
    // The index of a column, or -1.
    int column(std::string_view name) const {
        for (std::size_t k = 0; k < header_.size(); ++k)
            if (header_[k] == name) return static_cast<int>(k);
        return -1;
    }

    // The fields of the next row (valid until the next call); false at the end.
    bool next(std::vector<std::string_view>& fields) {
        std::string_view line;
        do {
            if (!nextLine(line)) return false;
        } while (line.empty());
        fields = splitTabs(line);
        if (fields.size() != header_.size())
            throw FormatError(line_, "expected " + std::to_string(header_.size()) +
                                         " tab-separated fields, as in the header line");
        return true;
    }

    long line() const { return line_; }

private:
    bool nextLine(std::string_view& line) {
        const Token token = scanner_.nextLine(line);
        line_ = scanner_.line();
        if (token == Token::lineTooLong)
            throw FormatError(line_, "line longer than " + std::to_string(maxLine_) + " bytes");
        if (token != Token::line) return false;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return true;
    }

    TextScanner<Window> scanner_;
    std::size_t maxLine_;
    std::vector<std::string> header_;
    long line_ = 1;
};

}  // namespace ldtools
