#pragma once
// Which individuals of the file go into the marker file and which into the SNP file.

#include <cstddef>
#include <string>
#include <vector>

#include "options.hpp"

namespace vcf2markers {

// The SNP file holds the 100 chromosomes of exactly this many individuals.
constexpr std::size_t kHaplotypeIndividuals = 50;

struct SampleSelection {
    // Indices into the file's individuals, ascending (the file's order, whatever order the
    // names were given in).
    std::vector<int> markers;
    std::vector<int> haplotypes;  // empty with -H none
    // Every individual either list uses, ascending: the ones the reader needs to decode.
    std::vector<int> used;
};

// The names a choice gives: a comma list, or a file of one name a line (a trailing carriage
// return is dropped, empty lines are skipped). Throws ldtools::Error when the file cannot be
// read, a list holds an empty name, or no name is given.
std::vector<std::string> namesOf(const SampleChoice& choice);

// Resolves both choices against the file's individuals (header order). Throws ldtools::Error
// for an unknown or repeated name, or when the SNP file would not get exactly 50 individuals.
// input is the file's name as the messages show it.
SampleSelection selectSamples(const std::vector<std::string>& fileSamples, const SampleChoice& markers,
                              const SampleChoice& haplotypes, const std::string& input);

}  // namespace vcf2markers
