#pragma once
// Test inputs: VCF texts, written plain, bgzip-compressed or as BCF, indexed through htslib.

#include <cstdint>
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
// An uncompressed BCF file of A/G SNPs on chromosome 20 whose GT values are the given codes of
// htslib's encoding, as they are, two per individual: one record per entry of codes, at positions
// 100, 200, ... With asText the GT values are stored as text ("0/1" for every individual), as no
// writer of sound files stores them.
void writeRawGenotypes(const std::string& path, const std::vector<std::string>& individuals,
                       const std::vector<std::vector<std::int32_t>>& codes, bool asText = false);

}  // namespace vcftest
