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

// The work budget of each htSNP search of a block unless -w sets another: enough for
// every block of real data and for hard made-up ones of hundreds of SNPs, and small enough
// that no block takes more than about 2 s.
constexpr long long kDefaultBudget = 100000000;

// Everything one run of the analyser works on: the tables it loads, the settings, and
// where its report, its tag lines and its notes go. Nothing of a run is kept anywhere
// else, so runs can follow each other in one process.
struct RunContext {
    explicit RunContext(ldtools::BufferedWriter& reportto) : report(reportto) {}

    Tables tables;
    ldtools::BufferedWriter& report;          // the block report
    long long budget = kDefaultBudget;         // subsets each htSNP search may test; 0: no limit
    ldtools::BufferedWriter* tags = nullptr;  // the tag file, when one is written
    // Receives a line for standard error that does not end the run (a search stopped by
    // the budget); the line ends with its line break.
    std::function<void(const std::string&)> note;
};

// What the tag file says of one block, gathered by the two analyses of the block.
struct BlockTags {
    int first = 0, last = 0;       // positions of the block's first and last SNP
    int carriers = 0;              // N_HapC
    int needed = 0;                // NeedSNP
    std::vector<int> htSNPs;       // positions of the htSNPs the search chose
    bool minimumfound = false;     // false when there is no common haplotype or the budget stopped
    std::vector<int> minimum;      // positions of the first smallest set
    bool known = false;            // the known-SNP columns were computed
    int knownneeded = 0;           // K_NeedSNP
    std::vector<int> knownhtSNPs;  // positions of its htSNPs (known-SNP table)
};

// The tag file's header line and one block's line (both with their line break).
std::string tagHeader();
std::string tagline(const BlockTags& block);

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

// The report: one row per block (first nine columns, then six over the known SNPs). Each
// also fills its part of the block's tag line; with run.tags set, counthaplotypes finds
// the true minimum as well.
int counthaplotypes(RunContext& run, int firstsnp, int lastsnp, BlockTags& tags);
int countknownhaplotypes(RunContext& run, int firstsnp, int lastsnp, BlockTags& tags);
// The whole report, and a tag line per block when run.tags is set.
void findhaplotypes(RunContext& run, int totalSNPs, int totalblocks);
// Loads the three files into run.tables (the known-SNP file only when run.tables.Known is
// 1) and writes the report to run.report, which it flushes; with a tag file name, also the
// tag file, which appears only complete and only when the report was written. Throws
// ldtools::Error, and ldtools::SystemError when writing the report fails.
void calcCoverage(RunContext& run, const std::string& snpfilename, const std::string& blockfilename,
                  const std::string& knownsnpfilename, const std::string& tagfilename = "");
// Diagnostic: prints total, covered, uncovered and uncovered-unknown SNP counts.
int countcoveredSNPs(const Tables& tables, int totalSNPs, int totalblocks, std::FILE* out = stdout);

}  // namespace haplotypes
