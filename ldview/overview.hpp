#pragma once
// The overview pyramid: the map folded into pixels, as ldplot folds it, at the widths base * 2^k
// that are narrower than the SNPs are many. base is the plot width halved while it stays even and
// at least kCoarsestWidth, so that a window of the plot width sees its own level (ldplot's picture
// of that width) and narrower windows have coarser levels to draw from.
//
// At width W (n SNPs) the pair of SNPs a < b falls into column (a + b + 1) * W / (2n) and row
// (b - a) * W / (2n), both rounded down; a pixel shows the class most of its pairs have (on a tie
// the first of strong LD, recombination, uninformative, no record), a pair less than kPairWindow
// apart without a record counting as "no record". Because the widths double, a pixel of one level
// is exactly the four pixels below it at the next, so every level comes from the counts of the
// finest.

#include <cstdint>
#include <vector>

#include "pairstore.hpp"
#include "workers.hpp"

namespace ldview {

struct OverviewLevel {
    std::int64_t width = 0;
    std::int64_t rows = 0;
    std::vector<std::uint8_t> classes;  // PairClass of every pixel, row by row

    std::uint8_t at(std::int64_t column, std::int64_t row) const {
        return classes[static_cast<std::size_t>(row * width + column)];
    }
};

// Rows of the folded map at width W: enough for the deepest pair, (depth + 1) * W / (2n) rounded up.
std::int64_t foldedRows(std::int64_t width, std::int64_t snps, std::int64_t depth);

constexpr std::int64_t kCoarsestWidth = 128;

// The levels for plotWidth (level k is base * 2^k wide), coarsest first; none when the SNPs fit in
// base columns.
std::vector<OverviewLevel> buildOverview(const PairStore& store, std::int64_t plotWidth, ldtools::WorkerTeam& team);

}  // namespace ldview
