#include "boundsfile.hpp"

#include "error.hpp"
#include "numbers.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace ldtile {
namespace {

constexpr std::size_t readBufferSize = std::size_t{1} << 20;

// The white space that separates numbers: the characters isspace accepts in the C locale.
inline bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipDigits(const char* p, const char* end, size_t& count) {
    while (p != end && isDigit(*p)) {
        ++p;
        ++count;
    }
    return p;
}

ldtools::FileReader openBoundsFile(const std::string& name) {
    try {
        return ldtools::FileReader(name, readBufferSize);
    } catch (const ldtools::SystemError& error) {
        throw BoundsFileError("cannot open bounds file " + name + ": " + error.reason());
    }
}

}  // namespace

bool parsePosition(std::string_view word, int32_t& value) {
    return ldtools::parseInt32(word, value) == ldtools::WholeNumber::ok;
}

bool parseBound(std::string_view word, double& value) {
    const char* p = word.data();
    const char* end = p + word.size();
    const char* number = p;  // from_chars takes a '-' but not a '+'
    if (p != end && (*p == '+' || *p == '-')) {
        if (*p == '+') number = p + 1;
        ++p;
    }
    size_t mantissaDigits = 0;
    p = skipDigits(p, end, mantissaDigits);
    if (p != end && *p == '.') p = skipDigits(p + 1, end, mantissaDigits);
    if (mantissaDigits == 0) return false;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p != end && (*p == '+' || *p == '-')) ++p;
        size_t exponentDigits = 0;
        p = skipDigits(p, end, exponentDigits);
        if (exponentDigits == 0) return false;
    }
    if (p != end) return false;

    auto [last, ec] = std::from_chars(number, end, value, std::chars_format::general);
    if (ec == std::errc() && last == end) return true;
    if (ec != std::errc::result_out_of_range) return false;
    // Underflow gives strtod's tiny or zero value, which is a number; overflow is not finite.
    std::string text(number, end);
    double converted = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(converted)) return false;
    value = converted;
    return true;
}

// The file is opened here, once; a folder is refused.
BoundsFileReader::BoundsFileReader(const std::string& name) : file_(openBoundsFile(name)) {}

void BoundsFileReader::failAt(long line, const std::string& reason) const {
    throw BoundsFileError(name() + ": line " + std::to_string(line) + ": " + reason);
}

// Reads more of the file after the unread bytes; false at the end of the file.
bool BoundsFileReader::fill() {
    try {
        return file_.fill();
    } catch (const ldtools::SystemError& error) {
        throw BoundsFileError("cannot read bounds file " + name() + ": " + error.reason());
    }
}

// The next white-space-separated word; false when only white space is left. The word stays valid
// until the next call.
bool BoundsFileReader::nextWord(std::string_view& word) {
    for (;;) {
        const char* text = file_.data();
        const size_t available = file_.available();
        size_t k = 0;
        while (k < available && isSpace(text[k])) {
            if (text[k] == '\n') ++line_;
            ++k;
        }
        file_.consume(k);
        if (k < available) break;
        if (!fill()) return false;
    }
    // The word may go on in the part of the file not read yet: keep it and read on.
    size_t length = 0;
    for (;;) {
        const char* text = file_.data();
        const size_t available = file_.available();
        while (length < available && !isSpace(text[length])) ++length;
        if (length > maxWordLength) {
            failAt(line_, "word longer than " + std::to_string(maxWordLength) + " bytes");
        }
        if (length < available || !fill()) break;
    }
    word = std::string_view(file_.data(), length);
    file_.consume(length);
    return true;
}

bool BoundsFileReader::next(BoundsRecord& record) {
    static const char* const malformed =
        "expected four numbers: first position, second position, lower bound, upper bound";
    std::string_view word;
    if (!nextWord(word)) return false;
    recordLine_ = line_;
    if (!parsePosition(word, record.first)) failAt(recordLine_, malformed);
    if (!nextWord(word) || !parsePosition(word, record.second)) failAt(recordLine_, malformed);
    if (!nextWord(word) || !parseBound(word, record.lower)) failAt(recordLine_, malformed);
    if (!nextWord(word) || !parseBound(word, record.upper)) failAt(recordLine_, malformed);
    checkOrder(record);
    return true;
}

void BoundsFileReader::checkOrder(const BoundsRecord& record) {
    bool ascending = record.second > record.first;
    if (havePrevious_) {
        ascending = ascending && (record.first > previous_.first ||
                                  (record.first == previous_.first && record.second > previous_.second));
    }
    if (!ascending) failAt(recordLine_, "records are not in order of position");
    previous_ = record;
    havePrevious_ = true;
}

}  // namespace ldtile
