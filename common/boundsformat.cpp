#include "boundsformat.hpp"

#include "error.hpp"
#include "numbers.hpp"

namespace ldtools {
namespace {

// Large reads: a bounds file runs to gigabytes.
constexpr std::size_t kReadBufferSize = std::size_t{1} << 20;

}  // namespace

bool parsePosition(std::string_view word, std::int32_t& value) {
    return parseInt32(word, value) == WholeNumber::ok;
}

// The file is opened here, once; a folder is refused.
BoundsReader::File::File(const std::string& name) try : FileReader(name, kReadBufferSize) {
} catch (const SystemError& error) {
    throw BoundsFileError("cannot open bounds file " + name + ": " + error.reason());
}

bool BoundsReader::File::fill() {
    try {
        return FileReader::fill();
    } catch (const SystemError& error) {
        throw BoundsFileError("cannot read bounds file " + name() + ": " + error.reason());
    }
}

BoundsReader::BoundsReader(const std::string& name) : file_(name), scanner_(file_, TextRules{.maxWord = kMaxWordLength}) {}

void BoundsReader::failAt(long line, const std::string& reason) const {
    throw BoundsFileError(name() + ": line " + std::to_string(line) + ": " + reason);
}

// The next word; false when only white space is left.
bool BoundsReader::nextWord(std::string_view& word) {
    const Token token = scanner_.nextWord(word);
    if (token == Token::wordTooLong)
        failAt(scanner_.line(), "word longer than " + std::to_string(kMaxWordLength) + " bytes");
    return token == Token::word;
}

bool BoundsReader::next(BoundsRecord& record) {
    static const char* const malformed =
        "expected four numbers: first position, second position, lower bound, upper bound";
    std::string_view word;
    if (!nextWord(word)) return false;
    recordLine_ = scanner_.line();
    if (!parsePosition(word, record.first)) failAt(recordLine_, malformed);
    if (!nextWord(word) || !parsePosition(word, record.second)) failAt(recordLine_, malformed);
    if (!nextWord(word) || !parseDecimal(word, record.lower)) failAt(recordLine_, malformed);
    if (!nextWord(word) || !parseDecimal(word, record.upper)) failAt(recordLine_, malformed);
    checkOrder(record);
    return true;
}

void BoundsReader::checkOrder(const BoundsRecord& record) {
    bool ascending = record.second > record.first;
    if (havePrevious_) {
        ascending = ascending && (record.first > previous_.first ||
                                  (record.first == previous_.first && record.second > previous_.second));
    }
    if (!ascending) failAt(recordLine_, "records are not in order of position");
    previous_ = record;
    havePrevious_ = true;
}

std::unique_ptr<BoundsSource> openBounds(const std::string& name) {
    return std::make_unique<BoundsReader>(name);
}

}  // namespace ldtools
