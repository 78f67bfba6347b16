// Two-locus haplotype counts of one marker pair: from the genotype table with the phase of double
// heterozygotes estimated by expectation-maximisation (Haplo_Em) or left out (Haplo_Knw), or from the
// allele strings read as phased chromosomes (Haplo_Act).

#include <cmath>

#include "linkstat.hpp"

namespace linkstat {

PairCounts countsOfTable(const int t[3][3]) {
    PairCounts c;
    c.k00 = 2 * t[0][0] + t[0][1] + t[1][0];
    c.k01 = 2 * t[2][0] + t[1][0] + t[2][1];
    c.k10 = 2 * t[0][2] + t[0][1] + t[1][2];
    c.k11 = 2 * t[2][2] + t[1][2] + t[2][1];
    c.dh = t[1][1];
    return c;
}

bool hasEmptyMargin(const int h[4]) {
    return h[0] + h[1] == 0 || h[2] + h[3] == 0 || h[0] + h[2] == 0 || h[1] + h[3] == 0;
}

void Haplo_Knw(const int Array[3][3], int hapCounts[4]) {
    const PairCounts c = countsOfTable(Array);
    hapCounts[0] = c.k00;
    hapCounts[1] = c.k01;
    hapCounts[2] = c.k10;
    hapCounts[3] = c.k11;
}

void Haplo_Em(const int Array[3][3], int hapCounts[4]) {
    emHaplotypes(countsOfTable(Array), hapCounts);
}

namespace {

// Log-likelihood of the phase-known counts and the double heterozygotes under the frequencies p.
double emLogLikelihood(const double k[4], double dh, const double p[4]) {
    double lnL = 0;
    for (int x = 0; x < 4; ++x)
        if (p[x] > 0) lnL += k[x] * std::log(p[x]);
    if (p[0] * p[3] + p[1] * p[2] > 0) lnL += dh * std::log(2 * p[0] * p[3] + 2 * p[1] * p[2]);
    return lnL;
}

}  // namespace

void emHaplotypes(const PairCounts& counts, int hapCounts[4]) {
    const double k[4] = {double(counts.k00), double(counts.k01), double(counts.k10), double(counts.k11)};
    const double dh = counts.dh;
    const double T = k[0] + k[1] + k[2] + k[3] + 2 * dh;
    const double pA = (k[0] + k[1] + dh) / T;
    const double pB = (k[0] + k[2] + dh) / T;
    const double e00 = pA * pB, e01 = pA * (1 - pB), e10 = (1 - pA) * pB, e11 = (1 - pA) * (1 - pB);
    if (T == 0 || e00 == 0 || e01 == 0 || e10 == 0 || e11 == 0) {
        for (int x = 0; x < 4; ++x) hapCounts[x] = 0;
        return;
    }

    double p[4] = {0.25, 0.25, 0.25, 0.25};
    double lnL = (k[0] + k[1] + k[2] + k[3] + dh) * std::log(0.25);
    double previous = -999999999.0;
    while (std::fabs(lnL - previous) > 1e-9) {
        previous = lnL;
        // Expectation: split the double heterozygotes between the phases 00/11 and 01/10.
        const double c = dh * p[0] * p[3] / (p[0] * p[3] + p[1] * p[2]);
        const double r = dh * p[1] * p[2] / (p[0] * p[3] + p[1] * p[2]);
        // Maximisation: new frequencies from the completed counts.
        const double m[4] = {k[0] + c, k[1] + r, k[2] + r, k[3] + c};
        const double M = m[0] + m[1] + m[2] + m[3];
        for (int x = 0; x < 4; ++x) p[x] = m[x] / M;
        lnL = emLogLikelihood(k, dh, p);
    }
    for (int x = 0; x < 4; ++x) hapCounts[x] = static_cast<int>(p[x] * T + 0.5);
}

void Haplo_Act(int hapCounts[4], const char* first, const char* second, int n) {
    for (int x = 0; x < 4; ++x) hapCounts[x] = 0;
    for (int k = 0; k < n; ++k) {
        const char s = first[k], t = second[k];
        if ((s == '0' || s == '1') && (t == '0' || t == '1')) ++hapCounts[2 * (s - '0') + (t - '0')];
    }
}

}  // namespace linkstat
