#pragma once
// Fast evaluation of the pair loop: the same report bytes as the pair-by-pair loop of pairs.cpp.
//
// The tail of a pair line depends only on the phase-known counts (k00, k01, k10, k11) and the double
// heterozygotes dh of its genotype table (in actual-haplotype mode: the four phased counts, dh = 0),
// because X, the margins and T all follow from them. The fast loop counts the tables on the packed
// allele codes, 64 individuals at a time, and memoises the tail per count key. It works in rounds of
// pairs: a first walk gathers the keys not seen before, these are evaluated grouped by their margins
// (gridbounds.hpp), and a second walk makes the lines. A team of threads shares each step, block by
// block of pairs; the main thread alone enters new keys in the memo and writes the blocks' text in the
// order of the pairs, so the report does not depend on the number of threads.
//
// Its parts: the count keys (countkeys.hpp), the memo (tailcache.hpp), the keys met in a block
// (blockkeys.hpp), the walk and its blocks (pairblocks.hpp), the text of the lines (linetext.hpp), and
// the rounds of one set (fastpairs.cpp); the ordered writing is the team's forEachInOrder (workers.hpp).

#include <memory>

#include "settings.hpp"

namespace linkstat {

class MarkerSet;
struct Run;

// What the fast loop keeps from set to set: the memo of tails per count key, for one counting mode.
class FastPairs {
public:
    // threads: the members of the team that evaluates a set (0: one per processor it may run on).
    FastPairs(const FastPairLimits& limits, HaploMode mode, int threads);
    ~FastPairs();
    FastPairs(const FastPairs&) = delete;
    FastPairs& operator=(const FastPairs&) = delete;

    // Writes the report lines of one marker set.
    void pairs(Run& run, const MarkerSet& set);

private:
    struct Memos;
    FastPairLimits limits_;
    HaploMode mode_;
    int threads_;
    std::unique_ptr<Memos> memos_;  // with the team, started with the first set that has pairs
};

}  // namespace linkstat
