#include "boundsinput.hpp"

#include <cmath>
#include <cstring>

#include "boundsformat.hpp"
#include "numbers.hpp"
#include "error.hpp"

namespace ldview {
namespace {

constexpr std::string_view kIndexedHeader = "#chrom\tpos1\tpos2\tlower\tupper";
// A longer word is an error of its line, so that a file without white space cannot fill memory.
constexpr std::size_t kMaxWordLength = std::size_t{4} << 20;

inline bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The bound as a double, on the grid or not: the rule every other form of the text is held to.
int hundredthsOfNumber(std::string_view word) {
    double value = 0;
    if (!ldtools::parseDecimal(word, value)) return -2;
    if (!(value > -0.005 && value < 1.005)) return -1;
    const long hundredths = std::lround(value * 100);
    if (hundredths < 0 || hundredths > 100 || value != static_cast<double>(hundredths) / 100.0) return -1;
    return static_cast<int>(hundredths);
}

}  // namespace

int hundredthsOf(std::string_view word) {
    // Digits, a point and digits whose third and later are zeros ("0.350", "1"): the hundredths are
    // read off the text, and the double of the text is that many hundredths. Anything else takes the
    // general rule.
    std::size_t k = 0;
    int whole = 0;
    while (k < word.size() && isDigit(word[k]) && whole <= 100) whole = whole * 10 + (word[k++] - '0');
    if (k == 0 || whole > 1) return hundredthsOfNumber(word);
    int hundredths = whole * 100;
    if (k < word.size()) {
        if (word[k] != '.') return hundredthsOfNumber(word);
        ++k;
        for (int place = 10; place >= 1 && k < word.size() && isDigit(word[k]); place /= 10)
            hundredths += place * (word[k++] - '0');
        while (k < word.size() && word[k] == '0') ++k;
        if (k < word.size()) return hundredthsOfNumber(word);
    }
    return hundredths <= 100 ? hundredths : -1;
}

BoundsInput::BoundsInput(const std::string& name) : name_(name) {
    try {
        buffer_ = std::make_unique<SourceBuffer>(openSource(name));
    } catch (const SourceError& error) {
        throw ldtools::Error("ldview: cannot open bounds file " + name + ": " + error.what() + "\n");
    }
    // The indexed form begins with its header line, exactly.
    try {
        while (buffer_->available() < kIndexedHeader.size() + 2 && buffer_->fill()) {
        }
    } catch (const SourceError& error) {
        readFailed(error);
    }
    const std::string_view start(buffer_->data(), buffer_->available());
    // Compressed data are recognised in regular files only: a pipe cannot be read twice.
    if (!buffer_->compressed() && start.substr(0, 2) == "\x1f\x8b")
        throw ldtools::Error("ldview: cannot read bounds file " + name +
                             ": gzip-compressed data are read from a regular file only, not from a pipe\n");
    if (start.substr(0, kIndexedHeader.size()) == kIndexedHeader) {
        const std::string_view rest = start.substr(kIndexedHeader.size());
        if (rest.empty() || rest[0] == '\n' || rest.substr(0, 2) == "\r\n") {
            indexed_ = true;
            buffer_->consume(kIndexedHeader.size());
        }
    }
}

void BoundsInput::readFailed(const SourceError& error) const {
    throw ldtools::Error("ldview: cannot read bounds file " + name_ + ": " + error.what() + "\n");
}

void BoundsInput::fail(const std::string& reason) const {
    throw ldtools::Error("ldview: " + name_ + ": line " + std::to_string(recordLine_) + ": " + reason + "\n");
}

void BoundsInput::malformed() const {
    fail(indexed_ ? "expected five fields: chromosome, first position, second position, lower bound, upper bound"
                  : "expected four numbers: first position, second position, lower bound, upper bound");
}

bool BoundsInput::nextWord(std::string_view& word) {
    try {
        for (;;) {
            const char* text = buffer_->data();
            const std::size_t available = buffer_->available();
            std::size_t k = 0;
            while (k < available && isSpace(text[k])) {
                if (text[k] == '\n') ++line_;
                ++k;
            }
            buffer_->consume(k);
            if (k < available) break;
            if (!buffer_->fill()) return false;
        }
        // The word may go on in the part of the file not read yet: keep it and read on.
        std::size_t length = 0;
        for (;;) {
            const char* text = buffer_->data();
            const std::size_t available = buffer_->available();
            while (length < available && !isSpace(text[length])) ++length;
            if (length > kMaxWordLength) {
                recordLine_ = line_;
                fail("word longer than " + std::to_string(kMaxWordLength) + " bytes");
            }
            if (length < available || !buffer_->fill()) break;
        }
        word = std::string_view(buffer_->data(), length);
        buffer_->consume(length);
        return true;
    } catch (const SourceError& error) {
        readFailed(error);
    }
}

std::int32_t BoundsInput::position(std::string_view word) {
    // Up to nine digits cannot leave 32 bits: read them here; anything else by the common rule.
    if (!word.empty() && word.size() <= 9) {
        std::int32_t value = 0;
        std::size_t k = 0;
        while (k < word.size() && isDigit(word[k])) value = value * 10 + (word[k++] - '0');
        if (k == word.size()) return value;
    }
    std::int32_t value = 0;
    if (!ldtools::parsePosition(word, value)) malformed();
    return value;
}

std::uint8_t BoundsInput::bound(std::string_view word, const char* which) {
    const int hundredths = hundredthsOf(word);
    if (hundredths == -2) malformed();
    if (hundredths < 0)
        fail(std::string(which) + " bound " + ldtools::quotable(word) +
             " is not a whole number of hundredths from 0 to 1 (linkstat's 0.01 grid), which a view stores");
    return static_cast<std::uint8_t>(hundredths);
}

bool BoundsInput::nextLine(PairRecord& record) {
    // The word-by-word reader leaves the line break of its last record.
    while (buffer_->available() > 0 && (buffer_->data()[0] == '\n' || buffer_->data()[0] == '\r')) {
        if (buffer_->data()[0] == '\n') ++line_;
        buffer_->consume(1);
    }
    const char* text = buffer_->data();
    const char* end = static_cast<const char*>(std::memchr(text, '\n', buffer_->available()));
    if (end == nullptr) return false;
    const char* p = text;
    auto word = [&]() {
        while (p < end && (*p == ' ' || *p == '\t')) ++p;
        const char* start = p;
        while (p < end && *p != ' ' && *p != '\t' && *p != '\r') ++p;
        return std::string_view(start, static_cast<std::size_t>(p - start));
    };
    auto digits = [](std::string_view w, std::int32_t& value) {
        if (w.empty() || w.size() > 9) return false;
        value = 0;
        for (char c : w) {
            if (!isDigit(c)) return false;
            value = value * 10 + (c - '0');
        }
        return true;
    };
    if (indexed_ && (chromosome_.empty() || word() != chromosome_)) return false;
    if (!digits(word(), record.first) || !digits(word(), record.second)) return false;
    const int lower = hundredthsOf(word());
    const int upper = hundredthsOf(word());
    if (lower < 0 || upper < 0) return false;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
    if (p != end) return false;
    record.lower = static_cast<std::uint8_t>(lower);
    record.upper = static_cast<std::uint8_t>(upper);
    recordLine_ = line_;
    checkOrder(record);
    buffer_->consume(static_cast<std::size_t>(end - text) + 1);
    ++line_;
    return true;
}

bool BoundsInput::next(PairRecord& record) {
    if (nextLine(record)) return true;
    std::string_view word;
    if (!nextWord(word)) return false;
    recordLine_ = line_;
    if (indexed_) {
        if (chromosome_.empty()) {
            if (word.empty() || word[0] == '#') malformed();
            chromosome_ = word;
        } else if (word != chromosome_) {
            fail("chromosome " + ldtools::quotable(word) + " after " + ldtools::quotable(chromosome_) +
                 ": a view holds one chromosome");
        }
        if (!nextWord(word)) malformed();
    }
    record.first = position(word);
    if (!nextWord(word)) malformed();
    record.second = position(word);
    if (!nextWord(word)) malformed();
    record.lower = bound(word, "lower");
    if (!nextWord(word)) malformed();
    record.upper = bound(word, "upper");
    checkOrder(record);
    return true;
}

void BoundsInput::checkOrder(const PairRecord& record) {
    bool ascending = record.second > record.first;
    if (havePrevious_)
        ascending = ascending && (record.first > previous_.first ||
                                  (record.first == previous_.first && record.second > previous_.second));
    if (!ascending) fail("records are not in order of position");
    previous_ = record;
    havePrevious_ = true;
}

}  // namespace ldview
