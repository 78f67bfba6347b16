// The EM counts of one marker pair, step by step, and the bounds that let the fast EM skip logarithms.

#include "em.hpp"

#include <algorithm>
#include <cmath>

#include "bounds.hpp"

namespace linkstat {

void Haplo_Em(const int Array[3][3], int hapCounts[4]) {
    emHaplotypes(countsOfTable(Array), hapCounts);
}

bool emptyForEm(const double k[4], double dh, double T) {
    const double pA = (k[0] + k[1] + dh) / T;
    const double pB = (k[0] + k[2] + dh) / T;
    const double e00 = pA * pB, e01 = pA * (1 - pB), e10 = (1 - pA) * pB, e11 = (1 - pA) * (1 - pB);
    return T == 0 || e00 == 0 || e01 == 0 || e10 == 0 || e11 == 0;
}

// Log-likelihood of the phase-known counts and the double heterozygotes under the frequencies p.
double emLogLikelihood(const double k[4], double dh, const double p[4]) {
    double lnL = 0;
    for (int x = 0; x < 4; ++x)
        if (p[x] > 0) lnL += k[x] * std::log(p[x]);
    if (p[0] * p[3] + p[1] * p[2] > 0) lnL += dh * std::log(2 * p[0] * p[3] + 2 * p[1] * p[2]);
    return lnL;
}

// One step of expectation-maximisation from the frequencies p.
void emStep(const double k[4], double dh, double p[4]) {
    // Expectation: split the double heterozygotes between the phases 00/11 and 01/10.
    const double c = dh * p[0] * p[3] / (p[0] * p[3] + p[1] * p[2]);
    const double r = dh * p[1] * p[2] / (p[0] * p[3] + p[1] * p[2]);
    // Maximisation: new frequencies from the completed counts.
    const double m[4] = {k[0] + c, k[1] + r, k[2] + r, k[3] + c};
    const double M = m[0] + m[1] + m[2] + m[3];
    for (int x = 0; x < 4; ++x) p[x] = m[x] / M;
}

void emHaplotypes(const PairCounts& counts, int hapCounts[4]) {
    const double k[4] = {double(counts.k00), double(counts.k01), double(counts.k10), double(counts.k11)};
    const double dh = counts.dh;
    const double T = k[0] + k[1] + k[2] + k[3] + 2 * dh;
    if (emptyForEm(k, dh, T)) {
        for (int x = 0; x < 4; ++x) hapCounts[x] = 0;
        return;
    }

    double p[4] = {0.25, 0.25, 0.25, 0.25};
    double lnL = (k[0] + k[1] + k[2] + k[3] + dh) * std::log(0.25);
    double previous = -999999999.0;
    while (std::fabs(lnL - previous) > 1e-9) {
        previous = lnL;
        emStep(k, dh, p);
        lnL = emLogLikelihood(k, dh, p);
    }
    for (int x = 0; x < 4; ++x) hapCounts[x] = static_cast<int>(p[x] * T + 0.5);
}

// EM never lowers the likelihood: with the complete counts m expected under the frequencies `before`
// of a step and T their sum, ln L(after) - ln L(before) >= T KL(m/T || before) - T KL(m/T || after)
// (frequencies scaled to sum 1; scaling them changes ln L by T times the logarithm of the factor).
// `after` is m/T but for a few roundings, which makes the second divergence negligible. The first is at
// least half the squared L1 distance (Pinsker's inequality), and at least the sum of (a - b)^2 / 2
// max(a, b) over the frequencies a of one vector and b of the other (each term of the divergence,
// a ln(a/b) - a + b, is at least that). The distances are shortened by the roundings.
double emRiseLowerBound(const double before[4], const double after[4], double T) {
    constexpr double kUnit = 0x1p-53;
    double d[4], larger[4], distance = 0;
    for (int x = 0; x < 4; ++x) {
        const double a = before[x], b = after[x];
        if (!(a >= 0 && a <= 2 && b >= 0 && b <= 2)) return -HUGE_VAL;
        larger[x] = a < b ? b : a;
        d[x] = std::fabs(b - a) - 32 * kUnit * larger[x];
        if (d[x] > 0) distance += d[x];
    }
    const double pinsker = T / 2 * (distance * distance) * (1 - 64 * kUnit);
    double spread = 0;
    for (int x = 0; x < 4; ++x)
        if (d[x] > 0) spread += d[x] * (d[x] / larger[x]);
    const double divergence = T / 2 * spread * (1 - 64 * kUnit);
    return divergence > pinsker ? divergence : pinsker;
}

// The log-likelihoods as emLogLikelihood computes them differ from their exact values by a few units in
// the last place of each term count * ln(frequency). After the first step of EM a frequency is at least
// its count / T, and the double-heterozygote term 2 (p00 p11 + p01 p10) at least 2 (k00 k11 + k01 k10)
// / T^2, which bounds every such logarithm.
double emSureRise(const double k[4], double dh) {
    constexpr double kUnit = 0x1p-53;
    const double T = k[0] + k[1] + k[2] + k[3] + 2 * dh;
    double terms = 0;  // bound of the sum of |count * logarithm| over the terms of one log-likelihood
    for (int x = 0; x < 4; ++x)
        if (k[x] > 0) terms += k[x] * (std::log(T / k[x]) + 1e-6);
    if (dh > 0) {
        const double phases = k[0] * k[3] + k[1] * k[2];
        if (!(phases > 0)) return HUGE_VAL;
        terms += dh * (std::log(T * T / (2 * phases)) + 1e-6);
    }
    return (1e-9 + T * 64 * kUnit + 64 * kUnit * terms) * (1 + 1e-9);
}

// Why the outcome can be known without iterating. Every step of the iteration splits the dh double
// heterozygotes into c of phase 00/11 and r = dh - c of phase 01/10; the next split is
// c' = f(c) = dh g / (g + h) with g = (k00 + c)(k11 + c) and h = (k01 + r)(k10 + r) (the frequencies'
// common divisor cancels), and f rises with c. The first step splits exactly in halves, c1 = dh / 2.
// Computed, a step gives f(c) within delta = T dh^2 2^-49 + dh 2^-40: its split and r are each within
// 6 units in the last place of the exact ones, which moves the sum c + r off dh by at most 6 u dh and f
// by at most T / (g + h) times that per unit of dh (g + h >= 1 when k00 and k11, or k01 and k10, are
// positive; otherwise nothing is claimed), and the step's own roundings stay below dh 2^-44.
// Hence, by induction over the steps: if f(c1) > c1 + delta, no split falls below c1, and none reaches a
// split t > c1 with f(t) < t - delta (c <= t gives c' <= f(t) + delta < t); mirrored if f(c1) < c1 - delta.
// Every split the iteration ends with lies in such a range [lo, hi], and X = (int)(p00 T + 0.5) with
// p00 T = k00 + c but for roundings far below kNear, so X lies in [(int)(k00 + lo + 0.5 - kNear),
// (int)(k00 + hi + 0.5 + kNear)]. The test points t are chosen where those ends meet the expectation
// a0 b0 / T that decides the orientation. As for empty margins: a margin of at least 2 chromosomes leaves
// at least one of its two haplotype counts at 1 or more (their frequencies add up to the margin over T),
// and a margin of none makes every count 0.
bool emOutcomeWithoutIterating(const PairCounts& c, EmOutcome& outcome) {
    constexpr double kNear = 1e-3;
    const double k00 = c.k00, k01 = c.k01, k10 = c.k10, k11 = c.k11, dh = c.dh;
    const double a0 = k00 + k01 + dh, a1 = k10 + k11 + dh, b0 = k00 + k10 + dh, b1 = k01 + k11 + dh;
    if (a0 == 0 || a1 == 0 || b0 == 0 || b1 == 0) {
        outcome = EmOutcome{true, 0};  // a marker monomorphic among the typed chromosomes, or none typed
        return true;
    }
    if (a0 < 2 || a1 < 2 || b0 < 2 || b1 < 2) return false;
    if (!((c.k00 > 0 && c.k11 > 0) || (c.k01 > 0 && c.k10 > 0))) return false;
    const double T = k00 + k01 + k10 + k11 + 2 * dh;
    const double delta = T * dh * dh * 0x1p-49 + dh * 0x1p-40;
    auto f = [&](double split) {
        const double g = (k00 + split) * (k11 + split), h = (k01 + (dh - split)) * (k10 + (dh - split));
        return dh * g / (g + h);
    };
    // X < expected exactly when X <= below, and X >= expected exactly when X >= above
    const double expected = expectedHaplotype00(a0, b0, T);
    const double above = std::ceil(expected), below = above - 1;
    // splits that put the ends of X's range at below and at above
    const double swapSplit = below + 0.5 - k00 - 2 * kNear, keepSplit = above - 0.5 - k00 + 2 * kNear;
    const double first = dh / 2;
    double lo = 0, hi = 0;  // no double heterozygotes: no split
    if (dh > 0) {
        const double next = f(first);
        if (next > first + delta) {
            lo = first;
            hi = dh;
            if (swapSplit > first && swapSplit < dh && f(swapSplit) < swapSplit - delta) hi = swapSplit;
        } else if (next < first - delta) {
            lo = 0;
            hi = first;
            if (keepSplit > 0 && keepSplit < first && f(keepSplit) > keepSplit + delta) lo = keepSplit;
        } else {
            return false;
        }
    }
    if (hi <= swapSplit) {
        outcome = EmOutcome{false, 0};  // X <= below < expected: the codes are swapped
        return true;
    }
    if (lo >= keepSplit) {
        outcome = EmOutcome{false, c.k00 + c.dh};  // X >= expected, as k00 + dh is: not swapped
        return true;
    }
    return false;
}

void fastEmHaplotypes(const PairCounts& counts, int hapCounts[4], EmKernel kernel) {
    int result[1][4];
    fastEmHaplotypes(&counts, 1, result, kernel);
    std::copy(result[0], result[0] + 4, hapCounts);
}

}  // namespace linkstat
