#include "coversearch.hpp"

#include <algorithm>
#include <climits>
#include <functional>

namespace haplotypes {
namespace {

constexpr int kUnreachable = INT_MAX / 4;

uint64_t bit(size_t p) { return uint64_t{1} << (p % 64); }

// The least total weight (number of ones) of g distinct codes of r bits, for g and r up to
// 64, as [g][r]; unreachable when 2^r < g. The lightest codes come first: one of weight 0,
// r of weight 1, r choose 2 of weight 2, ...
struct CodeWeights {
    int least[65][65];
    CodeWeights() {
        for (int g = 0; g <= 64; ++g)
            for (int r = 0; r <= 64; ++r) {
                long long left = g, total = 0, codes = 1;  // codes: r choose w, capped at 64
                for (int w = 0; w <= r && left > 0; ++w) {
                    long long take = std::min(left, codes);
                    total += take * w;
                    left -= take;
                    codes = std::min<long long>(64, codes * (r - w) / (w + 1));
                }
                least[g][r] = left == 0 ? static_cast<int>(total) : kUnreachable;
            }
    }
};

const CodeWeights codeweights;

}  // namespace

// Bits set in a word, written out: without a population-count instruction in the portable
// build, the library call would take much of the search's time.
int CoverSearch::countBits(uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
}

CoverSearch::CoverSearch(std::span<const std::string* const> haps, std::span<const int> candidates,
                         bool smallestonly) {
    const size_t n = haps.size();
    pairs_ = static_cast<int>(n * (n > 0 ? n - 1 : 0) / 2);
    words_ = (static_cast<size_t>(pairs_) + 63) / 64;
    target_.assign(words_, 0);

    std::vector<uint64_t> sep(words_);
    for (int snp : candidates) {
        std::fill(sep.begin(), sep.end(), 0);
        size_t p = 0;
        for (size_t a = 0; a < n; ++a)
            for (size_t b = a + 1; b < n; ++b, ++p)
                if (separates((*haps[a])[snp], (*haps[b])[snp])) sep[p / 64] |= bit(p);
        if (smallestonly) {
            // Dropped when an earlier candidate kept separates all its pairs (an empty set
            // of pairs included): swapping it for that one gives an earlier set as small.
            bool dominated = std::all_of(sep.begin(), sep.end(), [](uint64_t w) { return w == 0; });
            for (int k = 0; k < count_ && !dominated; ++k) {
                const uint64_t* other = &separated_[static_cast<size_t>(k) * words_];
                dominated = true;
                for (size_t w = 0; w < words_ && dominated; ++w) dominated = (sep[w] & ~other[w]) == 0;
            }
            if (dominated) continue;
        }
        separated_.insert(separated_.end(), sep.begin(), sep.end());
        snps_.push_back(snp);
        ++count_;
        for (size_t w = 0; w < words_; ++w) target_[w] |= sep[w];
    }

    for (size_t p = 0; p < static_cast<size_t>(pairs_); ++p)
        if ((target_[p / 64] & bit(p)) == 0) separable_ = false;
    lastseparating_.assign(static_cast<size_t>(pairs_), -1);
    for (int k = 0; k < count_; ++k)
        for (size_t p = 0; p < static_cast<size_t>(pairs_); ++p)
            if (separated_[static_cast<size_t>(k) * words_ + p / 64] & bit(p)) lastseparating_[p] = k;
    pairsafter_.assign(static_cast<size_t>(count_) + 1, 0);
    for (int k = count_ - 1; k >= 0; --k) {
        int separatedhere = 0;
        for (size_t w = 0; w < words_; ++w) separatedhere += countBits(separated_[static_cast<size_t>(k) * words_ + w]);
        pairsafter_[k] = std::max(pairsafter_[k + 1], separatedhere);
    }

    // The haplotypes the group bounds follow: the first 64, less any that a later one
    // equals at every candidate without a "-" (such a pair cannot be told apart and is not
    // sought). A "-" at a SNP takes its carrier out of its group when the SNP is chosen.
    ones_.assign(static_cast<size_t>(count_), 0);
    zeros_.assign(static_cast<size_t>(count_), 0);
    dashfreefrom_.assign(static_cast<size_t>(count_) + 1, 0);
    for (size_t h = 0; h < n && h < 64; ++h) {
        bool twin = false;
        for (size_t other = 0; !twin && other < h; ++other)
            twin = (universe_ & bit(other)) && std::all_of(snps_.begin(), snps_.end(), [&](int snp) {
                       char allele = (*haps[h])[snp];
                       return allele == (*haps[other])[snp] && (allele == '0' || allele == '1');
                   });
        if (twin) continue;
        universe_ |= bit(h);
        dashfreefrom_[count_] |= bit(h);
        for (int k = count_ - 1; k >= 0; --k) {
            char allele = (*haps[h])[snps_[k]];
            if (allele == '1') ones_[k] |= bit(h);
            if (allele == '0') zeros_[k] |= bit(h);
            if ((allele == '0' || allele == '1') && (dashfreefrom_[k + 1] & bit(h))) dashfreefrom_[k] |= bit(h);
        }
    }

    covered_.assign(words_, 0);
    groups_.assign(1, {});
    if (countBits(universe_) >= 2) groups_[0].push_back(universe_);
    size_ = 0;
    while (lowerBound_ < count_ && !boundsAllow(0, 0, lowerBound_)) ++lowerBound_;
}

// Beyond 64 bits, one code of weight 0 and g - 1 of weight 1 always fit.
int CoverSearch::weightNeeded(int haps, int snps) {
    if (snps > 64) return std::max(haps - 1, 0);
    return codeweights.least[haps][snps];
}

// Whether `remaining` more candidates from `start` on could still separate every pair left
// at this depth: the bounds on the pairs and on the groups.
bool CoverSearch::boundsAllow(int depth, int start, int remaining) {
    const uint64_t* covered = &covered_[static_cast<size_t>(depth) * words_];
    int left = 0;
    for (size_t w = 0; w < words_; ++w) left += countBits(target_[w] & ~covered[w]);
    if (left == 0) return true;
    if (remaining == 0 || start >= count_) return false;
    const int available = count_ - start;
    if (remaining > available) remaining = available;
    // One subset per candidate for the pairs, and one more per group weighed.
    const long long looks = available * (1 + static_cast<long long>(groups_[depth].size()));
    if (budget_ != nullptr && !budget_->spend(looks)) {
        outofbudget_ = true;
        return false;
    }

    // The most pairs the remaining SNPs can separate.
    scratch_.clear();
    for (int k = start; k < count_; ++k) {
        const uint64_t* sep = &separated_[static_cast<size_t>(k) * words_];
        int fresh = 0;
        for (size_t w = 0; w < words_; ++w) fresh += countBits(sep[w] & ~covered[w]);
        scratch_.push_back(fresh);
    }
    std::nth_element(scratch_.begin(), scratch_.begin() + (remaining - 1), scratch_.end(), std::greater<int>());
    long long most = 0;
    for (int i = 0; i < remaining; ++i) most += scratch_[i];
    if (most < left) return false;

    // The groups of haplotypes still together: those of a group that no remaining SNP
    // takes out with a "-" need distinct codes of `remaining` bits, whose weight the
    // minority counts of the remaining SNPs must reach.
    for (uint64_t group : groups_[depth]) {
        const int size = countBits(group);
        int minority[33] = {}, dashes[65] = {};
        for (int k = start; k < count_; ++k) {
            const int ones = countBits(group & ones_[k]), zeros = countBits(group & zeros_[k]);
            ++minority[std::min(ones, zeros)];
            ++dashes[size - ones - zeros];
        }
        int takenout = 0;
        for (int d = 64, taken = 0; d > 0 && taken < remaining; --d) {
            const int take = std::min(dashes[d], remaining - taken);
            takenout += take * d;
            taken += take;
        }
        const int needed = weightNeeded(std::max(size - takenout, 0), remaining);
        if (needed == kUnreachable) return false;
        long long weight = 0;
        for (int m = 32, taken = 0; m > 0 && taken < remaining; --m) {
            const int take = std::min(minority[m], remaining - taken);
            weight += static_cast<long long>(take) * m;
            taken += take;
        }
        if (weight < needed) return false;
    }
    return true;
}

// Whether an earlier candidate outside the set chosen so far separates every pair still
// together that candidate k separates. Then the set with that candidate in place of k is
// as large and earlier, so no first set goes through k.
bool CoverSearch::dominated(int depth, int k) {
    if (!budget_->spend(k)) {
        outofbudget_ = true;
        return false;
    }
    const uint64_t* covered = &covered_[static_cast<size_t>(depth) * words_];
    const uint64_t* sep = &separated_[static_cast<size_t>(k) * words_];
    int member = 0;
    for (int i = 0; i < k; ++i) {
        if (member < depth && chosen_[member] == i) {
            ++member;
            continue;
        }
        const uint64_t* other = &separated_[static_cast<size_t>(i) * words_];
        bool covers = true;
        for (size_t w = 0; w < words_ && covers; ++w) covers = (sep[w] & ~covered[w] & ~other[w]) == 0;
        if (covers) return true;
    }
    return false;
}

bool CoverSearch::extend(int depth, int start) {
    const int remaining = size_ - depth;
    const uint64_t* covered = &covered_[static_cast<size_t>(depth) * words_];
    uint64_t* next = &covered_[static_cast<size_t>(depth + 1) * words_];
    std::vector<uint64_t>& childgroups = groups_[depth + 1];

    // Every pair still together needs a SNP from here on that separates it.
    int limit = count_ - remaining;
    for (size_t w = 0; w < words_; ++w)
        for (uint64_t open = target_[w] & ~covered[w]; open != 0; open &= open - 1) {
            size_t p = w * 64 + static_cast<size_t>(__builtin_ctzll(open));
            limit = std::min(limit, lastseparating_[p]);
        }

    // A set visited costs one subset, and one more per group it splits.
    const long long visit = 1 + static_cast<long long>(groups_[depth].size());
    for (int k = start; k <= limit; ++k) {
        if (!budget_->spend(visit)) {
            outofbudget_ = true;
            return false;
        }
        const uint64_t* sep = &separated_[static_cast<size_t>(k) * words_];
        int left = 0;
        for (size_t w = 0; w < words_; ++w) {
            next[w] = covered[w] | sep[w];
            left += countBits(target_[w] & ~next[w]);
        }
        chosen_[depth] = k;
        if (left == 0) {
            // Every pair is separated: the first set of this size with this beginning takes
            // the next candidates in order.
            for (int d = depth + 1; d < size_; ++d) chosen_[d] = chosen_[d - 1] + 1;
            return true;
        }
        if (remaining == 1) continue;

        // The groups split by the SNP; the members without a "-" at any later candidate
        // need distinct codes of remaining - 1 bits.
        childgroups.clear();
        int largest = 0;
        for (uint64_t group : groups_[depth]) {
            for (uint64_t part : {group & ones_[k], group & zeros_[k]}) {
                if (countBits(part) < 2) continue;
                childgroups.push_back(part);
                largest = std::max(largest, countBits(part & dashfreefrom_[k + 1]));
            }
        }
        if (remaining - 1 < 31 && largest > (1 << (remaining - 1))) continue;
        if (static_cast<long long>(left) > static_cast<long long>(remaining - 1) * pairsafter_[k + 1]) continue;
        if (dominated(depth, k)) {
            if (outofbudget_) return false;
            continue;
        }
        if (remaining - 1 >= 2 && !boundsAllow(depth + 1, k + 1, remaining - 1)) {
            if (outofbudget_) return false;
            continue;
        }
        if (extend(depth + 1, k + 1)) return true;
        if (outofbudget_) return false;
    }
    return false;
}

CoverSearch::Outcome CoverSearch::first(int size, SearchBudget& budget, std::vector<int>& chosen) {
    if (size < 0 || size > count_) return Outcome::none;
    chosen_.assign(static_cast<size_t>(size), 0);
    for (int d = 0; d < size; ++d) chosen_[d] = d;
    bool found = false;
    if (std::all_of(target_.begin(), target_.end(), [](uint64_t w) { return w == 0; })) {
        found = true;  // nothing to separate: the first candidates in order
    } else if (size > 0) {
        size_ = size;
        budget_ = &budget;
        outofbudget_ = false;
        covered_.assign(static_cast<size_t>(size + 1) * words_, 0);
        groups_.resize(static_cast<size_t>(size) + 1);
        found = boundsAllow(0, 0, size) && extend(0, 0);
        budget_ = nullptr;
        if (outofbudget_) return Outcome::stopped;
    }
    if (!found) return Outcome::none;
    chosen.clear();
    for (int ordinal : chosen_) chosen.push_back(snps_[ordinal]);
    return Outcome::found;
}

CoverSearch::Outcome CoverSearch::smallest(int floor, SearchBudget& budget, std::vector<int>& chosen) {
    for (int size = std::max({floor, lowerBound_, 0}); size <= count_; ++size) {
        Outcome outcome = first(size, budget, chosen);
        if (outcome != Outcome::none) return outcome;
    }
    return Outcome::none;
}

std::vector<int> CoverSearch::greedy() const {
    std::vector<uint64_t> covered(words_, 0);
    std::vector<int> taken;
    auto fresh = [&](int k) {
        int count = 0;
        for (size_t w = 0; w < words_; ++w) count += countBits(separated_[static_cast<size_t>(k) * words_ + w] & ~covered[w]);
        return count;
    };
    while (true) {
        int best = -1, bestcount = 0;
        for (int k = 0; k < count_; ++k) {
            int count = fresh(k);
            if (count > bestcount) best = k, bestcount = count;
        }
        if (best < 0) break;
        taken.push_back(best);
        for (size_t w = 0; w < words_; ++w) covered[w] |= separated_[static_cast<size_t>(best) * words_ + w];
    }
    std::sort(taken.begin(), taken.end());
    // Drops members the others make unnecessary, latest first.
    for (size_t i = taken.size(); i-- > 0;) {
        std::vector<uint64_t> others(words_, 0);
        for (size_t j = 0; j < taken.size(); ++j)
            if (j != i)
                for (size_t w = 0; w < words_; ++w) others[w] |= separated_[static_cast<size_t>(taken[j]) * words_ + w];
        if (others == target_) taken.erase(taken.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::vector<int> snps;
    for (int k : taken) snps.push_back(snps_[k]);
    return snps;
}

}  // namespace haplotypes
