#pragma once
// The record shared by the tally, the htSNP search and the known-SNP analysis.

#include <string>

namespace haplotypes {

// One distinct haplotype of a block: one allele character per SNP of the block,
// in SNP order, and the number of chromosomes that carry it.
struct haplotype {
    std::string hap;
    int count = 0;
};

}  // namespace haplotypes
