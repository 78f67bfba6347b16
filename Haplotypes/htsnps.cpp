#include "htsnps.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace haplotypes {
namespace {

// The haplotypes of a list or of a group split off it, in list order.
using Group = std::vector<const std::string*>;

Group groupof(std::span<const haplotype> haparray) {
    Group group;
    group.reserve(haparray.size());
    for (const haplotype& h : haparray) group.push_back(&h.hap);
    return group;
}

// A SNP keeps two haplotypes together only when both carry the same allele, "0" or "1".
// Any other character joins neither group of a split, so it separates its carrier from
// every other haplotype.
bool separates(char a, char b) { return a != b || (a != '0' && a != '1'); }

int lowestinstate(const std::vector<int>& SNParray, int state) {
    auto at = std::find(SNParray.begin(), SNParray.end(), state);
    return at == SNParray.end() ? -1 : static_cast<int>(at - SNParray.begin());
}

// The haplotypes of the group that carry the allele at the SNP, in group order.
Group splitgroup(const Group& group, int snp, char allele) {
    Group part;
    for (const std::string* h : group)
        if ((*h)[snp] == allele) part.push_back(h);
    return part;
}

void uninformative(std::vector<int>& SNParray, const Group& group) {
    for (size_t snp = 0; snp < SNParray.size(); ++snp) {
        char first = (*group[0])[snp];
        if (std::all_of(group.begin(), group.end(), [&](const std::string* h) { return (*h)[snp] == first; }))
            SNParray[snp] = excluded;
    }
}

// SNP j is redundant when it splits the group exactly like an earlier SNP i that is
// still in play: the same characters at both in every haplotype, or (a mirror split) "0"
// at one and "1" at the other in every haplotype. With a "-" somewhere, different
// characters are no mirror: 1-, -0 and 10 differ at both SNPs, yet only the second
// tells 1- from 10 (H10).
bool splitsalike(const Group& group, size_t i, size_t j) {
    auto same = [&](const std::string* h) { return (*h)[i] == (*h)[j]; };
    auto mirror = [&](const std::string* h) {
        char a = (*h)[i], b = (*h)[j];
        return (a == '0' && b == '1') || (a == '1' && b == '0');
    };
    return std::all_of(group.begin(), group.end(), same) || std::all_of(group.begin(), group.end(), mirror);
}

void identical(std::vector<int>& SNParray, const Group& group) {
    for (size_t i = 0; i + 1 < SNParray.size(); ++i) {
        if (SNParray[i] == excluded) continue;
        for (size_t j = i + 1; j < SNParray.size(); ++j)
            if (SNParray[j] != excluded && splitsalike(group, i, j)) SNParray[j] = excluded;
    }
}

void necessary(std::vector<int>& SNParray, const Group& group) {
    for (size_t a = 0; a < group.size(); ++a)
        for (size_t b = a + 1; b < group.size(); ++b) {
            int differences = 0, at = -1;
            for (size_t snp = 0; snp < SNParray.size() && differences < 2; ++snp)
                if (SNParray[snp] != excluded && (*group[a])[snp] != (*group[b])[snp]) {
                    ++differences;
                    at = static_cast<int>(snp);
                }
            if (differences == 1) SNParray[at] = htSNP;
        }
}

// Whether the SNPs in trial separate every pair of the group: splitting the group on
// them in turn leaves no part with two haplotypes exactly when each pair is separated
// by at least one of them.
int trialseparates(const std::vector<int>& SNParray, const Group& group) {
    for (size_t a = 0; a < group.size(); ++a)
        for (size_t b = a + 1; b < group.size(); ++b) {
            bool apart = false;
            for (size_t snp = 0; snp < SNParray.size() && !apart; ++snp)
                apart = SNParray[snp] == intrial && separates((*group[a])[snp], (*group[b])[snp]);
            if (!apart) return 0;
        }
    return 1;
}

// Bits set in a word, written out: without a population-count instruction in the
// portable build, the library call would take much of the search's time.
inline int countbits(uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
}

// Finds the lexicographically first subset of a given size of the candidates that
// separates every pair of a group. Each candidate is a bit set of the pairs it
// separates; a subset passes when the union of its sets holds every pair. The
// depth-first walk visits subsets in lexicographic order and skips only subtrees that
// hold no passing subset, so the subset it finds is the first passing one in that order.
class SubsetSearch {
public:
    SubsetSearch(const Group& group, const std::vector<int>& candidates) : count_(static_cast<int>(candidates.size())) {
        size_t haps = group.size();
        size_t pairs = haps * (haps - 1) / 2;
        words_ = (pairs + 63) / 64;
        separated_.assign(candidates.size() * words_, 0);
        allpairs_.assign(words_, 0);
        for (size_t p = 0; p < pairs; ++p) allpairs_[p / 64] |= bit(p);
        size_t p = 0;
        for (size_t a = 0; a < haps; ++a)
            for (size_t b = a + 1; b < haps; ++b, ++p)
                for (size_t k = 0; k < candidates.size(); ++k)
                    if (separates((*group[a])[candidates[k]], (*group[b])[candidates[k]]))
                        separated_[k * words_ + p / 64] |= bit(p);
        collectsteady(group, candidates);
    }

    // Fills `chosen` with the ordinals of the first passing subset of `size` candidates.
    bool find(int size, std::vector<int>& chosen) {
        size_ = size;
        unions_.assign((static_cast<size_t>(size) + 1) * words_, 0);
        chosen_.assign(size, 0);
        if (!extend(0, 0)) return false;
        chosen = chosen_;
        return true;
    }

private:
    static uint64_t bit(size_t p) { return uint64_t{1} << (p % 64); }

    // A haplotype with "0" or "1" at every candidate can never be dropped by a split, so
    // the steady members of a group of haplotypes still together need distinct allele
    // codes at the SNPs still to come: m more SNPs resolve at most 2^m of them.
    void collectsteady(const Group& group, const std::vector<int>& candidates) {
        std::vector<int> slot(group.size(), -1);  // place among the steady haplotypes
        for (size_t h = 0; h < group.size(); ++h)
            if (std::all_of(candidates.begin(), candidates.end(),
                            [&](int snp) { return (*group[h])[snp] == '0' || (*group[h])[snp] == '1'; }))
                slot[h] = steadycount_++;
        steadypairs_.assign(static_cast<size_t>(steadycount_) * words_, 0);
        size_t p = 0;
        for (size_t a = 0; a < group.size(); ++a)
            for (size_t b = a + 1; b < group.size(); ++b, ++p)
                if (slot[a] >= 0 && slot[b] >= 0) {
                    steadypairs_[slot[a] * words_ + p / 64] |= bit(p);
                    steadypairs_[slot[b] * words_ + p / 64] |= bit(p);
                }
    }

    // Whether `remaining` more SNPs could still separate every pair left together.
    bool withinbound(const uint64_t* covered, int remaining) const {
        if (remaining >= 31 || (1 << remaining) >= steadycount_) return true;
        int limit = 1 << remaining;
        for (int k = 0; k < steadycount_; ++k) {
            const uint64_t* together = &steadypairs_[static_cast<size_t>(k) * words_];
            int partners = 0;
            for (size_t w = 0; w < words_; ++w) partners += countbits(together[w] & ~covered[w]);
            if (partners + 1 > limit) return false;
        }
        return true;
    }

    bool extend(int depth, int start) {
        const uint64_t* covered = &unions_[static_cast<size_t>(depth) * words_];
        uint64_t* next = &unions_[static_cast<size_t>(depth + 1) * words_];
        int remaining = size_ - depth;
        for (int k = start; k <= count_ - remaining; ++k) {
            const uint64_t* sep = &separated_[static_cast<size_t>(k) * words_];
            bool all = true;
            for (size_t w = 0; w < words_; ++w) {
                next[w] = covered[w] | sep[w];
                all = all && next[w] == allpairs_[w];
            }
            if (remaining == 1) {
                if (!all) continue;
            } else if (!withinbound(next, remaining - 1)) {
                continue;
            }
            chosen_[depth] = k;
            if (remaining == 1 || extend(depth + 1, k + 1)) return true;
        }
        return false;
    }

    int count_;
    size_t words_ = 0;
    int size_ = 0;
    int steadycount_ = 0;
    std::vector<uint64_t> separated_;    // per candidate: the pairs it separates
    std::vector<uint64_t> allpairs_;
    std::vector<uint64_t> steadypairs_;  // per steady haplotype: its pairs with other steady ones
    std::vector<uint64_t> unions_;       // per depth: the pairs the chosen prefix separates
    std::vector<int> chosen_;
};

void smallestsubset(std::vector<int>& SNParray, const Group& group) {
    int minSNPs = static_cast<int>(std::ceil(std::log(static_cast<double>(group.size())) / std::log(2.0)));
    std::vector<int> candidates;
    for (size_t snp = 0; snp < SNParray.size(); ++snp)
        if (SNParray[snp] == candidate) candidates.push_back(static_cast<int>(snp));
    int c = static_cast<int>(candidates.size());

    // With no more candidates than the smallest possible subset, or when not even all of
    // them tell the group apart, every candidate becomes an htSNP.
    bool takeall = c <= minSNPs;
    if (!takeall) {
        for (int snp : candidates) SNParray[snp] = intrial;
        takeall = !trialseparates(SNParray, group);
        for (int snp : candidates) SNParray[snp] = candidate;
    }
    if (takeall) {
        for (int snp : candidates) SNParray[snp] = htSNP;
        return;
    }
    SubsetSearch search(group, candidates);
    std::vector<int> chosen;
    for (int size = minSNPs; size <= c; ++size)
        if (search.find(size, chosen)) {
            for (int ordinal : chosen) SNParray[candidates[ordinal]] = htSNP;
            return;
        }
}

void recursive(std::vector<int>& SNParray, const Group& group) {
    if (group.size() <= 1) return;
    int snp = lowestinstate(SNParray, htSNP);
    if (snp < 0) {
        smallestsubset(SNParray, group);
        return;
    }
    SNParray[snp] = excluded;
    // The "1" group is finished first: htSNPs its searches choose are split on in the
    // "0" group too.
    Group ones = splitgroup(group, snp, '1');
    if (!ones.empty()) recursive(SNParray, ones);
    Group zeros = splitgroup(group, snp, '0');
    if (!zeros.empty()) recursive(SNParray, zeros);
    SNParray[snp] = htSNP;
}

}  // namespace

int getSNPsinHap(const std::string& hap) { return static_cast<int>(hap.size()); }

std::vector<int> findhtSNPs(std::span<const haplotype> haparray) {
    if (haparray.empty()) return {};
    std::vector<int> SNParray(getSNPsinHap(haparray[0].hap), candidate);
    Group group = groupof(haparray);
    uninformative(SNParray, group);
    identical(SNParray, group);
    necessary(SNParray, group);
    recursive(SNParray, group);
    return SNParray;
}

int gethtSNPs(std::span<const haplotype> haparray) {
    std::vector<int> SNParray = findhtSNPs(haparray);
    return static_cast<int>(std::count(SNParray.begin(), SNParray.end(), htSNP));
}

void removeuninfoSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray) {
    if (!haparray.empty()) uninformative(SNParray, groupof(haparray));
}

void removeidenticalSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray) {
    if (!haparray.empty()) identical(SNParray, groupof(haparray));
}

void identifynecessarySNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray) {
    necessary(SNParray, groupof(haparray));
}

void recursegethtSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray) {
    recursive(SNParray, groupof(haparray));
}

void findminSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray) {
    if (haparray.size() >= 2) smallestsubset(SNParray, groupof(haparray));
}

int testSNPs(const std::vector<int>& SNParray, std::span<const haplotype> haparray) {
    return trialseparates(SNParray, groupof(haparray));
}

void printSNParray(const std::vector<int>& SNParray, std::FILE* out) {
    for (size_t snp = 0; snp < SNParray.size(); ++snp) {
        if (SNParray[snp] == candidate) std::fprintf(out, "%d ", static_cast<int>(snp) + 1);
        if (SNParray[snp] == htSNP) std::fprintf(out, "%d* ", static_cast<int>(snp) + 1);
    }
    std::fprintf(out, "\n");
}

void printhapswithhtSNPs(const std::vector<int>& SNParray, std::span<const haplotype> haparray, std::FILE* out) {
    for (const haplotype& h : haparray) {
        for (size_t snp = 0; snp < SNParray.size(); ++snp)
            std::fputc(SNParray[snp] == htSNP ? h.hap[snp] : ' ', out);
        std::fputc('\n', out);
    }
}

int checkdone(const std::vector<int>& SNParray, int minSNPs) {
    auto inplay = std::count_if(SNParray.begin(), SNParray.end(), [](int s) { return s != excluded; });
    if (inplay == minSNPs) return 1;
    return std::all_of(SNParray.begin(), SNParray.end(), [](int s) { return s == excluded || s == htSNP; }) ? 1 : 0;
}

}  // namespace haplotypes
