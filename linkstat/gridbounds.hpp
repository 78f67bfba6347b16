#pragma once
// Bounds of D' per genotype table: the same doubles as confidenceLimitsFromCounts, with less work.
//
// With the orientation fixed, every probability on the grid (p00, p01, p10, p11 and the double
// heterozygote term) depends only on the margins of the pair (a0, b0, T), not on its four counts. A
// MarginGrid therefore prepares the grid once for all tables with the same margins.
//
// Each table's bounds are first decided from an approximate evaluation: logarithms and exponentials
// from vectorised routines of known accuracy, sums in any order. Every accumulated value that a walk
// compares with 5% carries a proven error bound (gridbounds.cpp); when no such value lies within its
// bound of 5%, the walks stop exactly where the reference computation stops. Otherwise the table is
// evaluated exactly, with the reference's own logarithms, exponentials and order of operations.

#include <cstdint>
#include <memory>

#include "bounds.hpp"
#include "kernels.hpp"

namespace linkstat {

inline constexpr int kGridSteps = 100;

// Bounds as positions on the two walks: `lower` counts steps of 0.01 up from 0, `upper` steps down from
// 1. onGrid is false when a walk would pass the last grid value (a degenerate likelihood); the caller
// then computes that pair with confidenceLimitsFromCounts. exact tells that the approximate evaluation
// could not decide the table and the exact one gave the result.
struct GridBounds {
    int lower = 0;
    int upper = 0;
    bool onGrid = true;
    bool exact = false;
};

// The D' value after `steps` additions of 0.01 to 0, and after `steps` subtractions of 0.01 from 1,
// accumulated as the grid loop and the upper walk accumulate them.
double risingTheta(int steps);
double fallingTheta(int steps);

// Bit f set when the f-th of k00, k01, k10, k11 and dh is positive: only those enter the likelihood.
unsigned positiveCounts(const LikelihoodSetup& counts);

// Tables whose bounds margin grids decided, and how many of them needed the exact evaluation.
struct BoundsTally {
    std::uint64_t tables = 0;
    std::uint64_t exact = 0;
    BoundsTally& operator+=(const BoundsTally& other) {
        tables += other.tables;
        exact += other.exact;
        return *this;
    }
};

// How a run evaluates bounds: the member of the bounds family (every member decides the same bounds)
// and the factor of the error band around 5% within which a table is left to the exact evaluation (1,
// the proven band; tests widen it to send more tables there; below 1 the proof would not hold).
struct BoundsOptions {
    BoundsKernel kernel = fastestKernel<BoundsKernel>();
    double bandScale = 1;
};

class ExactGrid;
struct GridSlots;
struct GridKernels;

// Room for the slots of one margin grid at a time, which its owner keeps from grid to grid (a grid
// overwrites whatever it finds there).
class GridScratch {
public:
    GridScratch();
    ~GridScratch();
    GridScratch(const GridScratch&) = delete;
    GridScratch& operator=(const GridScratch&) = delete;
    GridSlots& slots() { return *slots_; }

private:
    std::unique_ptr<GridSlots> slots_;
};

class MarginGrid {
public:
    // Uses only the margins of `margins` (pA, qA, pB, qB, Dmax, pApB); prepares the logarithms that the
    // counts in `positive` (as from positiveCounts, for all tables to come) need, and more on demand, in
    // the slots of `scratch`, which it uses until it ends.
    MarginGrid(const LikelihoodSetup& margins, unsigned positive, const BoundsOptions& options, GridScratch& scratch);
    ~MarginGrid();
    MarginGrid(const MarginGrid&) = delete;
    MarginGrid& operator=(const MarginGrid&) = delete;

    // Bounds for oriented counts with the same margins as the grid.
    GridBounds bounds(const LikelihoodSetup& counts);
    // The tables of this grid so far.
    const BoundsTally& tally() const { return tally_; }

private:
    void prepare(unsigned positive);
    bool approximate(const LikelihoodSetup& counts, unsigned positive, GridBounds& result);

    LikelihoodSetup margins_;
    unsigned logarithms_ = 0;  // which of the five logarithms the grid holds
    const GridKernels* kernels_;
    double bandScale_;
    GridSlots& slots_;
    std::unique_ptr<ExactGrid> exact_;  // the reference evaluation, made on the first undecided table
    BoundsTally tally_;
};

// Bounds of one pair (a MarginGrid of its own); its table is added to *tally when one is given.
GridBounds gridBounds(const PairCounts& counts, double X, const BoundsOptions& options = {},
                      BoundsTally* tally = nullptr);

}  // namespace linkstat
