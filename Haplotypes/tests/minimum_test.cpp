// The smallest sets of SNPs that tell haplotypes apart: the search against every subset on
// thousands of random lists, the hard family of 16 haplotypes whose SNPs each mark one
// pair, and what the work budget does.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "htsnps.hpp"

namespace {

using haplotypes::haplotype;
using haplotypes::SearchBudget;
using Strings = std::vector<std::string>;
using PairSet = std::array<uint64_t, 2>;  // up to 12 haplotypes: 66 pairs

std::vector<haplotype> listof(const Strings& haps) {
    std::vector<haplotype> list;
    for (const std::string& h : haps) list.push_back({h, 6});
    return list;
}

bool apart(const std::string& a, const std::string& b, size_t snp) {
    return a[snp] != b[snp] || a[snp] == '-' || b[snp] == '-';
}

// The pairs each SNP separates.
std::vector<PairSet> pairSets(const Strings& list) {
    std::vector<PairSet> sets(list[0].size(), PairSet{});
    for (size_t snp = 0; snp < list[0].size(); ++snp) {
        size_t p = 0;
        for (size_t a = 0; a < list.size(); ++a)
            for (size_t b = a + 1; b < list.size(); ++b, ++p)
                if (apart(list[a], list[b], snp)) sets[snp][p / 64] |= uint64_t{1} << (p % 64);
    }
    return sets;
}

PairSet unionof(const std::vector<PairSet>& sets, const std::vector<int>& snps) {
    PairSet all{};
    for (int snp : snps)
        for (int w = 0; w < 2; ++w) all[w] |= sets[snp][w];
    return all;
}

// Every subset of `size` SNPs from `start` on, in lexicographic order, with nothing
// skipped: true at the first whose pairs with those of `chosen` make up `target`.
bool firstOfSize(const std::vector<PairSet>& sets, const PairSet& target, int size, int start, PairSet have,
                 std::vector<int>& chosen) {
    if (size == 0) return have == target;
    for (int snp = start; snp + size <= static_cast<int>(sets.size()); ++snp) {
        chosen.push_back(snp);
        if (firstOfSize(sets, target, size - 1, snp + 1, {have[0] | sets[snp][0], have[1] | sets[snp][1]}, chosen))
            return true;
        chosen.pop_back();
    }
    return false;
}

// The lexicographically first of the smallest sets of SNPs that separate every pair some
// SNP separates, by trying every subset of each size in turn.
std::vector<int> bruteForce(const Strings& list) {
    std::vector<PairSet> sets = pairSets(list);
    PairSet target{};
    for (const PairSet& s : sets)
        for (int w = 0; w < 2; ++w) target[w] |= s[w];
    std::vector<int> chosen;
    for (int size = 0; !firstOfSize(sets, target, size, 0, PairSet{}, chosen); ++size) chosen.clear();
    return chosen;
}

// Random lists of 1 to 12 haplotypes over 1 to 20 SNPs: balanced or rare alleles, often
// missing alleles, often repeated strings.
Strings randomList(std::mt19937& random) {
    int haps = 1 + static_cast<int>(random() % 12), snps = 1 + static_cast<int>(random() % 20);
    int rareness = 2 + static_cast<int>(random() % 5);
    int gaps = random() % 3 == 0 ? 0 : 4 + static_cast<int>(random() % 20);  // a "-" with chance 1 in gaps
    bool repeats = random() % 3 == 0;
    Strings list;
    for (int h = 0; h < haps; ++h) {
        if (repeats && h > 0 && random() % 3 == 0) {
            list.push_back(list[random() % list.size()]);
            continue;
        }
        std::string hap;
        for (int s = 0; s < snps; ++s)
            hap.push_back(gaps > 0 && random() % gaps == 0 ? '-' : random() % rareness == 0 ? '1' : '0');
        list.push_back(hap);
    }
    return list;
}

TEST(MinimumSet, IsTheFirstSmallestSetOfAllSubsets) {
    std::mt19937 random(77);
    int searched = 0, smallerthansearch = 0;
    for (int round = 0; round < 10000; ++round) {
        Strings list = randomList(random);
        SearchBudget unlimited;
        std::vector<int> minimum;
        ASSERT_TRUE(haplotypes::minimumhtSNPs(listof(list), unlimited, minimum));
        ASSERT_EQ(minimum, bruteForce(list)) << "round " << round;
        searched += minimum.size() >= 2;

        // The search's own htSNPs tell apart every pair of distinct strings, so they are
        // never fewer than the minimum.
        std::vector<int> states = haplotypes::findhtSNPs(listof(list));
        std::vector<int> chosen;
        for (size_t snp = 0; snp < states.size(); ++snp)
            if (states[snp] == haplotypes::htSNP) chosen.push_back(static_cast<int>(snp));
        Strings distinct = list;
        std::sort(distinct.begin(), distinct.end());
        if (std::adjacent_find(distinct.begin(), distinct.end()) == distinct.end()) {
            std::vector<PairSet> sets = pairSets(list);
            ASSERT_EQ(unionof(sets, chosen), unionof(sets, minimum)) << "round " << round;
            ASSERT_GE(chosen.size(), minimum.size()) << "round " << round;
            smallerthansearch += minimum.size() < chosen.size();
        }
    }
    EXPECT_GT(searched, 6000);
    EXPECT_GT(smallerthansearch, 200);
}

TEST(MinimumSet, SmallCases) {
    SearchBudget budget;
    std::vector<int> set = {7};
    EXPECT_TRUE(haplotypes::minimumhtSNPs({}, budget, set));
    EXPECT_TRUE(set.empty());
    EXPECT_TRUE(haplotypes::minimumhtSNPs(listof({"0101"}), budget, set));
    EXPECT_TRUE(set.empty());
    // The search's count can exceed the minimum: SNPs 2 and 4 do, the search takes 3.
    EXPECT_TRUE(haplotypes::minimumhtSNPs(listof({"00001", "00111", "11101", "01111"}), budget, set));
    EXPECT_EQ(set, (std::vector<int>{1, 3}));
    EXPECT_EQ(haplotypes::gethtSNPs(listof({"00001", "00111", "11101", "01111"})), 3);
    // One SNP with 0, 1 and - tells three haplotypes apart.
    EXPECT_TRUE(haplotypes::minimumhtSNPs(listof({"00", "11", "-1"}), budget, set));
    EXPECT_EQ(set, (std::vector<int>{0}));
    EXPECT_EQ(budget.stopped(), false);
}

// 16 haplotypes; SNP k carries "1" on the two haplotypes of the k-th pair (0,1), (0,2), ...,
// (0,15), (1,2), ... and "0" on the others.
Strings pairFamily(int snps) {
    Strings list(16);
    int k = 0;
    for (int a = 0; a < 16 && k < snps; ++a)
        for (int b = a + 1; b < 16 && k < snps; ++b, ++k)
            for (int h = 0; h < 16; ++h) list[h].push_back(h == a || h == b ? '1' : '0');
    return list;
}

TEST(MinimumSet, PairFamily) {
    // 120 SNPs (every pair): two SNPs per three haplotypes in five paths, one haplotype
    // left without a "1": 10. 38 SNPs reach only haplotypes 0, 1 and 2 and their partners:
    // 12. Both searches are exact here and agree.
    for (auto [snps, minimum] : {std::pair{38, 12}, std::pair{60, 10}, std::pair{120, 10}}) {
        Strings list = pairFamily(snps);
        SearchBudget budget;
        std::vector<int> set;
        ASSERT_TRUE(haplotypes::minimumhtSNPs(listof(list), budget, set));
        EXPECT_EQ(static_cast<int>(set.size()), minimum) << snps;
        std::vector<PairSet> sets = pairSets(list);
        EXPECT_EQ(unionof(sets, set), (PairSet{~uint64_t{0}, (uint64_t{1} << 56) - 1})) << snps;
        SearchBudget other;
        EXPECT_EQ(haplotypes::gethtSNPs(listof(list), other), minimum) << snps;
    }
    std::vector<int> set;
    SearchBudget budget;
    haplotypes::minimumhtSNPs(listof(pairFamily(120)), budget, set);
    EXPECT_EQ(set, (std::vector<int>{0, 1, 42, 43, 75, 76, 99, 100, 114, 115}));
}

TEST(MinimumSet, BudgetStopsTheSearch) {
    Strings list = pairFamily(38);
    SearchBudget small(1000);
    std::vector<int> set = {1};
    EXPECT_FALSE(haplotypes::minimumhtSNPs(listof(list), small, set));
    EXPECT_TRUE(small.stopped());
    EXPECT_LE(small.used(), 1000);  // a bound that would pass the limit is not started

    // The per-group search falls back to a set found without search: still one that
    // tells every pair apart, never smaller than the minimum.
    SearchBudget groupBudget(1000);
    std::vector<int> states = haplotypes::findhtSNPs(listof(list), groupBudget);
    EXPECT_TRUE(groupBudget.stopped());
    std::vector<int> chosen;
    for (size_t snp = 0; snp < states.size(); ++snp)
        if (states[snp] == haplotypes::htSNP) chosen.push_back(static_cast<int>(snp));
    std::vector<PairSet> sets = pairSets(list);
    std::vector<int> all(list[0].size());
    for (size_t snp = 0; snp < all.size(); ++snp) all[snp] = static_cast<int>(snp);
    EXPECT_EQ(unionof(sets, chosen), unionof(sets, all));
    EXPECT_GE(chosen.size(), 12u);

    // Without a limit, or with enough, nothing stops.
    SearchBudget enough(100000000);
    EXPECT_TRUE(haplotypes::minimumhtSNPs(listof(list), enough, set));
    EXPECT_FALSE(enough.stopped());
    EXPECT_EQ(set.size(), 12u);
}

}  // namespace
