// Times the htSNP search on adversarial blocks: 16 common haplotypes of 6 carriers each
// over random SNPs, where no SNP is necessary and the whole list goes to the
// smallest-subset search. With --write it instead writes such a block as a SNP file (the
// 16 haplotypes on 96 chromosomes, 4 chromosomes of rare haplotypes) and a block file
// holding the one block, for timing the whole program.
//
// usage: htsnps_bench [lists-per-size]
//        htsnps_bench --write SNPS SEED snpfile blockfile

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "htsnps.hpp"

namespace {

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

double searchmilliseconds(const std::vector<haplotypes::haplotype>& list, int& result) {
    double best = 1e30;
    for (int repeat = 0; repeat < 3; ++repeat) {
        auto start = std::chrono::steady_clock::now();
        result = haplotypes::gethtSNPs(list);
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

void timesize(int snps, int lists) {
    std::vector<double> times;
    int smallest = 1 << 30, largest = 0;
    for (int seed = 1; seed <= lists; ++seed) {
        std::vector<haplotypes::haplotype> list;
        for (const std::string& hap : randomhaplotypes(16, snps, static_cast<unsigned>(seed) * 7919u + snps))
            list.push_back({hap, 6});
        int needed = 0;
        times.push_back(searchmilliseconds(list, needed));
        smallest = std::min(smallest, needed);
        largest = std::max(largest, needed);
    }
    std::sort(times.begin(), times.end());
    std::printf("16 haplotypes x %d SNPs, %d lists: search median %.2f ms, max %.2f ms; htSNPs %d..%d\n", snps,
                lists, times[times.size() / 2], times.back(), smallest, largest);
}

int writeblock(int snps, unsigned seed, const char* snpfile, const char* blockfile) {
    std::vector<std::string> common = randomhaplotypes(16, snps, seed);
    std::vector<std::string> rare = randomhaplotypes(4, snps, seed + 1000003u);
    std::vector<std::string> chromosomes;
    for (const std::string& hap : common)
        for (int carrier = 0; carrier < 6; ++carrier) chromosomes.push_back(hap);
    chromosomes.insert(chromosomes.end(), rare.begin(), rare.end());
    std::FILE* out = std::fopen(snpfile, "w");
    if (!out) return 1;
    for (int s = 0; s < snps; ++s) {
        std::string alleles;
        for (const std::string& chromosome : chromosomes) alleles.push_back(chromosome[s]);
        std::fprintf(out, "%d\t100\t50\t%s\n", 1000 + 10 * s, alleles.c_str());
    }
    std::fclose(out);
    out = std::fopen(blockfile, "w");
    if (!out) return 1;
    std::fprintf(out, "SNP1\tindex\tSNP2\tindex\n%d\t0\t%d\t%d\n", 1000, 1000 + 10 * (snps - 1), snps - 1);
    std::fclose(out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == "--write")
        return writeblock(std::atoi(argv[2]), static_cast<unsigned>(std::atoi(argv[3])), argv[4], argv[5]);
    int lists = argc > 1 ? std::atoi(argv[1]) : 20;
    timesize(200, lists);
    timesize(400, lists);
    return 0;
}
