#pragma once
// Running the built haplotypes program and writing its input files, for the program tests.

#include <functional>
#include <string>
#include <vector>

#include "process.hpp"

namespace haplotypestest {

inline testsupport::RunResult haplotypes(std::vector<std::string> args, const std::string& workdir = "") {
    args.insert(args.begin(), HAPLOTYPES_BIN);
    testsupport::RunOptions options;
    options.workdir = workdir;
    return testsupport::run(args, options);
}

// A marker line whose allele of chromosome c is allele(c).
inline std::string marker(int position, const std::function<char(int)>& allele) {
    std::string alleles;
    for (int c = 0; c < 100; ++c) alleles.push_back(allele(c));
    return std::to_string(position) + "\t100\t1\t" + alleles + "\n";
}

// Chromosome c's allele at SNP k (0, 1, 2) of block 20-40 of fourBlockSnps: common haplotypes
// 011 (40 chromosomes), 101 (30), 110 (20), and the rare 000 (5) and 111 (5).
inline char blockA(int c, int k) {
    return (c < 40 ? "011" : c < 70 ? "101" : c < 90 ? "110" : c < 95 ? "000" : "111")[k];
}

// Eleven SNPs in four blocks (fourBlocks): 20-40 (blockA); the one-SNP block 50 with one common
// haplotype; 60-100, next to it, with 20 haplotypes of 5 chromosomes each (none common); the
// one-SNP block 110. SNP 10 lies before the blocks.
inline std::string fourBlockSnps() {
    std::string snps = marker(10, [](int c) { return c < 50 ? '0' : '1'; });
    for (int k = 0; k < 3; ++k) snps += marker(20 + 10 * k, [k](int c) { return blockA(c, k); });
    snps += marker(50, [](int c) { return c < 97 ? '0' : '1'; });
    for (int k = 0; k < 5; ++k) snps += marker(60 + 10 * k, [k](int c) { return (c / 5 >> k) & 1 ? '1' : '0'; });
    return snps + marker(110, [](int) { return '1'; });
}

inline const char* const fourBlocks =
    "SNP1\tindex\tSNP2\tindex\n20\t1\t40\t3\n50\t4\t50\t4\n60\t5\t100\t9\n110\t10\t110\t10\n";

}  // namespace haplotypestest
