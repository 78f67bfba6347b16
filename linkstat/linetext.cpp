#include "linetext.hpp"

#include <stdexcept>

namespace linkstat {

namespace {

// The text of the format with one value: every value of a walk prints within a piece.
Piece printed(const char* format, double value) {
    Piece piece{};
    const int length = std::snprintf(piece.chars, sizeof piece.chars, format, value);
    if (length < 0 || length >= static_cast<int>(sizeof piece.chars)) throw std::logic_error("bound text too long");
    piece.length = static_cast<std::uint8_t>(length);
    return piece;
}

BoundTexts makeBoundTexts() {
    BoundTexts texts;
    for (int s = 0; s <= kGridSteps; ++s) {
        texts.lower[s] = printed("\t%5.3f\t", risingTheta(s));
        texts.upper[s] = printed("%5.3f\n", fallingTheta(s));
    }
    return texts;
}

}  // namespace

const BoundTexts& boundTexts() {
    static const BoundTexts texts = makeBoundTexts();
    return texts;
}

}  // namespace linkstat
