#include "blockformat.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ldtools {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The number a line begins with, as its parts: the sign, the digits before the point without
// leading zeros, the digits after it without trailing zeros. Zero (every digit 0, or no digit at
// all) has no sign.
struct LeadingNumber {
    bool negative = false;
    std::string_view whole;
    std::string_view fraction;

    explicit LeadingNumber(std::string_view line) {
        std::size_t k = 0;
        while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
        const bool minus = k < line.size() && line[k] == '-';
        if (minus) ++k;
        std::size_t start = k;
        while (k < line.size() && isDigit(line[k])) ++k;
        whole = line.substr(start, k - start);
        whole.remove_prefix(std::min(whole.find_first_not_of('0'), whole.size()));
        if (k < line.size() && line[k] == '.') {
            start = ++k;
            while (k < line.size() && isDigit(line[k])) ++k;
            fraction = line.substr(start, k - start);
            const std::size_t last = fraction.find_last_not_of('0');
            fraction = fraction.substr(0, last == std::string_view::npos ? 0 : last + 1);
        }
        negative = minus && !(whole.empty() && fraction.empty());
    }
};

int sign(int value) { return (value > 0) - (value < 0); }

// Compares the magnitudes: the longer whole part is larger; equal lengths compare digit by digit,
// then the fractions digit by digit (a fraction that another one begins is the smaller).
int compareMagnitudes(const LeadingNumber& a, const LeadingNumber& b) {
    if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
    if (const int whole = a.whole.compare(b.whole); whole != 0) return sign(whole);
    return sign(a.fraction.compare(b.fraction));
}

int compareNumbers(std::string_view a, std::string_view b) {
    const LeadingNumber x(a);
    const LeadingNumber y(b);
    const auto rank = [](const LeadingNumber& n) { return n.negative ? -1 : n.whole.empty() && n.fraction.empty() ? 0 : 1; };
    if (rank(x) != rank(y)) return rank(x) < rank(y) ? -1 : 1;
    const int magnitude = compareMagnitudes(x, y);
    return x.negative ? -magnitude : magnitude;
}

}  // namespace

bool beginsLikeNumber(std::string_view word) {
    const std::size_t i = !word.empty() && (word[0] == '+' || word[0] == '-') ? 1 : 0;
    return i < word.size() && isDigit(word[i]);
}

int compareBlockLines(std::string_view a, std::string_view b) {
    if (const int numbers = compareNumbers(a, b); numbers != 0) return numbers;
    const int bytes = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (bytes != 0) return sign(bytes);
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

std::string sortBlockFile(std::string_view content) {
    const std::size_t headerEnd = content.find('\n');
    if (headerEnd == std::string_view::npos) return std::string(content);
    std::vector<std::string_view> lines;
    for (std::size_t start = headerEnd + 1; start < content.size();) {
        const std::size_t end = std::min(content.find('\n', start), content.size());
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    std::sort(lines.begin(), lines.end(),
              [](std::string_view a, std::string_view b) { return compareBlockLines(a, b) < 0; });
    std::string sorted(content.substr(0, headerEnd + 1));
    sorted.reserve(content.size() + 1);
    for (const std::string_view line : lines) {
        sorted.append(line);
        sorted.push_back('\n');
    }
    return sorted;
}

}  // namespace ldtools
