#pragma once
// Single-pass bounds of D': the same doubles as confidenceLimitsFromCounts, with less work.
//
// With the orientation fixed, every probability on the grid (p00, p01, p10, p11 and the double
// heterozygote term) depends only on the margins of the pair (a0, b0, T), not on its four counts. A
// MarginGrid therefore takes the logarithms once for all pairs with the same margins, and each pair's
// log-likelihood is then the same sum of count times logarithm, in the same order, that calclnlike
// forms. One pass over the grid serves the maximum, the normalising sum and the lower walk.

#include <vector>

#include "likelihood.hpp"

inline constexpr int kGridSteps = 100;

// Bounds as positions on the two walks: `lower` counts steps of 0.01 up from 0, `upper` steps down from
// 1. onGrid is false when a walk would pass the last grid value (a degenerate likelihood); the caller
// then computes that pair with confidenceLimitsFromCounts.
struct GridBounds {
    int lower = 0;
    int upper = 0;
    bool onGrid = true;
};

// The D' value after `steps` additions of 0.01 to 0, and after `steps` subtractions of 0.01 from 1,
// accumulated as the grid loop and the upper walk accumulate them.
double risingTheta(int steps);
double fallingTheta(int steps);

// Bit f set when the f-th of k00, k01, k10, k11 and dh is positive: only those enter the likelihood.
unsigned positiveCounts(const LikelihoodSetup& counts);

class MarginGrid {
public:
    // Uses only the margins of `margins` (pA, qA, pB, qB, Dmax, pApB); takes the logarithms that the
    // counts in `positive` (as from positiveCounts, for all pairs to come) need, and more on demand.
    MarginGrid(const LikelihoodSetup& margins, unsigned positive);
    // Bounds for oriented counts with the same margins as the grid.
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
    unsigned logarithms_ = 0;  // which of the five logarithms the points hold
    // The grid's points, stored field by field so that a pair's log-likelihoods form one vector loop.
    double gridP00_[kGridSteps];
    double gridLn_[5][kGridSteps];
    unsigned gridZeros_[kGridSteps];
    unsigned gridZerosMax_[kGridSteps];
    std::vector<Point> falling_;
};

// Bounds of one pair (a MarginGrid of its own).
GridBounds gridBounds(const PairCounts& counts, double X);

// Oriented margins a0, b0 and T of a pair, packed for grouping pairs that can share a MarginGrid.
unsigned long long marginKey(const LikelihoodSetup& oriented);
