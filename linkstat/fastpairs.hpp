#pragma once
// Fast evaluation of the pair loop: the same report bytes as the pair-by-pair loop of pairs.cpp.
//
// The tail of a pair line depends only on the phase-known counts (k00, k01, k10, k11) and the double
// heterozygotes dh of its genotype table (in actual-haplotype mode: the four phased counts, dh = 0),
// because X, the margins and T all follow from them. The fast loop counts the tables on bit-packed
// genotypes and memoises the tail per count key. It works in chunks of pairs: a first walk gathers
// the keys not seen before, these are evaluated grouped by their margins (gridbounds.hpp), and a
// second walk writes the lines.

#include <cstddef>

#include "linkstat.hpp"

inline constexpr double kPairWindow = 200000;
inline constexpr const char* kEmptyMarginTail = "0 0 0 0 0 0 0 1\n";

void fastPairs(int nChromosomes, int nMarkers, const double* positions, const double* ratios,
               const AlleleTable& alleles, HaploMode mode);

// Memory limits of the fast loop: new keys evaluated per chunk, and keys kept memoised (the memo is
// emptied when a chunk's keys would not fit). Tests lower them to exercise both boundaries.
struct FastPairLimits {
    std::size_t chunkKeys;
    std::size_t memoKeys;
};
FastPairLimits defaultFastPairLimits();
void setFastPairLimits(const FastPairLimits& limits);
