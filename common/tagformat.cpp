#include "tagformat.hpp"

#include "numbers.hpp"

namespace ldtools {

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

bool parsePositionList(std::string_view text, std::vector<std::int32_t>& positions) {
    positions.clear();
    if (text == kEmptyList) return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view word = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
        std::int32_t position = 0;
        if (parseInt32(word, position) != WholeNumber::ok) return false;
        positions.push_back(position);
        if (comma == std::string_view::npos) return true;
        start = comma + 1;
    }
}

}  // namespace ldtools
