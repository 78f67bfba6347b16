#pragma once
// The genetic map: a header line ("pos chr cM": three words, the first not a whole number), then
// one point a line with the columns pos chr cM (position, chromosome, genetic position in
// centimorgans); positions ascending, genetic positions never decreasing, all of one chromosome.
// Blank lines are skipped. It is the phaser's map format too, so one file serves both.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "numbers.hpp"
#include "textinput.hpp"
#include "textscanner.hpp"

namespace ldtools {

struct MapPoint {
    std::int32_t position = 0;
    double cm = 0.0;
};

// Reads every point of a map in a window, in file order, and hands each to visit(const MapPoint&).
// Lines may be up to maxLine bytes. Throws FormatError naming the line of the first problem; read
// errors of the window and what visit throws pass through.
template <ByteWindow Window, class Visit>
void forEachMapPoint(Window& window, std::size_t maxLine, Visit visit) {
    TextScanner<Window> scanner(window, TextRules{.maxLine = maxLine});
    auto fail = [&](const std::string& reason) { throw FormatError(scanner.line(), reason); };
    const std::string headerReason = "expected the header line pos chr cM";
    std::string chromosome;
    bool header = true;
    bool havePoint = false;
    MapPoint last;
    std::string_view line;
    for (Token token; (token = scanner.nextLine(line)) != Token::end;) {
        if (token == Token::lineTooLong) fail("line longer than " + std::to_string(maxLine) + " bytes");
        const std::vector<std::string_view> words = splitWords(line);
        MapPoint point;
        if (header) {
            header = false;
            if (words.size() != 3 || parseInt32(words[0], point.position) == WholeNumber::ok) fail(headerReason);
            continue;
        }
        if (words.empty()) continue;
        // A genetic position is a finite decimal number, read as a bound is read.
        if (words.size() != 3 || parseInt32(words[0], point.position) != WholeNumber::ok ||
            !parseDecimal(words[2], point.cm))
            fail("expected three columns: position, chromosome, cM");
        if (!havePoint) {
            chromosome = words[1];
        } else {
            if (words[1] != chromosome)
                fail("chromosome " + quotable(words[1]) + " after " + quotable(chromosome) +
                     ": the map must hold one chromosome");
            if (point.position <= last.position)
                fail("position " + std::to_string(point.position) + " does not lie above " +
                     std::to_string(last.position) + ", the position before it");
            if (point.cm < last.cm) fail("the genetic position (cM) decreases");
        }
        visit(static_cast<const MapPoint&>(point));
        havePoint = true;
        last = point;
    }
    if (header) throw FormatError(1, headerReason);
}

}  // namespace ldtools
