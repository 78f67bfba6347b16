#pragma once
// Minimum htSNP search: how many SNPs of a block tell its common haplotypes apart.
//
// Every SNP of the block has a state in SNParray:
//   0 excluded (uninformative, redundant, or the SNP an enclosing split is using),
//   1 candidate, 2 htSNP, 3 member of the subset under trial.
// The search drops uninformative and redundant SNPs, marks the SNPs that alone tell some
// pair apart, and then splits the list recursively on the htSNPs ("1" group before "0"
// group); a group the split cannot resolve gets the lexicographically first smallest
// subset of the candidates that tells its haplotypes apart (the branch and bound of
// coversearch.hpp, which also finds the true minimum of a whole list).

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "coversearch.hpp"
#include "haplotype.hpp"

namespace haplotypes {

constexpr int excluded = 0, candidate = 1, htSNP = 2, intrial = 3;

// The number of htSNPs for the list; 0 for an empty list or a single haplotype. The
// smallest-subset searches of one call share the budget; a group whose search the budget
// stops takes a set found without search (greedy), so the count is then an upper bound.
int gethtSNPs(std::span<const haplotype> haparray, SearchBudget& budget);
int gethtSNPs(std::span<const haplotype> haparray);  // without a limit
// The final SNP states of that search (empty for an empty list).
std::vector<int> findhtSNPs(std::span<const haplotype> haparray, SearchBudget& budget);
std::vector<int> findhtSNPs(std::span<const haplotype> haparray);

// The true minimum: the lexicographically first (by SNP index) of the smallest sets of
// SNPs that tell apart every pair of the list that the SNPs tell apart, as ascending SNP
// indices (empty for fewer than two haplotypes). False when the budget stopped the search.
bool minimumhtSNPs(std::span<const haplotype> haparray, SearchBudget& budget, std::vector<int>& snps);

int getSNPsinHap(const std::string& hap);

// The stages, each on the states of the SNPs of the list's strings.
void removeuninfoSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray);
void removeidenticalSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray);
void identifynecessarySNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray);
void recursegethtSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray);
void findminSNPs(std::vector<int>& SNParray, std::span<const haplotype> haparray);
// 1 when the SNPs in trial (state 3) tell the list's haplotypes apart, else 0.
int testSNPs(const std::vector<int>& SNParray, std::span<const haplotype> haparray);

// Diagnostics.
void printSNParray(const std::vector<int>& SNParray, std::FILE* out = stdout);
void printhapswithhtSNPs(const std::vector<int>& SNParray, std::span<const haplotype> haparray,
                         std::FILE* out = stdout);
int checkdone(const std::vector<int>& SNParray, int minSNPs);

}  // namespace haplotypes
