#pragma once
// linkstat: pairwise linkage disequilibrium of biallelic markers.
//
// The program reads marker sets (position, two numeric fields, allele string), visits every pair of
// markers less than 200000 position units apart and writes, per pair, the likelihood-based lower and
// upper 5% bounds of D' on a grid of step 0.01.
//
// This header is the module's interface: the command line and reader (linkstat.cpp), the pair loop and
// report lines (pairs.cpp), the haplotype counts (haplocounts.cpp), the D' bounds (bounds.cpp) and the
// fast evaluation of whole pair runs that gives the same bytes (fastpairs.cpp).

#include <cstddef>

// ---- run-wide settings and tables -------------------------------------------------------------------

enum class HaploMode { Em, Known, Actual };

// How pair lines are computed: Fast memoises per genotype table and is what the program uses;
// Literal computes every pair step by step and is kept as the reference the fast path is checked against.
enum class Evaluation { Fast, Literal };

extern int Position;        // -P: pair lines start with both positions instead of the distance
extern int Bounds;          // -B: the header names the two bound columns
extern int MxS;             // capacity of the marker tables; grows by 1000 from 2000
extern int Array[3][3];     // genotype table of the current pair: [class at 2nd marker][class at 1st]

// Allele strings of one marker set, stored back to back with a fixed stride (NUL-terminated).
struct AlleleTable {
    char* data = nullptr;
    std::size_t stride = 0;
    char* operator[](int marker) const { return data + static_cast<std::size_t>(marker) * stride; }
};

// ---- command line and marker input --------------------------------------------------------------------

// Runs the whole program on the given arguments; returns the exit status 0, or ends the process with
// status 1 after writing the failure message.
int linkstatMain(int argc, char** argv, Evaluation evaluation = Evaluation::Fast);

int Chromosomes(const char* alleles);
// Recodes an allele string in place to "0", "1" and "-" (missing); fails on more than two alleles.
void Clean(char* alleles, int n, const char* missing, int nMissing);

// ---- pair loop and report lines -----------------------------------------------------------------------

void Calculate_LD(int nChromosomes, int nMarkers, const double* positions, const double* ratios,
                  const AlleleTable& alleles, int actual, int em, int known);
void Three_by_Three(const char* first, const char* second, int n);
void Linkage_Disequilibrium(const int hapCounts[4]);

// Chooses the evaluation used by Calculate_LD (Fast unless set otherwise).
void setEvaluation(Evaluation evaluation);

// ---- two-locus haplotype counts -----------------------------------------------------------------------

void Haplo_Em(int hapCounts[4]);
void Haplo_Knw(int hapCounts[4]);
void Haplo_Act(int hapCounts[4], const char* first, const char* second, int n);

// The phase-known counts k00, k01, k10, k11 and the double heterozygotes dh of a genotype table.
struct PairCounts {
    int k00 = 0, k01 = 0, k10 = 0, k11 = 0, dh = 0;
};
PairCounts countsOfTable(const int table[3][3]);
// Expectation-maximisation of the four haplotype counts (the core of Haplo_Em).
void emHaplotypes(const PairCounts& counts, int hapCounts[4]);
// True when one of the four allele counts formed from the haplotype counts is zero.
bool hasEmptyMargin(const int hapCounts[4]);

// ---- likelihood bounds of D' --------------------------------------------------------------------------

void calcConfidenceLimits(double result[2], double X);
// The bounds for given phase-known counts and double heterozygotes; calcConfidenceLimits applies it to
// the counts of Array, the actual-haplotype mode to a pair's own phased counts (dh = 0).
void confidenceLimitsFromCounts(double result[2], const PairCounts& counts, double X);

double calclnlike(double theta, double pA, double pB, double k00, double k01, double k10, double k11,
                  double dh, double Dmax, double pApB);
double calclike(double theta, double pA, double pB, double k00, double k01, double k10, double k11,
                double dh, double Dmax, double pApB, double maxL);
double findlnandmult(double value, double count);
int likelihoodshouldbezero(double value, double count);
