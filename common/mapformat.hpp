#pragma once
// The genetic map of one chromosome: a header line, then one point a line with the columns
// pos chr cM (position, chromosome, genetic position in centimorgans), separated by white space,
// positions ascending and genetic positions never decreasing, all of one chromosome. Blank lines
// are skipped. A position is a whole number within 32 bits, a genetic position a finite decimal
// number (read as a bound of a bounds file is read).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "error.hpp"
#include "numbers.hpp"
#include "textinput.hpp"
#include "textscanner.hpp"

namespace ldtools {

struct MapPoint {
    std::int32_t position = 0;
    double cm = 0.0;
};

// Reads the points of a map one after the other and checks them; problems are thrown as
// FormatError, read errors of the window pass through.
template <ByteWindow Window>
class GeneticMapReader {
public:
    GeneticMapReader(Window& window, std::size_t maxLine) : scanner_(window, TextRules{.maxLine = maxLine}), maxLine_(maxLine) {}

    // The next point; false at the end of the map.
    bool next(MapPoint& point) {
        std::string_view line;
        for (;;) {
            const Token token = scanner_.nextLine(line);
            if (token == Token::lineTooLong)
                throw FormatError(scanner_.line(), "line longer than " + std::to_string(maxLine_) + " bytes");
            if (token != Token::line) {
                if (header_) throw FormatError(1, "expected the header line pos chr cM");
                return false;
            }
            const std::vector<std::string_view> words = splitWords(line);
            std::int32_t position = 0;
            if (header_) {
                header_ = false;
                if (words.size() != 3 || parseInt32(words[0], position) == WholeNumber::ok)
                    fail("expected the header line pos chr cM");
                continue;
            }
            if (words.empty()) continue;
            double cm = 0.0;
            if (words.size() != 3 || parseInt32(words[0], position) != WholeNumber::ok || !parseDecimal(words[2], cm))
                fail("expected three columns: position, chromosome, cM");
            if (!havePoint_) {
                chromosome_ = words[1];
            } else {
                if (words[1] != chromosome_)
                    fail("chromosome " + quotable(words[1]) + " after " + quotable(chromosome_) +
                         ": the map must hold one chromosome");
                if (position <= last_.position)
                    fail("position " + std::to_string(position) + " does not lie above " +
                         std::to_string(last_.position) + ", the position before it");
                if (cm < last_.cm) fail("the genetic position (cM) decreases");
            }
            havePoint_ = true;
            last_ = {position, cm};
            point = last_;
            return true;
        }
    }

private:
    [[noreturn]] void fail(const std::string& reason) const { throw FormatError(scanner_.line(), reason); }

    TextScanner<Window> scanner_;
    std::size_t maxLine_;
    bool header_ = true;
    bool havePoint_ = false;
    std::string chromosome_;
    MapPoint last_;
};

}  // namespace ldtools
