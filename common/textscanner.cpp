#include "textscanner.hpp"

#include <utility>

#include "reader.hpp"

namespace ldtools {

StreamWindow::StreamWindow(Read read, std::size_t bufferSize)
    : read_(std::move(read)), buffer_(bufferSize > 0 ? bufferSize : 1) {}

bool StreamWindow::fill() {
    if (atEnd_) return false;
    makeRoomAfterUnread(buffer_, pos_, end_);
    const std::size_t got = read_(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) atEnd_ = true;
    end_ += got;
    return got > 0;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t k = 0;
    while (k < line.size()) {
        while (k < line.size() && isBlank(line[k])) ++k;
        const std::size_t start = k;
        while (k < line.size() && !isBlank(line[k])) ++k;
        if (k > start) words.push_back(line.substr(start, k - start));
    }
    return words;
}

std::string_view trimmed(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace ldtools
