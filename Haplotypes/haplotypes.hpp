#pragma once
// The haplotype tally of a block and the block report.

#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "haplotype.hpp"
#include "snps.hpp"
#include "writer.hpp"

namespace haplotypes {

// Everything one run of the analyser works on: the tables it loads and where its report
// goes. Nothing of a run is kept anywhere else, so runs can follow each other in one
// process.
struct RunContext {
    explicit RunContext(ldtools::BufferedWriter& reportto) : report(reportto) {}

    Tables tables;
    ldtools::BufferedWriter& report;  // the block report
};

// The haplotype of chromosome `index` over SNPs first..last of the SNP table (or of the
// known-SNP table); empty when last < first.
std::string gethaplotype(const Tables& tables, int first, int last, int index);
std::string getknownhaplotype(const Tables& tables, int first, int last, int index);

// 1 if comparehap matches hap over the length of hap, else 0.
int hapsequal(const std::string& hap, const std::string& comparehap);
// Counts hap in the tally: one more carrier of an equal entry, or a new entry of count 1.
// Returns the number of entries.
int addorcount(std::string hap, std::vector<haplotype>& haparray);
// Orders the tally by count, largest first, with an exchange sort (not stable: counts
// 2, 2, 3 in entries X, Y, Z end as Z, Y, X).
void sorthaplotypes(std::span<haplotype> haparray);
// Number of leading entries needed to reach `cutoff` chromosomes.
int countmajorhaps(std::span<const haplotype> haparray, int cutoff);
// Entries whose count is greater than cutoff: their number, the sum of their counts, and
// the list of them in tally order.
int countcommonhaps(std::span<const haplotype> haparray, int cutoff);
int countpercentcommonhaps(std::span<const haplotype> haparray, int cutoff);
std::vector<haplotype> getcommonhaps(std::span<const haplotype> haparray, int cutoff);
void printhaplotypes(std::span<const haplotype> haparray, std::FILE* out = stdout);

// The report: one row per block (first nine columns, then six over the known SNPs).
int counthaplotypes(RunContext& run, int firstsnp, int lastsnp);
int countknownhaplotypes(RunContext& run, int firstsnp, int lastsnp);
void findhaplotypes(RunContext& run, int totalSNPs, int totalblocks);
// Loads the three files into run.tables (the known-SNP file only when run.tables.Known is
// 1) and writes the report. Throws ldtools::Error.
void calcCoverage(RunContext& run, const std::string& snpfilename, const std::string& blockfilename,
                  const std::string& knownsnpfilename);
// Diagnostic: prints total, covered, uncovered and uncovered-unknown SNP counts.
int countcoveredSNPs(const Tables& tables, int totalSNPs, int totalblocks, std::FILE* out = stdout);

// The program: command line, loading, report. Returns the exit status.
int haplotypesmain(int argc, char** argv);

}  // namespace haplotypes
