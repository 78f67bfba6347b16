#pragma once
// The counts of one marker pair: its genotype table from the two allele strings, the phase-known
// haplotype counts and double heterozygotes of a table, and the haplotype counts of the modes that need
// no estimation. The tables of whole marker sets are counted on packed alleles (tablecounts.hpp), the
// EM counts estimated in em.hpp.

namespace linkstat {

// The phase-known counts k00, k01, k10, k11 and the double heterozygotes dh of a genotype table.
struct PairCounts {
    int k00 = 0, k01 = 0, k10 = 0, k11 = 0, dh = 0;
};
PairCounts countsOfTable(const int table[3][3]);

// True when one of the four allele counts formed from the haplotype counts is zero.
bool hasEmptyMargin(const int hapCounts[4]);

// The genotype table of two recoded allele strings of n chromosomes: [class at the second marker][class
// at the first]; individuals with a missing allele at either marker are left out.
void Three_by_Three(int Array[3][3], const char* first, const char* second, int n);
// The phase-known counts of the table (double heterozygotes left out).
void Haplo_Knw(const int Array[3][3], int hapCounts[4]);
// The counts of the two strings read as phased chromosomes.
void Haplo_Act(int hapCounts[4], const char* first, const char* second, int n);

}  // namespace linkstat
