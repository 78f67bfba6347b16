#pragma once
// Small synthetic inputs for the ldplot tests.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ldplottest {

struct Bounds {
    double lower;
    double upper;
};

// Bounds of each class as the block finder reads them.
constexpr Bounds strongLd{0.80, 1.00};
constexpr Bounds recombination{0.10, 0.50};
constexpr Bounds uninformative{0.50, 0.95};

// The records of a bounds file for every pair of SNPs (indices a < b into positions) less than
// 200,000 apart, with the bounds that boundsOf gives; no record where it gives nothing.
std::string boundsFile(const std::vector<std::int32_t>& positions,
                       const std::function<std::optional<Bounds>(int a, int b)>& boundsOf);

// A block file (header and one line per block of SNP indices first..last), in the order given.
std::string blockFile(const std::vector<std::int32_t>& positions, const std::vector<std::pair<int, int>>& blocks);

// n positions from start, step apart.
std::vector<std::int32_t> evenlySpaced(int n, std::int32_t start, std::int32_t step);

}  // namespace ldplottest
