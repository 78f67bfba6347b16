#pragma once
// The loops of the approximate bounds evaluation (gridbounds.cpp), compiled once per instruction set (the
// members of the bounds family, kernels.hpp): the preparation of a margin group's grid, and per table the
// log-likelihoods with their maximum and the likelihoods with their sum. Every kernel computes the
// probabilities bit for bit as the reference does (the same operations in the same order, no
// contraction), and their logarithms by one method of its own (logarithmsOf in gridkernels.inc) with an
// error bound that it states per probability; the kernels differ in their lane count and in the
// exponential: the portable kernel takes the C library's exp one value at a time, the AVX2 kernel its
// vector variant (4 lanes), the AVX-512 kernel an exponential of its own (8 lanes, inlined), all within a
// few units in the last place, far inside the error bound that gridbounds.cpp assumes. The AVX-512
// kernel's logarithm is its own too (gridkernels.cpp gives both methods and their error bounds).

#include <cstdint>

#include "gridbounds.hpp"

namespace linkstat {

// Slots of a margin group: the 100 grid values, D' = 1 at kOneSlot, and padding to a multiple of 8.
inline constexpr int kOneSlot = kGridSteps;
inline constexpr int kSlots = 104;

// Likelihoods whose exponent lies below -kFarExponent are taken as 0; exponents above it are clamped.
inline constexpr double kFarExponent = 60;

// A probability above this voids the error bound: such a grid is evaluated exactly.
inline constexpr double kLargestProbability = 1 + 0x1p-48;

// A margin group's grid for the approximate evaluation, stored field by field for vector loops. Masks of
// the five probabilities p00, p01, p10, p11 and the double-heterozygote term have bit f for the f-th.
struct GridSlots {
    // The slots: p_f as the reference computes them.
    alignas(64) double p[5][kSlots];
    // All ones where every p_f is positive and neither p11 nor the double-heterozygote term of the maximum
    // search (which take p11 as qA - p10) is zero: then none of the masks below has a bit.
    alignas(64) std::int64_t ok[kSlots];
    // Approximate logarithms of the taken p_f on the slots 0 to kOneSlot where p_f is positive, else 0;
    // each within lnError[f] of the exact logarithm.
    alignas(64) double ln[5][kSlots];
    double lnError[5];
    alignas(64) std::int64_t regular[kSlots];  // all ones on an ok grid slot (not the slot kOneSlot)
    // Masks, set by MarginGrid on the slots that are not ok and on the slots 0 and kOneSlot (no other slot
    // is read): p_f == 0, zero in the maximum search, p_f negative or NaN.
    unsigned zeros[kSlots];
    unsigned zerosMax[kSlots];
    unsigned negatives[kSlots];

    // The upper walk's step k (D' = fallingTheta(k)) is taken from the grid slot kGridSteps - k beside it:
    // pairDistance[f] bounds |p'_f - p_f| between the probabilities at the step and at the slot.
    double pairDistance[5];

    bool unusable;  // a probability above kLargestProbability

    int irregular[kGridSteps];  // the grid slots that are not regular
    int irregularCount;
};

struct GridKernels {
    // Fills the probabilities, ok, the logarithms of the probabilities whose bit is set in `taken` with
    // their error bounds, the regular slots, pairDistance and unusable (not the masks).
    void (*prepare)(GridSlots& g, const LikelihoodSetup& margins, unsigned taken);
    // lnL[s] = sum over f of counts[f] * ln[f][s] for every slot; returns the largest lnL[s] over the slots
    // whose regular[s] is set (-infinity when there is none).
    double (*lnLikes)(const GridSlots& g, const double counts[5], double* lnL);
    // With d = lnL[s] - maxL for every slot: like[s] = 0 when d < -kFarExponent, else exp(d) with d
    // clamped to kFarExponent. Returns the sum of like[s] over the regular slots.
    double (*likes)(const GridSlots& g, const double* lnL, double maxL, double* like);
    // The logarithms that prepare takes, of kSlots values p (0 where p is not positive or not finite),
    // into ln; returns their error bound.
    double (*logarithms)(const double* p, double* ln);
};

// The largest distance between the D' value of an upper-walk step and of the grid value beside it (the
// two accumulate their steps of 0.01 in opposite directions).
double pairedThetaDistance();

// A lower bound of p_f over the grid values [from, to) of g, prepared for the margins L, from the values at
// the two ends (gridkernels.cpp gives the reasons).
double leastProbability(const GridSlots& g, const LikelihoodSetup& L, int f, int from, int to);

const GridKernels& gridKernels(BoundsKernel kernel);

}  // namespace linkstat
