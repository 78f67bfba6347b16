// Likelihood bounds of D' for one marker pair, computed grid value by grid value.
//
// The likelihood of the pair's data as a function of D' is evaluated on the grid 0, 0.01, ..., 0.99,
// normalised to sum 1, and each bound is the grid value at which the mass accumulated from that end
// first reaches 5%. The arithmetic order here is the reference: the fast evaluation (fastpairs.cpp)
// must reproduce these doubles bit for bit.

#include <cmath>
#include <utility>

#include "bounds.hpp"

namespace linkstat {

double findlnandmult(double value, double count) {
    if (count == 0) return 0;
    return count * std::log(value);
}

int likelihoodshouldbezero(double value, double count) {
    return value == 0 && count > 0 ? 1 : 0;
}

double calclnlike(double theta, double pA, double pB, double k00, double k01, double k10, double k11,
                  double dh, double Dmax, double pApB) {
    const double p00 = theta * Dmax + pApB;
    const double p01 = pA - p00;
    const double p10 = pB - p00;
    const double p11 = 1 - p00 - p01 - p10;
    return findlnandmult(p00, k00) + findlnandmult(p01, k01) + findlnandmult(p10, k10) +
           findlnandmult(p11, k11) + findlnandmult(p00 * p11 + p01 * p10, dh);
}

double calclike(double theta, double pA, double pB, double k00, double k01, double k10, double k11,
                double dh, double Dmax, double pApB, double maxL) {
    const double p00 = theta * Dmax + pApB;
    const double p01 = pA - p00;
    const double p10 = pB - p00;
    const double p11 = 1 - p00 - p01 - p10;
    if (likelihoodshouldbezero(p00, k00) || likelihoodshouldbezero(p01, k01) ||
        likelihoodshouldbezero(p10, k10) || likelihoodshouldbezero(p11, k11) ||
        likelihoodshouldbezero(p00 * p11 + p01 * p10, dh))
        return 0;
    return std::exp(calclnlike(theta, pA, pB, k00, k01, k10, k11, dh, Dmax, pApB) - maxL);
}

void calcConfidenceLimits(const int Array[3][3], double result[2], double X) {
    confidenceLimitsFromCounts(result, countsOfTable(Array), X);
}

bool swapsFirstMarker(const PairCounts& counts, double X) {
    const double k00 = counts.k00, k01 = counts.k01, k10 = counts.k10, k11 = counts.k11, dh = counts.dh;
    return expectedHaplotype00(k00 + k01 + dh, k00 + k10 + dh, k00 + k01 + k10 + k11 + 2 * dh) > X;
}

LikelihoodSetup orientLikelihood(const PairCounts& counts, double X) {
    LikelihoodSetup L;
    L.k00 = counts.k00;
    L.k01 = counts.k01;
    L.k10 = counts.k10;
    L.k11 = counts.k11;
    L.dh = counts.dh;
    const double T = L.k00 + L.k01 + L.k10 + L.k11 + 2 * L.dh;
    double a0 = L.k00 + L.k01 + L.dh;
    const double b0 = L.k00 + L.k10 + L.dh;
    double a1 = T - a0;
    const double b1 = T - b0;
    if (expectedHaplotype00(a0, b0, T) > X) {  // as swapsFirstMarker decides
        std::swap(a0, a1);
        std::swap(L.k00, L.k10);
        std::swap(L.k01, L.k11);
    }
    L.pA = a0 / T;
    L.qA = a1 / T;
    L.pB = b0 / T;
    L.qB = b1 / T;
    L.Dmax = L.pA * L.qB < L.qA * L.pB ? L.pA * L.qB : L.qA * L.pB;
    L.pApB = L.pA * L.pB;
    return L;
}

void confidenceLimitsFromCounts(double result[2], const PairCounts& counts, double X) {
    const LikelihoodSetup L = orientLikelihood(counts, X);

    // Maximum of the log-likelihood over the possible grid values (p11 taken as qA - p10 here).
    double maxL = lnLikeAt(L, 0);
    for (double theta = 0; theta < 1; theta += 0.01) {
        const double p00 = theta * L.Dmax + L.pApB;
        const double p01 = L.pA - p00;
        const double p10 = L.pB - p00;
        const double p11 = L.qA - p10;
        if (impossibleAt(L, p00, p01, p10, p11)) continue;
        const double lnL = lnLikeAt(L, theta);
        if (lnL > maxL) maxL = lnL;
    }

    double S = 0;
    for (double theta = 0; theta < 1; theta += 0.01) S += likeAt(L, theta, maxL);

    double lower = 0;
    double c = likeAt(L, 0, maxL) / S;
    if (c < 0.05) {
        double theta = 0;
        do {
            theta += 0.01;
            c += likeAt(L, theta, maxL) / S;
        } while (c < 0.05);
        lower = theta;
    }

    double upper = 1;
    c = likeAt(L, 1, maxL) / S;
    if (c < 0.05) {
        double theta = 1;
        do {
            theta -= 0.01;
            c += likeAt(L, theta, maxL) / S;
        } while (c < 0.05);
        upper = theta;
    }
    result[0] = lower;
    result[1] = upper;
}

}  // namespace linkstat
