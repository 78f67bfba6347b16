// The number words of a bounds file against the C library's conversions of the same text.
//
//  - Positions (ldtile's parsePosition, common's parseInt32): a word is taken exactly when
//    strtoll reads all of it, without leading white space, to a value within 32 bits, and then
//    with strtoll's value; a whole number beyond 32 bits is told apart from other text.
//  - Bounds (parseBound): a word that is taken is read by strtod, all of it, to the same double,
//    bit for bit, and a finite one; a word that strtod reads all of to a finite number is refused
//    only when it is not plain decimal (hexadecimal, "inf", "nan"). A taken bound is stored and
//    read back unchanged.

#include "boundsfile.hpp"
#include "boundstore.hpp"
#include "numbers.hpp"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void mismatch(const char* what, const std::string& text) {
    std::fprintf(stderr, "fuzz_numbers: %s: \"%s\"\n", what, text.c_str());
    std::abort();
}

bool startsPlain(const std::string& text) {
    return !text.empty() && !(text[0] == ' ' || (text[0] >= '\t' && text[0] <= '\r'));
}

void checkWhole(const std::string& text) {
    const std::string_view word(text);
    errno = 0;
    char* end = nullptr;
    const long long expected = std::strtoll(text.c_str(), &end, 10);
    const bool readAll = startsPlain(text) && end == text.c_str() + text.size();
    const bool fits = readAll && errno == 0 && expected >= INT32_MIN && expected <= INT32_MAX;

    int32_t value = 0;
    const ldtools::WholeNumber result = ldtools::parseInt32(word, value);
    if ((result == ldtools::WholeNumber::ok) != fits) mismatch("parseInt32 takes or refuses wrongly", text);
    if (fits && value != expected) mismatch("parseInt32 value", text);
    if ((result == ldtools::WholeNumber::outOfRange) != (readAll && !fits)) mismatch("parseInt32 range", text);

    int32_t position = 0;
    if (ldtile::parsePosition(word, position) != fits) mismatch("parsePosition takes or refuses wrongly", text);
    if (fits && position != expected) mismatch("parsePosition value", text);
}

void checkBound(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double expected = std::strtod(text.c_str(), &end);
    const bool readAll = startsPlain(text) && end == text.c_str() + text.size();
    const bool finite = readAll && std::isfinite(expected);
    const bool plain = text.find_first_of("xXiInNpP") == std::string::npos;

    double value = 0;
    const bool taken = ldtile::parseBound(text, value);
    if (taken && !finite) mismatch("parseBound takes what strtod does not read as a finite number", text);
    if (!taken && finite && plain) mismatch("parseBound refuses a decimal number", text);
    if (taken && std::memcmp(&value, &expected, sizeof value) != 0) mismatch("parseBound value", text);
    if (taken) {
        static ldtile::BoundStore store;
        store.clear();
        store.append(value, -value);
        const double upper = store.upper(0);
        const double lower = store.lower(0);
        const double negated = -value;
        if (std::memcmp(&upper, &value, sizeof value) != 0 || std::memcmp(&lower, &negated, sizeof value) != 0) {
            mismatch("stored bound", text);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    // The text up to the first NUL, as the C conversions see it.
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    checkWhole(text);
    checkBound(text);
    return 0;
}
