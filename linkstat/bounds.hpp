#pragma once
// Likelihood bounds of D' for one marker pair, computed grid value by grid value: the reference that the
// single-pass evaluation (gridbounds.hpp) reproduces bit for bit, and the oriented likelihood that both
// share.

#include "paircounts.hpp"

namespace linkstat {

void calcConfidenceLimits(const int Array[3][3], double result[2], double X);
// The bounds for given phase-known counts and double heterozygotes; calcConfidenceLimits applies it to
// the counts of the genotype table, the actual-haplotype mode to a pair's own phased counts (dh = 0).
void confidenceLimitsFromCounts(double result[2], const PairCounts& counts, double X);

double calclnlike(double theta, double pA, double pB, double k00, double k01, double k10, double k11,
                  double dh, double Dmax, double pApB);
double calclike(double theta, double pA, double pB, double k00, double k01, double k10, double k11,
                double dh, double Dmax, double pApB, double maxL);
double findlnandmult(double value, double count);
int likelihoodshouldbezero(double value, double count);

// ---- the oriented likelihood of one pair ----------------------------------------------------------------

struct LikelihoodSetup {
    double k00, k01, k10, k11, dh;  // counts after orientation
    double pA, qA, pB, qB;          // allele frequencies of code 0 and 1 at both markers
    double Dmax, pApB;
};

// Forms the margins of the counts and, when the count X of haplotype 00 falls short of its expectation
// under independence, exchanges the two codes of the first marker, so that D is not negative.
LikelihoodSetup orientLikelihood(const PairCounts& counts, double X);
// The count of haplotype 00 expected under independence, from the margins a0 (code 0 at the first
// marker) and b0 (at the second) of T chromosomes: a0 b0 / T, as the orientation computes it.
inline double expectedHaplotype00(double a0, double b0, double T) {
    return a0 * b0 / T;
}
// Whether orientLikelihood exchanges the codes of the first marker: when X falls short of that.
bool swapsFirstMarker(const PairCounts& counts, double X);

// A grid value is impossible when a haplotype with a positive count, or the double heterozygotes,
// would have probability zero there.
inline bool impossibleAt(const LikelihoodSetup& L, double p00, double p01, double p10, double p11) {
    return likelihoodshouldbezero(p00, L.k00) || likelihoodshouldbezero(p01, L.k01) ||
           likelihoodshouldbezero(p10, L.k10) || likelihoodshouldbezero(p11, L.k11) ||
           likelihoodshouldbezero(p00 * p11 + p01 * p10, L.dh);
}

inline double lnLikeAt(const LikelihoodSetup& L, double theta) {
    return calclnlike(theta, L.pA, L.pB, L.k00, L.k01, L.k10, L.k11, L.dh, L.Dmax, L.pApB);
}

inline double likeAt(const LikelihoodSetup& L, double theta, double maxL) {
    return calclike(theta, L.pA, L.pB, L.k00, L.k01, L.k10, L.k11, L.dh, L.Dmax, L.pApB, maxL);
}

}  // namespace linkstat
