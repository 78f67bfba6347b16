// Times the htSNP searches on hard lists, the block's own search (NeedSNP) beside the true
// minimum (MinSNP), each under the program's default work budget:
//  - random: 16 common haplotypes of 6 carriers each over 200 and 400 random SNPs, where
//    no SNP is necessary and the whole list goes to the smallest-subset search;
//  - pairs: 16 haplotypes where SNP k carries "1" on the two haplotypes of the k-th pair
//    (0,1), (0,2), ... and "0" on the others, over 30, 38, 60 and 120 SNPs.
// With --write it instead writes such a block as a SNP file (the 16 haplotypes on 96
// chromosomes, 4 chromosomes of other haplotypes) and a block file holding the one block,
// for timing the whole program.
//
// usage: htsnps_bench [random [LISTS] | pairs]     (no argument: both, 20 lists)
//        htsnps_bench --write random SNPS SEED snpfile blockfile
//        htsnps_bench --write pairs SNPS snpfile blockfile

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "haplotypes.hpp"
#include "htsnps.hpp"

namespace {

using haplotypes::haplotype;
using haplotypes::SearchBudget;

// Distinct random 0/1 strings; std::mt19937's output is the same on every platform.
std::vector<std::string> randomhaplotypes(int count, int snps, unsigned seed) {
    std::mt19937 random(seed);
    std::set<std::string> seen;
    std::vector<std::string> haps;
    while (static_cast<int>(haps.size()) < count) {
        std::string hap;
        for (int s = 0; s < snps; ++s) hap.push_back(random() & 1 ? '1' : '0');
        if (seen.insert(hap).second) haps.push_back(hap);
    }
    return haps;
}

std::vector<std::string> pairhaplotypes(int snps) {
    std::vector<std::string> haps(16);
    int k = 0;
    for (int a = 0; a < 16 && k < snps; ++a)
        for (int b = a + 1; b < 16 && k < snps; ++b, ++k)
            for (int h = 0; h < 16; ++h) haps[h].push_back(h == a || h == b ? '1' : '0');
    return haps;
}

std::vector<haplotype> listof(const std::vector<std::string>& haps) {
    std::vector<haplotype> list;
    for (const std::string& hap : haps) list.push_back({hap, 6});
    return list;
}

struct Timing {
    double milliseconds = 0;
    int snps = 0;
    long long subsets = 0;
    bool stopped = false;
};

// The best of three runs of the block's search and of the true minimum.
void timeboth(const std::vector<haplotype>& list, Timing& search, Timing& minimum) {
    search.milliseconds = minimum.milliseconds = 1e30;
    for (int repeat = 0; repeat < 3; ++repeat) {
        auto start = std::chrono::steady_clock::now();
        SearchBudget budget(haplotypes::kDefaultBudget);
        search.snps = haplotypes::gethtSNPs(list, budget);
        auto middle = std::chrono::steady_clock::now();
        SearchBudget minbudget(haplotypes::kDefaultBudget);
        std::vector<int> set;
        minimum.stopped = !haplotypes::minimumhtSNPs(list, minbudget, set);
        auto end = std::chrono::steady_clock::now();
        search.subsets = budget.used();
        search.stopped = budget.stopped();
        minimum.snps = static_cast<int>(set.size());
        minimum.subsets = minbudget.used();
        search.milliseconds = std::min(search.milliseconds, std::chrono::duration<double, std::milli>(middle - start).count());
        minimum.milliseconds = std::min(minimum.milliseconds, std::chrono::duration<double, std::milli>(end - middle).count());
    }
}

void timerandom(int snps, int lists) {
    std::vector<Timing> searches, minima;
    for (int seed = 1; seed <= lists; ++seed) {
        Timing search, minimum;
        timeboth(listof(randomhaplotypes(16, snps, static_cast<unsigned>(seed) * 7919u + snps)), search, minimum);
        searches.push_back(search);
        minima.push_back(minimum);
    }
    auto summary = [](std::vector<Timing> timings, const char* what) {
        std::sort(timings.begin(), timings.end(), [](const Timing& a, const Timing& b) { return a.milliseconds < b.milliseconds; });
        auto [fewest, most] = std::minmax_element(timings.begin(), timings.end(),
                                                  [](const Timing& a, const Timing& b) { return a.snps < b.snps; });
        int stopped = static_cast<int>(std::count_if(timings.begin(), timings.end(), [](const Timing& t) { return t.stopped; }));
        std::printf("   %s median %.2f ms, max %.2f ms; %d..%d SNPs; %d stopped by the budget\n", what,
                    timings[timings.size() / 2].milliseconds, timings.back().milliseconds, fewest->snps, most->snps, stopped);
    };
    std::printf("16 haplotypes x %d random SNPs, %d lists:\n", snps, lists);
    summary(searches, "NeedSNP search:");
    summary(minima, "MinSNP search: ");
}

void timepairs(int snps) {
    Timing search, minimum;
    timeboth(listof(pairhaplotypes(snps)), search, minimum);
    auto line = [](const Timing& t, const char* what) {
        std::printf("   %s %d SNPs%s, %lld subsets, %.2f ms\n", what, t.snps, t.stopped ? " (stopped: an upper bound)" : "",
                    t.subsets, t.milliseconds);
    };
    std::printf("16 haplotypes x %d SNPs each marking one pair:\n", snps);
    line(search, "NeedSNP search:");
    line(minimum, "MinSNP search: ");
}

int writeblock(const std::vector<std::string>& common, const std::vector<std::string>& others, const char* snpfile,
               const char* blockfile) {
    const int snps = static_cast<int>(common[0].size());
    std::vector<std::string> chromosomes;
    for (const std::string& hap : common)
        for (int carrier = 0; carrier < 6; ++carrier) chromosomes.push_back(hap);
    chromosomes.insert(chromosomes.end(), others.begin(), others.end());
    std::FILE* out = std::fopen(snpfile, "w");
    if (!out) return 1;
    for (int s = 0; s < snps; ++s) {
        std::string alleles;
        for (const std::string& chromosome : chromosomes) alleles.push_back(chromosome[s]);
        std::fprintf(out, "%d\t100\t50\t%s\n", 1000 + 10 * s, alleles.c_str());
    }
    if (std::fclose(out) != 0) return 1;
    out = std::fopen(blockfile, "w");
    if (!out) return 1;
    std::fprintf(out, "SNP1\tindex\tSNP2\tindex\n%d\t0\t%d\t%d\n", 1000, 1000 + 10 * (snps - 1), snps - 1);
    return std::fclose(out) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 6 && args[0] == "--write" && args[1] == "random") {
        int snps = std::atoi(argv[3]);
        unsigned seed = static_cast<unsigned>(std::atoi(argv[4]));
        return writeblock(randomhaplotypes(16, snps, seed), randomhaplotypes(4, snps, seed + 1000003u), argv[5], argv[6]);
    }
    if (args.size() == 5 && args[0] == "--write" && args[1] == "pairs") {
        int snps = std::atoi(argv[3]);
        return writeblock(pairhaplotypes(snps), std::vector<std::string>(4, std::string(snps, '0')), argv[4], argv[5]);
    }
    bool random = args.empty() || args[0] == "random", pairs = args.empty() || args[0] == "pairs";
    if (!random && !pairs) {
        std::fprintf(stderr, "usage: htsnps_bench [random [LISTS] | pairs]\n");
        return 2;
    }
    if (random) {
        int lists = args.size() > 1 ? std::atoi(argv[2]) : 20;
        timerandom(200, lists);
        timerandom(400, lists);
    }
    if (pairs)
        for (int snps : {30, 38, 60, 120}) timepairs(snps);
    return 0;
}
