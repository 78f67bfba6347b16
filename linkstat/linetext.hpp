#pragma once
// The text of report lines as the fast loop makes it, block by block on any thread: the buffer of a
// block, and the printed forms of positions and bounds, made once and copied into the lines.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gridbounds.hpp"

namespace linkstat {

// A piece of text of at most 15 characters kept in 16 bytes, so that it is copied as one fixed-size
// block (the bytes past its length are copied too, and overwritten by what follows).
struct Piece {
    char chars[16];
    std::uint8_t length;
};

// The text of a block of report lines, made on any thread and written in order by the main thread.
class LineText {
public:
    // Storage from the start, so that the text, even empty, is never a null pointer.
    LineText() { grow(0); }

    // Room for `length` more characters at the end of the text; end(at) then takes the text up to `at`.
    char* room(std::size_t length) {
        if (capacity_ - size_ < length) grow(length);
        return data_.get() + size_;
    }
    void end(const char* at) { size_ = static_cast<std::size_t>(at - data_.get()); }
    // Copies a piece to `at`, which has room for 16 characters; returns the end of the piece there.
    static char* put(char* at, const Piece& piece) {
        std::memcpy(at, piece.chars, sizeof piece.chars);
        return at + piece.length;
    }

    void put(const char* text, std::size_t length) {
        std::memcpy(room(length), text, length);
        size_ += length;
    }
    void put(std::string_view text) { put(text.data(), text.size()); }
    void put(const Piece& piece) { end(put(room(sizeof piece.chars), piece)); }
    // "\t%5.3f\t%5.3f\n": room for any two doubles (at most 314 characters each).
    void putBounds(double lower, double upper) {
        char text[640];
        const int length = std::snprintf(text, sizeof text, "\t%5.3f\t%5.3f\n", lower, upper);
        if (length > 0) put(text, static_cast<std::size_t>(length));
    }
    std::string_view view() const { return {data_.get(), size_}; }
    void clear() { size_ = 0; }

private:
    void grow(std::size_t length) {
        const std::size_t capacity = std::max({std::size_t{4096}, 2 * capacity_, size_ + length});
        auto data = std::make_unique_for_overwrite<char[]>(capacity);
        if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
        data_ = std::move(data);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Printed bounds: "\t%5.3f\t" of the lower walk's values and "%5.3f\n" of the upper walk's, by their
// steps (GridBounds).
struct BoundTexts {
    Piece lower[kGridSteps + 1];
    Piece upper[kGridSteps + 1];
};
// The texts, made once for the process (they are constants).
const BoundTexts& boundTexts();

// Printed positions of the markers of a set, each followed by a tab.
class PositionTexts {
public:
    PositionTexts(const double* positions, int nMarkers) : texts_(static_cast<std::size_t>(nMarkers)) {
        for (std::size_t m = 0; m < texts_.size(); ++m) {
            Piece& t = texts_[m];
            char* end = std::to_chars(t.chars, t.chars + sizeof t.chars, static_cast<int>(positions[m])).ptr;
            *end++ = '\t';
            t.length = static_cast<std::uint8_t>(end - t.chars);
        }
    }
    const Piece& withTab(int m) const { return texts_[static_cast<std::size_t>(m)]; }
    void putWithTab(LineText& out, int m) const { out.put(withTab(m)); }
    void put(LineText& out, int m) const { out.put(withTab(m).chars, withTab(m).length - 1u); }

private:
    std::vector<Piece> texts_;
};

// The head of a pair line without -P: the distance of its positions, truncated to an int, and a tab.
inline void putDistance(LineText& out, double distance) {
    char text[16];
    char* end = std::to_chars(text, text + sizeof text, static_cast<int>(distance)).ptr;
    *end++ = '\t';
    out.put(text, static_cast<std::size_t>(end - text));
}

}  // namespace linkstat
