#include "lines.hpp"

#include <cstring>

#include "error.hpp"

namespace ldplot {

void failAt(const std::string& name, long line, const std::string& reason) {
    throw ldtools::Error("ldplot: " + name + ": line " + std::to_string(line) + ": " + reason + "\n");
}

bool LineReader::next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ == end_) {
            if (eof_) break;
            pos_ = 0;
            end_ = read_(buffer_.data(), buffer_.size());
            if (end_ == 0) {
                eof_ = true;
                break;
            }
        }
        any = true;
        const char* start = buffer_.data() + pos_;
        const void* found = std::memchr(start, '\n', end_ - pos_);
        const std::size_t length = found ? static_cast<const char*>(found) - start : end_ - pos_;
        if (line.size() + length > maxLength) {
            ++number_;
            tooLong_ = true;
            return false;
        }
        line.append(start, length);
        pos_ += length;
        if (found) {
            ++pos_;
            ++number_;
            return true;
        }
    }
    if (!any) return false;
    ++number_;
    return true;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::size_t k = 0;
    while (k < line.size()) {
        while (k < line.size() && space(line[k])) ++k;
        const std::size_t start = k;
        while (k < line.size() && !space(line[k])) ++k;
        if (k > start) words.push_back(line.substr(start, k - start));
    }
    return words;
}

std::string withThousands(long long value) {
    std::string digits = std::to_string(value < 0 ? -(value + 1) + 1ULL : static_cast<unsigned long long>(value));
    std::string result;
    for (std::size_t k = 0; k < digits.size(); ++k) {
        if (k > 0 && (digits.size() - k) % 3 == 0) result.push_back(',');
        result.push_back(digits[k]);
    }
    return value < 0 ? "-" + result : result;
}

}  // namespace ldplot
