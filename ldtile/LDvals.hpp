#pragma once
// LDvals: what the block finder knows about the markers. The position of every SNP and the
// lower and upper confidence bounds of linkage disequilibrium of every pair of SNPs less than
// 200,000 position units apart, read once from an LD bounds file; the pair tests built on them.
//
// SNPs are named by index: 0, 1, 2, ... in order of position. The SNPs are all distinct
// positions that occur in any record of the bounds file.

#include <string>

class ReadObserver;

// --- Settings ---------------------------------------------------------------------------------

// Cut-off of a single-value LD measure. The program sets it from -t; the pair tests use the
// confidence bounds and never consult it.
void setThreshold(double th);

// --- The bounds table -------------------------------------------------------------------------

// Reads the bounds file, prints the index of the last SNP as "%d\n" on standard output and
// returns it. A file that cannot be read or holds anything but ordered records ends the process
// with a message on standard error and status 1. Reading again replaces the table.
int readConfvalues(const std::string& filename, ReadObserver* observer = nullptr);
// The same without printing the index of the last SNP.
int loadConfvalues(const std::string& filename, ReadObserver* observer = nullptr);

int getSNPposition(int index);
// Bounds of the pair (snp1, snp2) in either order; 1.0 for a SNP with itself, 0.0 for a pair the
// file did not supply (in particular every pair 200,000 or more position units apart).
double getUpperlimit(int snp1, int snp2);
double getLowerlimit(int snp1, int snp2);
// Highest index whose pair with snp is held in the table (snp itself when there is none). Every
// pair with a larger index reads 0.0.
int lastStoredPartner(int snp);
// Number of pairs the table holds: the records less than 200,000 position units apart.
long long storedPairCount();

// Prints every position from index 0 to the last, each as "%d\n" (a diagnostic).
void printSNPS();

// --- Pair classification and block tests (confidence bounds) ----------------------------------

// 1 when the pair is in strong LD: upper bound > 0.98 and lower bound > 0.7.
int paircheck(int snp1, int snp2);
// The extra test of a block of two SNPs: upper bound > 0.98 and lower bound > 0.8.
int twocheck(int snp1, int snp2);
// The extra test of each adjacent pair of a block of three SNPs: upper > 0.98 and lower > 0.75.
int threecheck(int snp1, int snp2);
// Share of the informative pairs of the stretch snp1..snp2 (either order) that are in strong LD.
// A pair is informative when it is in strong LD or a recombination pair (upper bound < 0.9).
// 0/0 (not a number) when no pair is informative. Constant time.
double percentofinfoinLD(int snp1, int snp2);
// The LD share of a stretch: percentofinfoinLD.
double test(int snp1, int snp2);

// First index from start to end whose position lies more than maxlength beyond start's, else end.
int chooseSNP(int start, int end, int maxlength);
// First SNP at least 200 position units above startSNP, or the last index.
int abovegap(int startSNP);
// Last SNP at least 200 position units below startSNP, or 0.
int belowgap(int startSNP);
