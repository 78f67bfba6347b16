#pragma once
// The conversion: VCF/BCF records in, marker file, SNP file and known-SNP file out.

#include <cstddef>
#include <string>

#include "options.hpp"

namespace vcf2markers {

struct Summary {
    std::size_t written = 0;  // SNPs in the marker file (and the SNP file)
    std::size_t belowMaf = 0;
    std::size_t monomorphic = 0;
    std::size_t otherAlleles = 0;
    std::size_t multiAllelic = 0;
    std::size_t duplicatePositions = 0;
    std::size_t knownMissing = 0;  // -k positions in the region that are not SNPs of the SNP file
    std::size_t inSnpFile = 0;     // SNPs in the SNP file (fewer than written with --positions)
    bool limited = false;          // --positions limited the SNP file
    // With --unphased report: the haplotype individuals need phasing, so no SNP file was written;
    // unphasedAt is the line naming the first genotype that showed it.
    bool unphased = false;
    std::string unphasedAt;
    std::string warnings;          // lines for standard error before the count (a stale index)
};

// Runs the whole conversion. The output files appear only when it succeeds; on any failure it
// throws ldtools::Error with the one-line message (after any warning lines) and leaves no output
// file behind. With UnphasedMode::report, haplotype individuals that need phasing give the
// marker file only and Summary::unphased.
Summary convert(const Options& options);

// The text for standard error: the warnings, then the line "vcf2markers: N SNPs written", the
// skipped records by reason (zero counts left out), the SNPs of the SNP file when --positions
// left some out, and the known positions not found.
std::string summaryLine(const Summary& summary);

}  // namespace vcf2markers
