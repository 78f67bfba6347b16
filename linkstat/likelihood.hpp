#pragma once
// The oriented likelihood of D' for one pair, shared by the grid-value-by-grid-value computation of the
// bounds (bounds.cpp) and the single-pass one (fastpairs.cpp).

#include "linkstat.hpp"

struct LikelihoodSetup {
    double k00, k01, k10, k11, dh;  // counts after orientation
    double pA, qA, pB, qB;          // allele frequencies of code 0 and 1 at both markers
    double Dmax, pApB;
};

// Forms the margins of the counts and, when the count X of haplotype 00 falls short of its expectation
// under independence, exchanges the two codes of the first marker, so that D is not negative.
LikelihoodSetup orientLikelihood(const PairCounts& counts, double X);

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
