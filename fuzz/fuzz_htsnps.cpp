// Any bytes as a list of haplotypes for the htSNP searches: the first byte gives the number
// of haplotypes (1 to 16), the second the number of SNPs (1 to 24), then one byte per allele,
// haplotype by haplotype ("0", "1" and "-" stand for themselves; any other byte is one of
// them by its value; missing bytes are "0").
//
// Checked, under a work budget large enough for such lists:
//  - the search's htSNPs tell apart every pair of haplotypes that the informative SNPs (those
//    where not every haplotype carries the same character) tell apart;
//  - the true minimum tells apart every pair that any SNP does, and with distinct
//    haplotypes it is never above the search's count;
//  - over at most 14 SNPs the true minimum is the lexicographically first smallest set
//    that trying every subset finds.
// Anything else (a crash, a sanitizer report, a mismatch) aborts.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "htsnps.hpp"

namespace {

using haplotypes::haplotype;

[[noreturn]] void mismatch(const std::string& what, const std::vector<haplotype>& list) {
    std::fprintf(stderr, "fuzz_htsnps: %s\n", what.c_str());
    for (const haplotype& h : list) std::fprintf(stderr, "  %s\n", h.hap.c_str());
    std::abort();
}

bool apart(const std::string& a, const std::string& b, size_t snp) {
    return a[snp] != b[snp] || a[snp] == '-' || b[snp] == '-';
}

// Whether the SNPs marked in `use` tell a and b apart.
bool apartby(const std::string& a, const std::string& b, const std::vector<bool>& use) {
    for (size_t snp = 0; snp < use.size(); ++snp)
        if (use[snp] && apart(a, b, snp)) return true;
    return false;
}

std::vector<bool> marks(size_t snps, const std::vector<int>& chosen) {
    std::vector<bool> use(snps, false);
    for (int snp : chosen) use[static_cast<size_t>(snp)] = true;
    return use;
}

// Every subset of `size` SNPs from `start` on, in lexicographic order: true at the first
// that tells apart every pair some SNP tells apart.
bool firstOfSize(const std::vector<haplotype>& list, int size, int start, std::vector<int>& chosen) {
    const int snps = static_cast<int>(list[0].hap.size());
    if (size == 0) {
        std::vector<bool> use = marks(static_cast<size_t>(snps), chosen), all(static_cast<size_t>(snps), true);
        for (size_t a = 0; a < list.size(); ++a)
            for (size_t b = a + 1; b < list.size(); ++b)
                if (apartby(list[a].hap, list[b].hap, all) && !apartby(list[a].hap, list[b].hap, use)) return false;
        return true;
    }
    for (int snp = start; snp + size <= snps; ++snp) {
        chosen.push_back(snp);
        if (firstOfSize(list, size - 1, snp + 1, chosen)) return true;
        chosen.pop_back();
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t haps = 1 + data[0] % 16, snps = 1 + data[1] % 24;
    std::vector<haplotype> list(haps);
    size_t at = 2;
    for (haplotype& h : list) {
        h.count = 6;
        for (size_t s = 0; s < snps; ++s, ++at) {
            char c = at < size ? static_cast<char>(data[at]) : '0';
            h.hap.push_back(c == '0' || c == '1' || c == '-' ? c : "01-"[static_cast<uint8_t>(c) % 3]);
        }
    }

    // The search's htSNPs against the informative SNPs.
    haplotypes::SearchBudget budget(20000000);
    std::vector<int> states = haplotypes::findhtSNPs(list, budget);
    std::vector<bool> informative(snps, false), all(snps, true);
    std::vector<int> htsnps;
    for (size_t s = 0; s < snps; ++s) {
        informative[s] = std::any_of(list.begin(), list.end(), [&](const haplotype& h) { return h.hap[s] != list[0].hap[s]; });
        if (states[s] == haplotypes::htSNP) htsnps.push_back(static_cast<int>(s));
    }
    std::vector<bool> chosen = marks(snps, htsnps);
    for (size_t a = 0; a < haps; ++a)
        for (size_t b = a + 1; b < haps; ++b)
            if (apartby(list[a].hap, list[b].hap, informative) && !apartby(list[a].hap, list[b].hap, chosen))
                mismatch("the htSNPs leave a pair together", list);

    // The true minimum.
    haplotypes::SearchBudget minbudget(20000000);
    std::vector<int> minimum;
    if (!haplotypes::minimumhtSNPs(list, minbudget, minimum)) return 0;
    if (!std::is_sorted(minimum.begin(), minimum.end()) || std::adjacent_find(minimum.begin(), minimum.end()) != minimum.end())
        mismatch("the minimum set is not ascending", list);
    std::vector<bool> least = marks(snps, minimum);
    for (size_t a = 0; a < haps; ++a)
        for (size_t b = a + 1; b < haps; ++b)
            if (apartby(list[a].hap, list[b].hap, all) && !apartby(list[a].hap, list[b].hap, least))
                mismatch("the minimum set leaves a pair together", list);
    std::set<std::string> distinct;
    for (const haplotype& h : list) distinct.insert(h.hap);
    if (distinct.size() == haps && minimum.size() > htsnps.size())
        mismatch("the search found fewer SNPs than the minimum", list);
    if (snps <= 14) {
        std::vector<int> brute;
        for (int r = 0; !firstOfSize(list, r, 0, brute); ++r) brute.clear();
        if (brute != minimum) mismatch("the minimum set is not the first smallest one", list);
    }
    return 0;
}
