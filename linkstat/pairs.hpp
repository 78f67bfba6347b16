#pragma once
// The pair loop of a marker set and its report lines, and the recoding of an allele string, computed
// step by step on allele strings: the reference that the fast loop (fastpairs.hpp) and the reader's
// packing (markers.hpp) are checked against.

#include <string>

#include "run.hpp"

namespace linkstat {

class MarkerSet;

int Chromosomes(const char* alleles);
// Recodes an allele string in place to "0", "1" and "-" (missing); throws Failure on more than two
// alleles. The reader applies the same rules while it packs each string.
void Clean(char* alleles, int n, const char* missing, int nMissing);

// Writes the report lines of one complete marker set: with the fast loop, or pair by pair when the run's
// evaluation is literal.
void Calculate_LD(Run& run, const MarkerSet& markers);
// Writes a pair line: its head (positions or distance, with their tabs) and the tail of the counts; in
// the EM and known modes the bounds come from the pair's genotype table Array.
void Linkage_Disequilibrium(Run& run, const std::string& head, const int hapCounts[4], const int Array[3][3]);

}  // namespace linkstat
