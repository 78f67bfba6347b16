#include "gridbounds.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "gridkernels.hpp"

// ---- Why the approximate evaluation decides the same bounds as the reference -----------------------------
//
// Notation. u = 2^-53 is the unit roundoff. The reference (confidenceLimitsFromCounts, and ExactGrid below,
// which gives the same doubles) computes at a value of D' the probabilities p_f (f = 00, 01, 10, 11 and the
// double-heterozygote term) and lnL = ((((t_0 + t_1) + t_2) + t_3) + t_4) with t_f = c_f * log(p_f)
// (0 when c_f = 0), then maxL, like = exp(lnL - maxL), S = the sum of the 100 grid likes in order, and the
// walks c_0 = like_0 / S, c_k = c_{k-1} + like_k / S, stopping at the first c_k that is not below 0.05.
// The approximate evaluation computes the same p_f bit for bit (same formulas, same order, no contraction)
// and, from them, its own lnL~, maxL~, like~ and sums; only the logarithms, the exponentials and the order of
// the additions differ. Assumed accuracy: the C library's scalar log and exp, its vector exp and the AVX-512
// kernel's own exp err by at most 2^-46 relative (the C library gives below 1 ulp for the scalar functions
// and 4 ulp for the vector variants, that is below 2^-50; gridkernels.cpp bounds its own below 2^-49).
// The grid's logarithms l_f are the kernel's own (gridkernels.inc), each
// within lnError_f of ln p_f, and E = sum of c_f lnError_f. Then, per value of D', with C = sum of the counts
// and M = sum of |c_f ln p_f|:
//
// (1) Classification is exact. Which values of D' are impossible (like 0), which have a NaN likelihood (a
//     positive count meets a negative p_f), and which enter the maximum are decided from the p_f alone, in
//     both evaluations the same way. Every p_f is at most 1 + 2^-48 (checked; otherwise the grid is left to
//     the exact evaluation), so positive logarithms add at most C 2^-47 to M, and M <= (|lnL~| + 1.01 E +
//     C 2^-47) / (1 - 2^-45).
// (2) Log-likelihoods. The reference is within ((1 + 2^-46)(1 + u)^5 - 1) M of the real sum of c_f ln p_f,
//     the approximate sum within (1 + u)^5 E + ((1 + u)^5 - 1)(M + E), so |lnL - lnL~| <= 2^-44 M + 1.01 E.
// (3) Maximum. Both maxima run over the same set (1). With i the approximate and j the exact arg max,
//     maxL >= lnL_i >= maxL~ - e_i and lnL~_j >= lnL_j - e_j >= maxL~ - e_i - e_j, so point j lies within 1 of
//     maxL~ (e <= 1/2 by (5)) and |maxL - maxL~| <= 2^-44 (|maxL~| + 1 + 1.01 E + C 2^-47) (1 + 2^-44) + 1.01 E.
// (4) Near values. Where d~ = lnL~ - maxL~ lies in [-60, 60], |lnL~| <= |maxL~| + 60.1, and with the
//     roundings of both differences (2 * 61 u), |d - d~| <= Dnear = 2^-43 (|maxL~| + 64 + C 2^-46) + 2.03 E
//     (E <= 1, checked). With Dnear <= 2^-20 (checked) and the two exponentials, like = like~ (1 + e),
//     |e| <= r = Dnear (1 + Dnear) + 2^-44.
// (5) Far values. With |ln p| <= 745 for every positive double, M <= 746 C, so |d - d~| <= 2^-42 746 C +
//     2.03 E <= 1 (checked). Where d~ < -60 the approximate like~ is taken as 0 and the reference's like is
//     at most e^-58: an absolute error of at most a = e^-58 per value. Where d~ > 60 at D' = 1, the
//     reference's like there is at least e^59 (1 - 2^-46), or +infinity, and its S at most 2 S~ (7): with
//     S~ <= 2^64 the upper walk's first sum is not below 0.05, and the upper bound is 1.
// (6) Upper walk. Its values of D' (1 - 0.01 k, accumulated downwards) are not the grid's. D' = 1 is a
//     slot of its own (4, 5). Every other step is paired with the grid value 100 - k beside it, which
//     lies within pairedThetaDistance of it: the reference's operations then give probabilities p'_f
//     within pairDistance_f of the grid value's p_f (gridkernels.inc). Where m_f, a lower bound of p_f over
//     the grid values the walk pairs (leastProbability), exceeds 2 pairDistance_f, |ln p'_f - ln p_f| <= |p'_f - p_f| /
//     min(p'_f, p_f) <= lambda_f = pairDistance_f / (m_f - pairDistance_f), so the reference's likelihood
//     at the step is the grid value's like~ within r_up = Dup (1 + Dup) + 2^-44, Dup = Dnear + 2 sigma,
//     sigma = sum of c_f lambda_f <= 2^-20 (checked); for a far grid value, the step's like is at most
//     e^-58 as in (5). A step paired with a grid value that is not regular, or beyond these bounds, falls
//     back.
// (7) Sums. Of nonnegative terms, the reference's S and c_k and the approximate P_k (the walk's partial
//     sums of like~) and S~ are within (1 + u)(1 + 101 u) / (1 - 99 u) < 1 + 2^-45 of the real sums of
//     their terms. With the real sums P~_k, S~ of the like~ (S~ >= like~ at the maximum >= 1/2), (4)-(6)
//     give c_k <= (1 + 2^-45) ((1 + r_walk) P~_k + 101 a) / ((1 - r) S~) and the matching lower bound.
//     Hence, with R = 2 (r_walk + r) + 2^-40 and A = 2^-60 (above 210 a): a computed P_k below
//     S~ (0.05 (1 - R) - A) proves c_k < 0.05, and one at or above S~ (0.05 (1 + R) + A) proves
//     c_k >= 0.05; the thresholds' own roundings are inside the 2^-40. The partial sums of a walk never
//     fall, so the upper walk is first walked with the grid values' r alone and then, with sigma over the
//     grid values it paired, its last two sums are tested again.
// (8) A walk stops where the reference stops when every partial sum before its stop is proved below 0.05
//     and the one at its stop is proved not below 0.05, or is NaN in the reference (a NaN likelihood at
//     D' = 1, where the upper walk starts, decided exactly by (1)). Anything else falls back to the exact
//     evaluation: a partial sum inside the band, a walk that would leave the grid, a NaN or non-finite
//     log-likelihood at D' = 0 or on the grid, a likelihood above e^60 times the maximum, a step that cannot
//     be paired, or a bound of (4)-(6) not met.

namespace linkstat {

namespace {

struct ThetaWalks {
    double rising[kGridSteps + 1];
    double falling[kGridSteps + 1];
    ThetaWalks() {
        double up = 0, down = 1;
        for (int s = 0; s <= kGridSteps; ++s) {
            rising[s] = up;
            falling[s] = down;
            up += 0.01;
            down -= 0.01;
        }
    }
};

const ThetaWalks& walks() {
    static const ThetaWalks instance;
    return instance;
}

// count times the logarithm, 0 for a zero count: findlnandmult with the logarithm taken in advance
double term(double count, double logarithm) {
    return count == 0 ? 0 : count * logarithm;
}

bool sameBits(double x, double y) {
    return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The probabilities at one value of D', computed as the reference computes them: p00, p01, p10, p11 and
// the double-heterozygote term, and p11 and that term as the maximum search takes them.
struct Probabilities {
    double p[5];
    double p11Max, dhMax;
};

Probabilities probabilitiesAt(const LikelihoodSetup& L, double theta) {
    Probabilities q;
    const double p00 = theta * L.Dmax + L.pApB;
    const double p01 = L.pA - p00;
    const double p10 = L.pB - p00;
    const double p11 = 1 - p00 - p01 - p10;
    q.p[0] = p00;
    q.p[1] = p01;
    q.p[2] = p10;
    q.p[3] = p11;
    q.p[4] = p00 * p11 + p01 * p10;
    q.p11Max = L.qA - p10;
    q.dhMax = p00 * q.p11Max + p01 * p10;
    return q;
}

// Bit f set where p_f is 0 (the value of D' is impossible when count f is positive), and where p_f is
// negative or NaN (its logarithm is NaN).
unsigned zerosOf(const double p[5]) {
    unsigned bits = 0;
    for (int f = 0; f < 5; ++f)
        if (p[f] == 0) bits |= 1u << f;
    return bits;
}

unsigned negativesOf(const double p[5]) {
    unsigned bits = 0;
    for (int f = 0; f < 5; ++f)
        if (!(p[f] >= 0)) bits |= 1u << f;
    return bits;
}

// The probabilities that are zero in the search of the maximum: p00, p01, p10 as on the grid, and the
// search's own p11 and double-heterozygote term.
unsigned zerosMaxOf(unsigned zeros, double p11Max, double dhMax) {
    return (zeros & 0b00111u) | (p11Max == 0 ? 0b01000u : 0) | (dhMax == 0 ? 0b10000u : 0);
}

}  // namespace

double risingTheta(int steps) {
    return walks().rising[steps];
}

double fallingTheta(int steps) {
    return walks().falling[steps];
}

unsigned positiveCounts(const LikelihoodSetup& c) {
    const double counts[5] = {c.k00, c.k01, c.k10, c.k11, c.dh};
    unsigned positive = 0;
    for (int f = 0; f < 5; ++f)
        if (counts[f] > 0) positive |= 1u << f;
    return positive;
}

// ---- the exact evaluation --------------------------------------------------------------------------------

// The reference's arithmetic with the logarithms of a margin group taken once: each table's log-likelihood
// is the same sum of count times logarithm, in the same order, that calclnlike forms, and one pass over the
// grid serves the maximum, the normalising sum and the lower walk.
class ExactGrid {
public:
    ExactGrid(const LikelihoodSetup& margins, unsigned positive) : margins_(margins) { takeLogarithms(positive); }
    GridBounds bounds(const LikelihoodSetup& counts);

private:
    // Logarithms of the probabilities at one value of D' in the order p00, p01, p10, p11 and the double
    // heterozygote term, and bit masks of those that are zero, for the likelihood and for the maximum
    // search (which takes p11 as qA - p10).
    struct Point {
        double p00;
        double ln[5];
        unsigned zeros;
        unsigned zerosMax;
    };
    Point pointAt(double theta) const;
    Point gridPoint(int s) const;
    const Point& falling(int steps);
    void takeLogarithms(unsigned positive);

    LikelihoodSetup margins_;
    unsigned logarithms_ = 0;
    // The grid's points, stored field by field so that a table's log-likelihoods form one vector loop.
    double gridP00_[kGridSteps];
    double gridLn_[5][kGridSteps];
    unsigned gridZeros_[kGridSteps];
    unsigned gridZerosMax_[kGridSteps];
    std::vector<Point> falling_;
};

void ExactGrid::takeLogarithms(unsigned positive) {
    logarithms_ |= positive;
    for (int s = 0; s < kGridSteps; ++s) {
        const Point point = pointAt(risingTheta(s));
        gridP00_[s] = point.p00;
        for (int f = 0; f < 5; ++f) gridLn_[f][s] = point.ln[f];
        gridZeros_[s] = point.zeros;
        gridZerosMax_[s] = point.zerosMax;
    }
    falling_.clear();
}

ExactGrid::Point ExactGrid::gridPoint(int s) const {
    Point point;
    point.p00 = gridP00_[s];
    for (int f = 0; f < 5; ++f) point.ln[f] = gridLn_[f][s];
    point.zeros = gridZeros_[s];
    point.zerosMax = gridZerosMax_[s];
    return point;
}

ExactGrid::Point ExactGrid::pointAt(double theta) const {
    const Probabilities q = probabilitiesAt(margins_, theta);
    Point point;
    point.p00 = q.p[0];
    point.zeros = zerosOf(q.p);
    for (int f = 0; f < 5; ++f) point.ln[f] = logarithms_ >> f & 1 ? std::log(q.p[f]) : 0;
    point.zerosMax = zerosMaxOf(point.zeros, q.p11Max, q.dhMax);
    return point;
}

// The upper walk's D' values are not the grid's; where one gives the same p00 as the grid value beside
// it, every probability is the same, and the grid's point is taken.
const ExactGrid::Point& ExactGrid::falling(int steps) {
    while (static_cast<int>(falling_.size()) <= steps) {
        const int next = static_cast<int>(falling_.size());
        const double theta = fallingTheta(next);
        const int beside = kGridSteps - next;
        if (beside < kGridSteps && sameBits(theta * margins_.Dmax + margins_.pApB, gridP00_[beside]))
            falling_.push_back(gridPoint(beside));
        else
            falling_.push_back(pointAt(theta));
    }
    return falling_[static_cast<std::size_t>(steps)];
}

GridBounds ExactGrid::bounds(const LikelihoodSetup& c) {
    const double counts[5] = {c.k00, c.k01, c.k10, c.k11, c.dh};
    // A zero probability makes a grid value impossible where its count is positive.
    const unsigned positive = positiveCounts(c);
    if ((positive & ~logarithms_) != 0) takeLogarithms(positive);
    auto lnLike = [&](const Point& p) {
        return term(counts[0], p.ln[0]) + term(counts[1], p.ln[1]) + term(counts[2], p.ln[2]) +
               term(counts[3], p.ln[3]) + term(counts[4], p.ln[4]);
    };
    auto impossible = [&](unsigned zeros) { return (zeros & positive) != 0; };

    // The grid's log-likelihoods as one loop without branches: a zero count's term is +0 (all bits clear).
    std::uint64_t keep[5];
    for (int f = 0; f < 5; ++f) keep[f] = counts[f] == 0 ? 0 : ~std::uint64_t{0};
    auto kept = [&](int f, int s) {
        return std::bit_cast<double>(std::bit_cast<std::uint64_t>(counts[f] * gridLn_[f][s]) & keep[f]);
    };
    double lnL[kGridSteps], like[kGridSteps];
    for (int s = 0; s < kGridSteps; ++s) lnL[s] = kept(0, s) + kept(1, s) + kept(2, s) + kept(3, s) + kept(4, s);
    double maxL = lnL[0];  // the maximum starts from theta 0, taken without the test
    for (int s = 0; s < kGridSteps; ++s)
        if (!impossible(gridZerosMax_[s]) && lnL[s] > maxL) maxL = lnL[s];
    double S = 0;
    for (int s = 0; s < kGridSteps; ++s) {
        like[s] = impossible(gridZeros_[s]) ? 0 : std::exp(lnL[s] - maxL);
        S += like[s];
    }

    GridBounds result;
    double sum = like[0] / S;
    if (sum < 0.05) {
        int s = 0;
        do {
            if (++s == kGridSteps) return GridBounds{0, 0, false};
            sum += like[s] / S;
        } while (sum < 0.05);
        result.lower = s;
    }

    // A step of the upper walk with the same p00 as the grid value beside it has that value's likelihood.
    auto fallingLike = [&](int steps) {
        const Point& p = falling(steps);
        const int beside = kGridSteps - steps;
        if (beside < kGridSteps && sameBits(p.p00, gridP00_[beside])) return like[beside];
        return impossible(p.zeros) ? 0 : std::exp(lnLike(p) - maxL);
    };
    sum = fallingLike(0) / S;
    if (sum < 0.05) {
        int steps = 0;
        do {
            if (++steps > kGridSteps) return GridBounds{0, 0, false};
            sum += fallingLike(steps) / S;
        } while (sum < 0.05);
        result.upper = steps;
    }
    return result;
}

// ---- the approximate evaluation --------------------------------------------------------------------------

GridScratch::GridScratch() : slots_(std::make_unique_for_overwrite<GridSlots>()) {}

GridScratch::~GridScratch() = default;

MarginGrid::MarginGrid(const LikelihoodSetup& margins, unsigned positive, const BoundsOptions& options,
                       GridScratch& scratch)
    : margins_(margins),
      kernels_(&gridKernels(options.kernel)),
      bandScale_(options.bandScale),
      slots_(scratch.slots()) {
    prepare(positive);
}

MarginGrid::~MarginGrid() = default;

void MarginGrid::prepare(unsigned positive) {
    logarithms_ |= positive;
    GridSlots& g = slots_;
    kernels_->prepare(g, margins_, logarithms_);
    // The masks, on the slots where they can have bits (the others are regular and never read them).
    g.irregularCount = 0;
    for (int s = 0; s <= kOneSlot; ++s) {
        // four ok slots at a time are passed over at once
        if (s % 4 == 0 && s + 3 <= kOneSlot && (g.ok[s] & g.ok[s + 1] & g.ok[s + 2] & g.ok[s + 3]) == -1) {
            s += 3;
            continue;
        }
        if (g.ok[s] != 0) continue;
        const double p[5] = {g.p[0][s], g.p[1][s], g.p[2][s], g.p[3][s], g.p[4][s]};
        g.zeros[s] = zerosOf(p);
        // the maximum search's p11 and double-heterozygote term, as probabilitiesAt computes them
        const double p11Max = margins_.qA - p[2];
        g.zerosMax[s] = zerosMaxOf(g.zeros[s], p11Max, p[0] * p11Max + p[1] * p[2]);
        g.negatives[s] = negativesOf(p);
        if (s < kGridSteps) g.irregular[g.irregularCount++] = s;
    }
    if (g.ok[0] != 0) g.zeros[0] = g.zerosMax[0] = g.negatives[0] = 0;
    if (g.ok[kOneSlot] != 0) g.zeros[kOneSlot] = g.zerosMax[kOneSlot] = g.negatives[kOneSlot] = 0;
}


// Where a walk stops: after `steps` steps (those past the first value), the partial sum there and the one
// before it.
struct WalkStop {
    int steps;
    double sum;
    double before;
};

// The partial sums of the two walks over the likelihoods of the grid slots, found a block of four slots
// at a time: a block's sum is added at once while the sum stays below the threshold, and only the block
// where it reaches it is walked slot by slot. Every partial sum so formed is a sum of nonnegative terms
// of the walk, within the rounding bound of (7) of the exact one, whatever the order of its additions;
// the exact partial sums never fall, so a block's end below the threshold puts every partial sum before
// it there too.
class Walks {
public:
    explicit Walks(const double* like) : like_(like) {
        for (int b = 0; b < kBlocks; ++b)
            block_[b] = (like[4 * b] + like[4 * b + 1]) + (like[4 * b + 2] + like[4 * b + 3]);
    }

    // The lower walk: like[0], then like[1], like[2], ... added; stops at the first partial sum that is
    // not below `threshold`, or after kGridSteps steps when none is (steps == kGridSteps).
    WalkStop rising(double threshold) const {
        double sum = like_[0];
        if (!(sum < threshold)) return {0, sum, 0};
        double before = sum;
        int s = 1;
        for (; s < 4; ++s) {
            before = sum;
            sum += like_[s];
            if (!(sum < threshold)) return {s, sum, before};
        }
        for (int b = 1; b < kBlocks; ++b) {
            const double end = sum + block_[b];
            if (end < threshold) {
                sum = end;
                continue;
            }
            for (s = 4 * b; s < 4 * b + 4; ++s) {
                before = sum;
                sum += like_[s];
                if (!(sum < threshold)) return {s, sum, before};
            }
            return {s - 1, sum, before};  // the block's sum reached the threshold, its walk did not
        }
        return {kGridSteps, sum, before};
    }

    // The upper walk: `start`, below the threshold, then like[99], like[98], ... added; stops at the first
    // partial sum not below `threshold`, after kGridSteps + 1 steps when none is.
    WalkStop falling(double start, double threshold) const {
        double sum = start, before = start;
        for (int b = kBlocks - 1; b >= 0; --b) {
            const double end = sum + block_[b];
            if (end < threshold) {
                sum = end;
                continue;
            }
            for (int s = 4 * b + 3; s >= 4 * b; --s) {
                before = sum;
                sum += like_[s];
                if (!(sum < threshold)) return {kGridSteps - s, sum, before};
            }
            return {kGridSteps - 4 * b, sum, before};
        }
        return {kGridSteps + 1, sum, before};
    }

private:
    static constexpr int kBlocks = kGridSteps / 4;
    const double* like_;
    double block_[kBlocks];
};

// Decides the bounds from the approximate evaluation (see the proof at the top); false when it cannot.
bool MarginGrid::approximate(const LikelihoodSetup& c, unsigned positive, GridBounds& result) {
    const GridSlots& g = slots_;
    if (g.unusable) return false;
    const double counts[5] = {c.k00, c.k01, c.k10, c.k11, c.dh};
    const double C = counts[0] + counts[1] + counts[2] + counts[3] + counts[4];
    // the logarithms' errors weighted by the counts (a zero count takes no logarithm)
    double E = 0;
    for (int f = 0; f < 5; ++f) E += term(counts[f], g.lnError[f]);
    E *= 1 + 0x1p-50;
    if (!(C * 746 * 0x1p-42 + 2.03 * E <= 1)) return false;  // (5), and E <= 1
    const GridKernels& kernels = *kernels_;
    alignas(64) double lnL[kSlots];
    alignas(64) double like[kSlots];

    // The maximum (3): from D' = 0, whose log-likelihood must be finite, over the regular slots and the
    // irregular ones that enter it. An impossible value adds -infinity (or NaN) to the reference's search,
    // which never raises it; a NaN likelihood on the grid would make S NaN.
    double maxL = kernels.lnLikes(g, counts, lnL);
    if (((g.zeros[0] | g.negatives[0]) & positive) != 0) return false;
    if (lnL[0] > maxL) maxL = lnL[0];
    for (int i = 0; i < g.irregularCount; ++i) {
        const int s = g.irregular[i];
        if ((g.zeros[s] & positive) != 0) continue;
        if ((g.negatives[s] & positive) != 0) return false;
        if ((g.zerosMax[s] & positive) == 0 && lnL[s] > maxL) maxL = lnL[s];
    }
    const double nearError = 0x1p-43 * (std::fabs(maxL) + 64 + C * 0x1p-46) + 2.03 * E;  // (4)
    if (!(nearError <= 0x1p-20)) return false;

    double S = kernels.likes(g, lnL, maxL, like);
    for (int i = 0; i < g.irregularCount; ++i) {
        const int s = g.irregular[i];
        if ((g.zeros[s] & positive) != 0) {
            like[s] = 0;
            continue;
        }
        if (!(lnL[s] - maxL <= kFarExponent)) return false;
        S += like[s];
    }
    if (!(S >= 0.5 && S < kInfinity)) return false;

    // The thresholds of (7) for the partial sums.
    const double r = nearError * (1 + nearError) + 0x1p-44;
    const double scale = bandScale_;
    double below = 0, above = 0;
    auto thresholds = [&](double rWalk) {
        const double R = (2 * (rWalk + r) + 0x1p-40) * scale;
        below = S * (0.05 * (1 - R) - 0x1p-60);
        above = S * (0.05 * (1 + R) + 0x1p-60);
    };

    // Lower walk over the grid values.
    thresholds(r);
    const Walks walks(like);
    const WalkStop lowerStop = walks.rising(below);
    if (lowerStop.steps == kGridSteps) return false;
    if (!(lowerStop.sum >= above)) return false;
    result.lower = lowerStop.steps;

    // Upper walk: D' = 1 first, then the steps down, each from the grid value beside it (6), walked first
    // with the grid values' own bound r.
    result.upper = 0;
    double start;
    if ((g.zeros[kOneSlot] & positive) != 0) {
        start = 0;
    } else if ((g.negatives[kOneSlot] & positive) != 0) {
        return true;  // the reference's first sum is NaN: the upper bound is 1
    } else if (lnL[kOneSlot] - maxL > kFarExponent) {
        // (5) D' = 1 outweighs the grid's maximum by more than e^59: the first sum is far above 0.05.
        return S <= 0x1p64;
    } else {
        start = like[kOneSlot];
    }
    if (start >= above) return true;
    if (!(start < below)) return false;
    const WalkStop upperStop = walks.falling(start, below);
    const int k = upperStop.steps;
    if (k > kGridSteps) return false;
    const double sum = upperStop.sum, before = upperStop.before;
    if (!(sum >= above)) return false;
    // every grid slot the walk paired must be regular (the irregular ones are listed)
    for (int i = 0; i < g.irregularCount; ++i)
        if (g.irregular[i] >= kGridSteps - k) return false;
    // The paired grid values kGridSteps - k to kGridSteps - 1: lower bounds of their probabilities give
    // sigma, which widens the band for the walk's last two sums.
    double sigma = 0;
    for (int f = 0; f < 5; ++f) {
        if (counts[f] == 0) continue;
        const double least = leastProbability(g, margins_, f, kGridSteps - k, kGridSteps);
        const double distance = g.pairDistance[f];
        if (!(least > 2 * distance)) return false;
        sigma += counts[f] * (distance / (least - distance));
    }
    sigma *= 1 + 0x1p-48;  // the roundings of the sum and the quotients, rounded up
    if (!(sigma <= 0x1p-20)) return false;
    const double upError = nearError + 2 * sigma;
    thresholds(upError * (1 + upError) + 0x1p-44);
    if (!(before < below && sum >= above)) return false;
    result.upper = k;
    return true;
}

GridBounds MarginGrid::bounds(const LikelihoodSetup& counts) {
    const unsigned positive = positiveCounts(counts);
    if ((positive & ~logarithms_) != 0) prepare(positive);
    ++tally_.tables;
    GridBounds result;
    if (approximate(counts, positive, result)) return result;
    ++tally_.exact;
    if (!exact_) exact_ = std::make_unique<ExactGrid>(margins_, logarithms_);
    result = exact_->bounds(counts);
    result.exact = true;
    return result;
}

GridBounds gridBounds(const PairCounts& counts, double X, const BoundsOptions& options, BoundsTally* tally) {
    const LikelihoodSetup oriented = orientLikelihood(counts, X);
    GridScratch scratch;
    MarginGrid grid(oriented, positiveCounts(oriented), options, scratch);
    const GridBounds bounds = grid.bounds(oriented);
    if (tally) *tally += grid.tally();
    return bounds;
}

}  // namespace linkstat
