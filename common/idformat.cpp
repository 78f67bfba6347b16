#include "idformat.hpp"

#include <algorithm>
#include <numeric>

namespace ldtools {

std::string snpName(const IdLine& line, std::string_view chromosome) {
    if (line.id != "." || chromosome.empty()) return std::string(line.id);
    std::string name(chromosome);
    name.push_back(':');
    name += std::to_string(line.position);
    name.push_back(':');
    name.append(line.ref);
    name.push_back(':');
    name.append(line.alt);
    return name;
}

IdTable IdTable::read(const std::string& name, std::string_view chromosome) {
    TextInput input(name);
    IdFileReader reader(input, kMaxLine);
    std::vector<std::int32_t> positions;
    std::vector<std::string> names;
    std::vector<long> lines;
    IdLine entry;
    for (IdRead read; (read = reader.next(entry)) != IdRead::end;) {
        if (read == IdRead::malformed) throw FormatError(reader.line(), std::string(kIdLineReason));
        if (read == IdRead::lineTooLong)
            throw FormatError(reader.line(), "line longer than " + std::to_string(kMaxLine) + " bytes");
        positions.push_back(entry.position);
        names.push_back(snpName(entry, chromosome));
        lines.push_back(reader.line());
    }
    // The file is in the order of the marker file (ascending); any order is taken.
    std::vector<std::size_t> order(positions.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (!std::is_sorted(positions.begin(), positions.end()))
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return positions[a] < positions[b]; });
    IdTable table;
    table.positions_.reserve(order.size());
    table.names_.reserve(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t at = order[k];
        if (k > 0 && positions[at] == table.positions_.back()) {
            const long line = std::max(lines[at], lines[order[k - 1]]);
            throw FormatError(line, "position " + std::to_string(positions[at]) + " is named twice");
        }
        table.positions_.push_back(positions[at]);
        table.names_.push_back(std::move(names[at]));
    }
    return table;
}

const std::string* IdTable::nameAt(std::int32_t position) const {
    const auto found = std::lower_bound(positions_.begin(), positions_.end(), position);
    if (found == positions_.end() || *found != position) return nullptr;
    return &names_[static_cast<std::size_t>(found - positions_.begin())];
}

// A scan of every name: a query names a few SNPs, and a table by name would cost more to build
// than the scans it saves.
std::vector<std::int32_t> IdTable::positionsOf(std::string_view name) const {
    std::vector<std::int32_t> positions;
    for (std::size_t k = 0; k < names_.size(); ++k)
        if (names_[k] == name) positions.push_back(positions_[k]);
    return positions;
}

}  // namespace ldtools
