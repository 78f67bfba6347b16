#pragma once
// The text of report lines as the fast loop makes it, block by block on any thread: the buffer of a
// block, and the printed forms of positions and bounds, made once and copied into the lines.

#include <charconv>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "gridbounds.hpp"

namespace linkstat {

// The text of a block of report lines, made on any thread and written in order by the main thread.
class LineText {
public:
    void put(const char* text, std::size_t length) { text_.append(text, length); }
    void put(std::string_view text) { text_.append(text); }
    // "\t%5.3f\t%5.3f\n": room for any two doubles (at most 314 characters each).
    void putBounds(double lower, double upper) {
        char text[640];
        const int length = std::snprintf(text, sizeof text, "\t%5.3f\t%5.3f\n", lower, upper);
        if (length > 0) put(text, static_cast<std::size_t>(length));
    }
    std::string_view view() const { return text_; }
    void clear() { text_.clear(); }

private:
    std::string text_;
};

// Printed bounds: "\t%5.3f\t" of the lower walk's values and "%5.3f\n" of the upper walk's, by their
// steps (GridBounds).
struct BoundTexts {
    std::string lower[kGridSteps + 1];
    std::string upper[kGridSteps + 1];
};
// The texts, made once for the process (they are constants).
const BoundTexts& boundTexts();

// Printed positions of the markers of a set, each followed by a tab.
class PositionTexts {
public:
    PositionTexts(const double* positions, int nMarkers) : texts_(static_cast<std::size_t>(nMarkers)) {
        for (std::size_t m = 0; m < texts_.size(); ++m) {
            Text& t = texts_[m];
            char* end = std::to_chars(t.chars, t.chars + sizeof t.chars, static_cast<int>(positions[m])).ptr;
            *end++ = '\t';
            t.length = static_cast<std::size_t>(end - t.chars);
        }
    }
    void putWithTab(LineText& out, int m) const { out.put(texts_[m].chars, texts_[m].length); }
    void put(LineText& out, int m) const { out.put(texts_[m].chars, texts_[m].length - 1); }

private:
    struct Text {
        char chars[16];
        std::size_t length;
    };
    std::vector<Text> texts_;
};

// The head of a pair line without -P: the distance of its positions, truncated to an int, and a tab.
inline void putDistance(LineText& out, double distance) {
    char text[16];
    char* end = std::to_chars(text, text + sizeof text, static_cast<int>(distance)).ptr;
    *end++ = '\t';
    out.put(text, static_cast<std::size_t>(end - text));
}

}  // namespace linkstat
