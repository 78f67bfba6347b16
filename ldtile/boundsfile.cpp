#include "boundsfile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t initialBufferSize = size_t{1} << 20;

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

}  // namespace

bool parsePosition(std::string_view word, int32_t& value) {
    const char* p = word.data();
    const char* end = p + word.size();
    const char* number = p;  // from_chars takes a '-' but not a '+'
    if (p != end && (*p == '+' || *p == '-')) {
        if (*p == '+') number = p + 1;
        ++p;
    }
    size_t digits = 0;
    if (skipDigits(p, end, digits) != end || digits == 0) return false;
    auto [last, ec] = std::from_chars(number, end, value);
    return ec == std::errc() && last == end;
}

bool parseBound(std::string_view word, double& value) {
    const char* p = word.data();
    const char* end = p + word.size();
    const char* number = p;
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

BoundsFileReader::BoundsFileReader(std::string name, ReadObserver* observer)
    : name_(std::move(name)), observer_(observer), buffer_(initialBufferSize) {
    fd_ = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        errno = EISDIR;
    }
    if (fd_ < 0) fail("cannot open bounds file " + name_ + ": " + std::strerror(errno));
    if (S_ISREG(info.st_mode)) size_ = static_cast<uint64_t>(info.st_size);
}

BoundsFileReader::~BoundsFileReader() {
    if (fd_ >= 0) ::close(fd_);
}

void BoundsFileReader::fail(const std::string& message) {
    if (observer_) observer_->finished();
    std::fprintf(stderr, "ldtile: %s\n", message.c_str());
    std::exit(1);
}

void BoundsFileReader::failMalformed() {
    fail(name_ + ": line " + std::to_string(recordLine_) +
         ": expected four numbers: first position, second position, lower bound, upper bound");
}

// Appends more of the file after the valid bytes; false at the end of the file.
bool BoundsFileReader::refill() {
    if (eof_) return false;
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // one very long word
    ssize_t got;
    do {
        got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    } while (got < 0 && errno == EINTR);
    if (got < 0) fail("cannot read bounds file " + name_ + ": " + std::strerror(errno));
    if (got == 0) {
        eof_ = true;
        return false;
    }
    end_ += static_cast<size_t>(got);
    consumed_ += static_cast<uint64_t>(got);
    if (observer_) observer_->bytesRead(consumed_, size_);
    return true;
}

// The next white-space-separated word; false when only white space is left.
bool BoundsFileReader::nextWord(std::string_view& word) {
    for (;;) {
        while (pos_ < end_ && isSpace(buffer_[pos_])) {
            if (buffer_[pos_] == '\n') ++line_;
            ++pos_;
        }
        if (pos_ < end_) break;
        pos_ = end_ = 0;  // everything read is used up
        if (!refill()) return false;
    }
    size_t start = pos_;
    for (;;) {
        while (pos_ < end_ && !isSpace(buffer_[pos_])) ++pos_;
        if (pos_ < end_ || eof_) break;
        // The word may go on in the part of the file not read yet: keep it and read on.
        std::memmove(buffer_.data(), buffer_.data() + start, end_ - start);
        end_ -= start;
        pos_ = end_;
        start = 0;
        if (!refill()) break;
    }
    word = std::string_view(buffer_.data() + start, pos_ - start);
    return true;
}

bool BoundsFileReader::next(BoundsRecord& record) {
    std::string_view word;
    if (!nextWord(word)) {
        if (observer_) observer_->finished();
        return false;
    }
    recordLine_ = line_;
    if (!parsePosition(word, record.first)) failMalformed();
    if (!nextWord(word) || !parsePosition(word, record.second)) failMalformed();
    if (!nextWord(word) || !parseBound(word, record.lower)) failMalformed();
    if (!nextWord(word) || !parseBound(word, record.upper)) failMalformed();
    checkOrder(record);
    return true;
}

void BoundsFileReader::checkOrder(const BoundsRecord& record) {
    bool ascending = record.second > record.first;
    if (havePrevious_) {
        ascending = ascending && (record.first > previous_.first ||
                                  (record.first == previous_.first && record.second > previous_.second));
    }
    if (!ascending) fail(name_ + ": line " + std::to_string(recordLine_) + ": records are not in order of position");
    previous_ = record;
    havePrevious_ = true;
}
