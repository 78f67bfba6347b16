#pragma once
// Known-SNP analysis: how many chromosomes of a block the already-known SNPs assign to
// their common haplotype without doubt.

#include <span>
#include <string>
#include <vector>

#include "haplotype.hpp"
#include "snps.hpp"

namespace haplotypes {

// The chromosomes of the common list whose haplotype, reduced to the known SNPs of the
// block starting at position startSNP, differs from every other reduced common haplotype.
// 0 for an empty list.
int numberhapsknown(const Tables& tables, std::span<const haplotype> haparray, int startSNP);

// Marks in sarray (resized to length) the known SNPs among the length SNPs from the one at
// position startSNP; returns length.
int getknownsnparray(const Tables& tables, int startSNP, int length, std::vector<int>& sarray);
// Fills temphaparray with each record's string reduced to the marked SNPs, keeping its count.
int hapswithknownSNPs(std::span<const haplotype> haparray, const std::vector<int>& sarray,
                      std::vector<haplotype>& temphaparray);
// The characters of hap1 at the marked offsets, in order.
void gethapsubset(const std::vector<int>& sarray1, const std::string& hap1, std::string& ts);
// The sum of the counts of the records that no other record equals.
int getnumberuniquehaps(std::span<const haplotype> haparray);

}  // namespace haplotypes
