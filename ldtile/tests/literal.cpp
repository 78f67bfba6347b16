#include "literal.hpp"

#include "LDvals.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>

namespace literal {

double share(const LDvals& ld, int snp1, int snp2) {
    const int lo = std::min(snp1, snp2);
    const int hi = std::max(snp1, snp2);
    int strong = 0;
    int informative = 0;
    for (int i = lo; i < hi; ++i) {
        for (int j = i + 1; j <= hi; ++j) {
            if (ld.getUpperlimit(i, j) < 0.9) {
                ++informative;
            } else if (ld.paircheck(i, j)) {
                ++strong;
                ++informative;
            }
        }
    }
    return static_cast<double>(strong) / informative;
}

bool accepted(const LDvals& ld, int first, int last, double LDpercentage) {
    if (!ld.paircheck(first, last)) return false;
    const int64_t span = int64_t{ld.getSNPposition(last)} - ld.getSNPposition(first);
    switch (last - first + 1) {
    case 2:
        return ld.twocheck(first, last) && span <= 9999;
    case 3:
        return ld.threecheck(first, first + 1) && ld.threecheck(first + 1, last) && span <= 19999;
    case 4:
        return share(ld, first, last) > LDpercentage && span <= 29999;
    default:
        return share(ld, first, last) > LDpercentage;
    }
}

int longestBlocks(const LDvals& ld, int start, int end, std::vector<Block>& blocks, double LDpercentage) {
    if (start >= end) return static_cast<int>(blocks.size());
    int64_t bestSpan = 0;
    Block best;
    bool found = false;
    for (int i = start; i <= end - 1; ++i) {
        for (int j = ld.chooseSNP(i, end, 200000); j >= i + 1; --j) {
            if (!accepted(ld, i, j, LDpercentage)) continue;
            const int64_t span = int64_t{ld.getSNPposition(j)} - ld.getSNPposition(i);
            if (span > bestSpan) {
                bestSpan = span;
                best = {i, j};
                found = true;
            }
            break;
        }
    }
    if (found) {
        blocks.push_back(best);
        longestBlocks(ld, start, ld.belowgap(best.first), blocks, LDpercentage);
        longestBlocks(ld, ld.abovegap(best.last), end, blocks, LDpercentage);
    }
    return static_cast<int>(blocks.size());
}

Table readByGroups(const std::string& text) {
    Table table;
    std::istringstream in(text);
    int first, second;
    double lower, upper;
    int lastFirst = 0;
    int lastIndex = -1;
    int nextSlot = 0;
    while (in >> first >> second >> lower >> upper) {
        if (first != lastFirst) {
            ++lastIndex;
            table.positions.resize(lastIndex + 1);
            table.positions[lastIndex] = first;
            lastFirst = first;
            nextSlot = lastIndex + 1;
        }
        if (int64_t{second} - first > 199999) continue;
        table.bounds[{lastIndex, nextSlot}] = {lower, upper};
        ++nextSlot;
    }
    ++lastIndex;
    table.positions.resize(lastIndex + 1);
    table.positions[lastIndex] = second;
    table.last = lastIndex;
    return table;
}

Table readByPositions(const std::string& text) {
    std::vector<Record> records;
    std::istringstream in(text);
    Record r;
    while (in >> r.first >> r.second >> r.lower >> r.upper) records.push_back(r);
    return readByPositions(records);
}

Table readByPositions(const std::vector<Record>& records) {
    Table table;
    for (const Record& record : records) {
        table.positions.push_back(record.first);
        table.positions.push_back(record.second);
    }
    std::sort(table.positions.begin(), table.positions.end());
    table.positions.erase(std::unique(table.positions.begin(), table.positions.end()), table.positions.end());
    auto index = [&](int position) {
        return static_cast<int>(std::lower_bound(table.positions.begin(), table.positions.end(), position) -
                                table.positions.begin());
    };
    for (const Record& record : records) {
        if (int64_t{record.second} - record.first <= 199999) {
            table.bounds[{index(record.first), index(record.second)}] = {record.lower, record.upper};
        }
    }
    if (table.positions.empty()) table.positions.push_back(0);
    table.last = static_cast<int>(table.positions.size()) - 1;
    return table;
}

std::string format(const std::vector<Record>& records) {
    std::string text;
    char line[96];
    for (const Record& r : records) {
        std::snprintf(line, sizeof line, "%d\t%d\t\t%5.3f\t%5.3f\n", r.first, r.second, r.lower, r.upper);
        text += line;
    }
    return text;
}

std::vector<int> randomPositions(std::mt19937& random, int count) {
    static const int gaps[] = {1, 120, 199, 200, 201, 800, 2500, 4999, 5000, 9999, 10000, 60000, 199999, 200000, 200001};
    std::discrete_distribution<int> pick({6, 4, 4, 4, 3, 6, 8, 5, 5, 4, 4, 3, 1, 1, 1});
    std::vector<int> positions;
    int position = 1000 + static_cast<int>(random() % 5000);
    for (int k = 0; k < count; ++k) {
        positions.push_back(position);
        position += gaps[pick(random)];
    }
    return positions;
}

std::pair<double, double> randomBounds(std::mt19937& random) {
    static const double strongUpper[] = {0.981, 0.99, 1.0};
    static const double strongLower[] = {0.701, 0.75, 0.751, 0.8, 0.801, 0.9};
    static const double anyUpper[] = {0.0, 0.5, 0.899, 0.9, 0.95, 0.98, 0.981, 1.0};
    static const double anyLower[] = {0.0, 0.3, 0.7, 0.701, 0.75, 0.8, 0.801};
    if (random() % 100 < 65) return {strongLower[random() % 6], strongUpper[random() % 3]};
    const double upper = anyUpper[random() % 8];
    return {std::min(upper, anyLower[random() % 7]), upper};
}

std::vector<Record> randomRecords(std::mt19937& random, const std::vector<int>& positions, Layout layout) {
    std::vector<Record> records;
    const size_t n = positions.size();
    auto add = [&](size_t i, size_t j) {
        auto [lower, upper] = randomBounds(random);
        records.push_back({positions[i], positions[j], lower, upper});
    };
    for (size_t i = 0; i + 1 < n; ++i) {
        if (layout != Layout::complete && positions[i + 1] - positions[i] > 200000) continue;
        size_t j = i + 1;
        for (; j < n && positions[j] - positions[i] < 200000; ++j) {
            const unsigned kept = layout == Layout::gaps ? 85 : layout == Layout::sparse ? 12 : 100;
            if (random() % 100 < kept) add(i, j);
        }
        if (layout != Layout::complete) continue;
        // Every SNP but the last has a group, the last group ends with the last SNP, and
        // partners farther away may follow.
        size_t end = std::max(j + random() % 3, j == i + 1 ? j + 1 : j);
        if (i + 2 == n) end = n;
        for (; j < std::min(end, n); ++j) add(i, j);
    }
    return records;
}

}  // namespace literal
