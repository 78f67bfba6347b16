#include "htsnps.hpp"

#include <algorithm>
#include <cmath>

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

int lowestInState(const std::vector<int>& SNParray, int state) {
    auto at = std::find(SNParray.begin(), SNParray.end(), state);
    return at == SNParray.end() ? -1 : static_cast<int>(at - SNParray.begin());
}

// The haplotypes of the group that carry the allele at the SNP, in group order.
Group splitGroup(const Group& group, int snp, char allele) {
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
// tells 1- from 10.
bool splitsAlike(const Group& group, size_t i, size_t j) {
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
            if (SNParray[j] != excluded && splitsAlike(group, i, j)) SNParray[j] = excluded;
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
int trialSeparates(const std::vector<int>& SNParray, const Group& group) {
    for (size_t a = 0; a < group.size(); ++a)
        for (size_t b = a + 1; b < group.size(); ++b) {
            bool apart = false;
            for (size_t snp = 0; snp < SNParray.size() && !apart; ++snp)
                apart = SNParray[snp] == intrial && separates((*group[a])[snp], (*group[b])[snp]);
            if (!apart) return 0;
        }
    return 1;
}

void smallestSubset(std::vector<int>& SNParray, const Group& group, SearchBudget& budget) {
    int minSNPs = static_cast<int>(std::ceil(std::log(static_cast<double>(group.size())) / std::log(2.0)));
    std::vector<int> candidates;
    for (size_t snp = 0; snp < SNParray.size(); ++snp)
        if (SNParray[snp] == candidate) candidates.push_back(static_cast<int>(snp));
    int c = static_cast<int>(candidates.size());

    // With no more candidates than the smallest possible subset, or when not even all of
    // them tell the group apart, every candidate becomes an htSNP.
    if (c <= minSNPs) {
        for (int snp : candidates) SNParray[snp] = htSNP;
        return;
    }
    // With only "0" and "1" no set smaller than minSNPs tells the group apart, so the set
    // sought is a smallest one; a "-" can make a smaller set do.
    bool binary = std::all_of(group.begin(), group.end(), [&](const std::string* h) {
        return std::all_of(candidates.begin(), candidates.end(), [&](int snp) { return (*h)[snp] == '0' || (*h)[snp] == '1'; });
    });
    CoverSearch search(group, candidates, binary);
    if (!search.separable()) {
        for (int snp : candidates) SNParray[snp] = htSNP;
        return;
    }
    std::vector<int> chosen;
    if (search.smallest(minSNPs, budget, chosen) != CoverSearch::Outcome::found) {
        // Out of budget: a set found without search, of at least minSNPs SNPs as any set
        // the search would choose.
        chosen = search.greedy();
        for (int snp : candidates) {
            if (static_cast<int>(chosen.size()) >= minSNPs) break;
            if (std::find(chosen.begin(), chosen.end(), snp) == chosen.end()) chosen.push_back(snp);
        }
    }
    for (int snp : chosen) SNParray[snp] = htSNP;
}

void recursive(std::vector<int>& SNParray, const Group& group, SearchBudget& budget) {
    if (group.size() <= 1) return;
    int snp = lowestInState(SNParray, htSNP);
    if (snp < 0) {
        smallestSubset(SNParray, group, budget);
        return;
    }
    SNParray[snp] = excluded;
    // The "1" group is finished first: htSNPs its searches choose are split on in the
    // "0" group too.
    Group ones = splitGroup(group, snp, '1');
    if (!ones.empty()) recursive(SNParray, ones, budget);
    Group zeros = splitGroup(group, snp, '0');
    if (!zeros.empty()) recursive(SNParray, zeros, budget);
    SNParray[snp] = htSNP;
}

}  // namespace

int getSNPsinHap(const std::string& hap) { return static_cast<int>(hap.size()); }

std::vector<int> findhtSNPs(std::span<const haplotype> haparray, SearchBudget& budget) {
    if (haparray.empty()) return {};
    std::vector<int> SNParray(getSNPsinHap(haparray[0].hap), candidate);
    Group group = groupof(haparray);
    uninformative(SNParray, group);
    identical(SNParray, group);
    necessary(SNParray, group);
    recursive(SNParray, group, budget);
    return SNParray;
}

std::vector<int> findhtSNPs(std::span<const haplotype> haparray) {
    SearchBudget unlimited;
    return findhtSNPs(haparray, unlimited);
}

int gethtSNPs(std::span<const haplotype> haparray, SearchBudget& budget) {
    std::vector<int> SNParray = findhtSNPs(haparray, budget);
    return static_cast<int>(std::count(SNParray.begin(), SNParray.end(), htSNP));
}

int gethtSNPs(std::span<const haplotype> haparray) {
    SearchBudget unlimited;
    return gethtSNPs(haparray, unlimited);
}

bool minimumhtSNPs(std::span<const haplotype> haparray, SearchBudget& budget, std::vector<int>& snps) {
    snps.clear();
    if (haparray.empty()) return true;
    std::vector<int> candidates(static_cast<size_t>(getSNPsinHap(haparray[0].hap)));
    for (size_t snp = 0; snp < candidates.size(); ++snp) candidates[snp] = static_cast<int>(snp);
    CoverSearch search(groupof(haparray), candidates, true);
    return search.smallest(0, budget, snps) == CoverSearch::Outcome::found;
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
    SearchBudget unlimited;
    recursive(SNParray, groupof(haparray), unlimited);
}

void findminSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray) {
    SearchBudget unlimited;
    if (haparray.size() >= 2) smallestSubset(SNParray, groupof(haparray), unlimited);
}

int testSNPs(const std::vector<int>& SNParray, std::span<const haplotype> haparray) {
    return trialSeparates(SNParray, groupof(haparray));
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
