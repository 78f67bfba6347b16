#pragma once
// Test inputs: VCF texts, written plain, bgzip-compressed or as BCF, indexed through htslib.

#include <string>
#include <vector>

namespace vcftest {

// Names stem01, stem02, ... stemN.
std::vector<std::string> names(const std::string& stem, int count);
// A VCF 4.2 header with contigs 20 and 21, GT as the only FORMAT field, and these individuals.
std::string header(const std::vector<std::string>& individuals);
// One record line: CHROM POS . REF ALT . . . GT genotypes...
std::string row(const std::string& chromosome, long position, const std::string& ref, const std::string& alt,
                const std::vector<std::string>& genotypes);
// count copies of genotype.
std::vector<std::string> repeat(const std::string& genotype, int count);

// Writes text compressed with bgzip; with index also its .tbi index.
void writeBgzip(const std::string& path, const std::string& text, bool index = true);
// Rewrites a VCF (any form htslib reads) as a BCF file with its .csi index.
void writeBcf(const std::string& vcfPath, const std::string& bcfPath);

}  // namespace vcftest
