#include "boundsformat.hpp"

#include <cmath>

#include "error.hpp"
#include "numbers.hpp"

namespace ldtools {
namespace {

// Large reads: a bounds file runs to gigabytes.
constexpr std::size_t kReadBufferSize = std::size_t{1} << 20;

std::unique_ptr<TextInput> openInput(const std::string& name) {
    try {
        return std::make_unique<TextInput>(name, kReadBufferSize);
    } catch (const InputError& error) {
        throw BoundsFileError("cannot " + error.operation() + " bounds file " + name + ": " + error.what());
    }
}

}  // namespace

bool parsePosition(std::string_view word, std::int32_t& value) {
    return parseInt32(word, value) == WholeNumber::ok;
}

int gridHundredths(double value) {
    if (!(value > -0.005 && value < 1.005)) return -1;
    const long hundredths = std::lround(value * 100);
    if (hundredths < 0 || hundredths > 100 || value != static_cast<double>(hundredths) / 100.0) return -1;
    return static_cast<int>(hundredths);
}

int hundredthsOf(std::string_view word) {
    double value = 0;
    if (!parseDecimal(word, value)) return -2;
    return gridHundredths(value);
}

const std::string& BoundsSource::chromosome() const {
    static const std::string kNone;
    return kNone;
}

BoundsReader::BoundsReader(const std::string& name, const BoundsRules& rules)
    : BoundsReader(openInput(name), rules) {}

BoundsReader::BoundsReader(std::unique_ptr<TextInput> input, const BoundsRules& rules)
    : input_(std::move(input)), scanner_(*input_, TextRules{.maxWord = kMaxWordLength}), rules_(rules) {}

void BoundsReader::failAt(long line, const std::string& reason) const {
    throw BoundsFileError(name() + ": line " + std::to_string(line) + ": " + reason, BoundsProblem::malformed);
}

void BoundsReader::malformed() const {
    failAt(recordLine_, "expected four numbers: first position, second position, lower bound, upper bound");
}

// The next word; false when only white space is left.
bool BoundsReader::nextWord(std::string_view& word) {
    Token token;
    try {
        token = scanner_.nextWord(word);
    } catch (const InputError& error) {
        throw BoundsFileError("cannot read bounds file " + name() + ": " + error.what());
    }
    if (token == Token::wordTooLong)
        failAt(scanner_.line(), "word longer than " + std::to_string(kMaxWordLength) + " bytes");
    return token == Token::word;
}

void BoundsReader::checkBound(std::string_view word, double value, const char* which) {
    if (gridHundredths(value) >= 0) return;
    throw BoundsFileError(BoundsProblem::offGrid, name() + ": line " + std::to_string(recordLine_),
                          std::string(which) + " bound " + quotable(word),
                          std::string(which) + " bound " + quotable(word) +
                              " is not a whole number of hundredths from 0 to 1 (linkstat's 0.01 grid)");
}

template <bool keepWords>
bool BoundsReader::read(BoundsRecord& record) {
    std::string_view word;
    if (!nextWord(word)) return false;
    recordLine_ = scanner_.line();
    if (!parsePosition(word, record.first)) malformed();
    if constexpr (keepWords) words_[0].assign(word);
    if (!nextWord(word) || !parsePosition(word, record.second)) malformed();
    if constexpr (keepWords) words_[1].assign(word);
    if (!nextWord(word) || !parseDecimal(word, record.lower)) malformed();
    if (rules_.onGrid) checkBound(word, record.lower, "lower");
    if constexpr (keepWords) words_[2].assign(word);
    if (!nextWord(word) || !parseDecimal(word, record.upper)) malformed();
    if (rules_.onGrid) checkBound(word, record.upper, "upper");
    if constexpr (keepWords) words_[3].assign(word);
    checkOrder(record);
    return true;
}

bool BoundsReader::next(BoundsRecord& record) {
    return read<false>(record);
}

bool BoundsReader::next(BoundsRecord& record, BoundsWords& words) {
    if (!read<true>(record)) return false;
    words = {words_[0], words_[1], words_[2], words_[3]};
    return true;
}

void BoundsReader::checkOrder(const BoundsRecord& record) {
    bool ascending = record.second > record.first;
    if (havePrevious_) {
        ascending = ascending && (record.first > previous_.first ||
                                  (record.first == previous_.first && record.second > previous_.second));
    }
    if (!ascending)
        throw BoundsFileError(name() + ": line " + std::to_string(recordLine_) + ": records are not in order of position",
                              BoundsProblem::order);
    previous_ = record;
    havePrevious_ = true;
}

}  // namespace ldtools
