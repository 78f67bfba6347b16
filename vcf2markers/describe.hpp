#pragma once
// What a driver that cuts chromosomes into chunks asks of an indexed VCF/BCF file before it plans
// the jobs: the pair window, and per chromosome the last position the chunks must cover.

#include <cstdint>
#include <string>
#include <vector>

#include "boundsformat.hpp"

namespace vcf2markers {

// linkstat evaluates the pairs of markers less than this many positions apart, so the markers of a
// region must reach this far beyond it for every pair that starts inside it.
inline constexpr std::int64_t kPairWindow = ldtools::kPairWindow;

struct ChromosomeSpan {
    std::string name;
    // The header's length of the chromosome, or the position of its last record when the header
    // declares no length or a record lies beyond it; 0 when the chromosome has no records.
    std::int64_t span = 0;
};

// The chromosomes the index of the bgzipped VCF or BCF file at path lists, in its order, with their
// spans; only `chromosome` when it is not empty (its name as written, or braced: {NAME}). Throws
// ldtools::Error when the file cannot be opened or read, is no bgzipped VCF/BCF file, has no index,
// or its index does not list the chromosome asked for.
std::vector<ChromosomeSpan> describe(const std::string& path, const std::string& chromosome);

// What --describe prints: "window\t200000", then "span\tNAME\tSPAN" per chromosome.
std::string descriptionText(const std::vector<ChromosomeSpan>& spans);

// --describe goes with no option but -r, which names a chromosome (given: the letters of the
// options given). Throws the usage error otherwise.
void checkDescribeOptions(const std::string& given, const std::string& chromosome);

}  // namespace vcf2markers
