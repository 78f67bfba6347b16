#include "linetext.hpp"

namespace linkstat {

namespace {

std::string printed(double value) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%5.3f", value);
    return std::string(text, static_cast<std::size_t>(length));
}

BoundTexts makeBoundTexts() {
    BoundTexts texts;
    for (int s = 0; s <= kGridSteps; ++s) {
        texts.lower[s] = std::string(1, '\t').append(printed(risingTheta(s))).append(1, '\t');
        texts.upper[s] = printed(fallingTheta(s)).append(1, '\n');
    }
    return texts;
}

}  // namespace

const BoundTexts& boundTexts() {
    static const BoundTexts texts = makeBoundTexts();
    return texts;
}

}  // namespace linkstat
