#include "lines.hpp"

#include <utility>

#include "error.hpp"

namespace ldplot {

void failAt(const std::string& name, long line, const std::string& reason) {
    throw ldtools::Error("ldplot: " + name + ": line " + std::to_string(line) + ": " + reason + "\n");
}

std::string lineTooLong() {
    return "line longer than " + std::to_string(LineReader::kMaxLength) + " bytes";
}

LineReader::LineReader(Read read)
    : window_(std::move(read)), scanner_(window_, ldtools::TextRules{.maxLine = kMaxLength}) {}

bool LineReader::next(std::string_view& line) {
    const ldtools::Token token = scanner_.nextLine(line);
    tooLong_ = token == ldtools::Token::lineTooLong;
    return token == ldtools::Token::line;
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
