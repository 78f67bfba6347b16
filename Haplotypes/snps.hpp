#pragma once
// The SNP, block and known-SNP tables of one run, their readers and lookups.
//
// The tables are loaded once at start and only read afterwards. Every reader checks its
// file completely and throws ldtools::Error (the complete message for standard error) at
// the first fault, so nothing of the report is printed for input that cannot be analysed.

#include <array>
#include <string>
#include <vector>

#include "error.hpp"

namespace haplotypes {

// "haplotypes: WHAT KIND file NAME: REASON" for a file that cannot be opened, read or written.
ldtools::Error fileFault(const char* what, const std::string& kind, const std::string& name,
                         const ldtools::SystemError& error);

// Chromosomes of the sample: characters 0 to 99 of every allele string.
constexpr int numchroms = 100;

// The tables a run loads. A fresh object is an empty run: no SNPs, no blocks, Known 0.
struct Tables {
    std::vector<int> snparray;                   // positions of the SNP file, ascending
    std::vector<std::string> allelearray;        // their recoded allele strings (numchroms characters)
    std::vector<int> knownSNParray;              // positions of the known-SNP file, ascending
    std::vector<std::string> knownallelearray;   // their recoded allele strings
    std::vector<std::array<int, 2>> blockarray;  // [i][0] first, [i][1] last position of block i
    std::vector<int> blocklines;                 // line of the block file that block i came from
    int Known = 0;                               // 1 when a known-SNP file was named
};

// Readers: each replaces its table(s) and returns the number of entries stored.
int readSNPfromfile(Tables& tables, const std::string& filename);
int readKnownSNPfromfile(Tables& tables, const std::string& filename);
int readblocksfromfile(Tables& tables, const std::string& filename);
// Checks that both positions of every block are positions of the SNP table.
void checkBlockPositions(const Tables& tables, const std::string& blockfilename);

int getSNPpos(const Tables& tables, int num);
int getKnownPosition(const Tables& tables, int i);
int getindexfrompos(const Tables& tables, int pos);  // SNP index at that position, or -1
// 1 without a known-SNP file; else 1 if the position is a known SNP's.
int snpKnown(const Tables& tables, int position);

// Recodes an allele string in place to "0", "1" and "-": "0" and "1" keep their codes, other
// characters take the free codes in order of first appearance. False when more than two
// alleles besides "-" occur (the string is then left unchanged).
bool recodeAlleles(std::string& alleles);

}  // namespace haplotypes
