#pragma once
// The search for the smallest sets of SNPs that tell a list of haplotypes apart (a minimum
// test cover), shared by the per-group htSNP search and by the block's true minimum.
//
// Every pair of haplotypes is a bit; every candidate SNP is the bit set of the pairs it
// separates. A set of SNPs tells the list apart when the union of its bit sets holds every
// pair that the candidates can separate at all. The search walks the subsets of one size
// in lexicographic order of their SNP indices, depth first, and skips a branch only when
// no subset in it can separate every pair; so the first subset it meets is the
// lexicographically first one of that size. Sizes are tried from a lower bound upward.
// What it skips on:
//  - the pairs still together: every one of them needs a later SNP that separates it, so
//    the next SNP can be no later than the last separating SNP of any of them;
//  - an earlier SNP outside the set that separates every pair still together that the
//    next SNP would: the set with it in place of the next SNP is as large and earlier;
//  - the most pairs a remaining SNP separates: r more SNPs separate at most the sum of the
//    r largest counts;
//  - the groups of haplotypes still together: r more SNPs give the members of a group that
//    none of them takes out with a "-" (a "-" joins neither side of a split, so one SNP can
//    resolve three haplotypes) distinct codes of r bits, so at most 2^r remain, and their
//    codes weigh (count minority alleles) at least as much as the lightest distinct codes,
//    while r SNPs carry no more minority alleles inside the group than the r largest
//    minority counts.
// Every subset formed and checked counts against a work budget: each one the walk visits,
// and each one a bound looks at (a set chosen so far with one more candidate).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace haplotypes {

// How much work htSNP searches may do, counted in subsets tested; 0 means no limit.
class SearchBudget {
public:
    explicit SearchBudget(long long limit = 0) : limit_(limit) {}

    long long limit() const { return limit_; }
    long long used() const { return used_; }
    // True once a search wanted to test a subset beyond the limit.
    bool stopped() const { return stopped_; }
    // Counts `subsets` more; false (and stopped from then on) when that would pass the limit.
    bool spend(long long subsets = 1) {
        if (stopped_ || (limit_ > 0 && subsets > limit_ - used_)) {
            stopped_ = true;
            return false;
        }
        used_ += subsets;
        return true;
    }

private:
    long long limit_;
    long long used_ = 0;
    bool stopped_ = false;
};

// Whether a SNP carrying a at one haplotype and b at another tells the two apart: different
// characters, or a character other than "0" and "1" (which joins neither group of a split).
inline bool separates(char a, char b) { return a != b || (a != '0' && a != '1'); }

class CoverSearch {
public:
    enum class Outcome { found, none, stopped };

    // The pairs of `haps` (strings of equal length) and the candidate SNPs (indices into the
    // strings, ascending). With `smallestonly`, a candidate whose pairs an earlier candidate
    // also separates is dropped: it is never part of the lexicographically first smallest
    // set, but may be part of the first set of a larger size.
    CoverSearch(std::span<const std::string* const> haps, std::span<const int> candidates, bool smallestonly);

    // True when the candidates together separate every pair.
    bool separable() const { return separable_; }
    // No set of fewer candidates separates every separable pair.
    int lowerBound() const { return lowerBound_; }

    // The lexicographically first set of `size` candidates that separates every separable
    // pair, as ascending SNP indices.
    Outcome first(int size, SearchBudget& budget, std::vector<int>& chosen);
    // The lexicographically first of the smallest such sets with at least `floor` members.
    Outcome smallest(int floor, SearchBudget& budget, std::vector<int>& chosen);
    // A separating set found without search: the SNP that separates most of the pairs still
    // together (the earliest of equals) until none is left, then without the members the
    // others make unnecessary, latest first. Ascending SNP indices.
    std::vector<int> greedy() const;

private:
    bool extend(int depth, int start);
    bool dominated(int depth, int k);
    bool boundsAllow(int depth, int start, int remaining);
    static int weightNeeded(int haps, int snps);
    static int countBits(uint64_t x);

    size_t words_ = 0;
    int pairs_ = 0;
    int count_ = 0;                     // candidates kept
    std::vector<int> snps_;             // their SNP indices
    std::vector<uint64_t> separated_;   // per candidate: the pairs it separates
    std::vector<uint64_t> target_;      // the pairs some candidate separates
    std::vector<int> lastseparating_;   // per pair: the last candidate that separates it (-1: none)
    std::vector<int> pairsafter_;       // per candidate k: most pairs any candidate from k on separates
    uint64_t universe_ = 0;             // the haplotypes the group bounds follow (of the first 64)
    std::vector<uint64_t> ones_;        // per candidate: those with "1" there
    std::vector<uint64_t> zeros_;       // per candidate: those with "0" there
    std::vector<uint64_t> dashfreefrom_;  // per candidate k: those with no "-" from k on
    bool separable_ = true;
    int lowerBound_ = 0;

    // The walk: per depth, the pairs separated so far and the groups of two or more
    // haplotypes still together.
    int size_ = 0;
    SearchBudget* budget_ = nullptr;
    bool outofbudget_ = false;
    std::vector<uint64_t> covered_;
    std::vector<std::vector<uint64_t>> groups_;
    std::vector<int> chosen_;
    std::vector<int> scratch_;
};

}  // namespace haplotypes
