#include "synthetic.hpp"

#include <cstdio>

namespace ldplottest {

std::string boundsFile(const std::vector<std::int32_t>& positions,
                       const std::function<std::optional<Bounds>(int a, int b)>& boundsOf) {
    std::string text;
    const int n = static_cast<int>(positions.size());
    for (int a = 0; a < n; ++a) {
        for (int b = a + 1; b < n && positions[b] - positions[a] < 200000; ++b) {
            const std::optional<Bounds> bounds = boundsOf(a, b);
            if (!bounds) continue;
            char line[96];
            std::snprintf(line, sizeof line, "%d\t%d\t%.3f\t%.3f\n", positions[a], positions[b], bounds->lower,
                          bounds->upper);
            text += line;
        }
    }
    return text;
}

std::string blockFile(const std::vector<std::int32_t>& positions, const std::vector<std::pair<int, int>>& blocks) {
    std::string text = "SNP1\tindex\tSNP2\tindex\n";
    for (const auto& [first, last] : blocks)
        text += std::to_string(positions[first]) + "\t" + std::to_string(first) + "\t" +
                std::to_string(positions[last]) + "\t" + std::to_string(last) + "\n";
    return text;
}

std::vector<std::int32_t> evenlySpaced(int n, std::int32_t start, std::int32_t step) {
    std::vector<std::int32_t> positions;
    for (int k = 0; k < n; ++k) positions.push_back(start + k * step);
    return positions;
}

}  // namespace ldplottest
