#include "gridbounds.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

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

MarginGrid::MarginGrid(const LikelihoodSetup& margins, unsigned positive) : margins_(margins) {
    takeLogarithms(positive);
}

void MarginGrid::takeLogarithms(unsigned positive) {
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

MarginGrid::Point MarginGrid::gridPoint(int s) const {
    Point point;
    point.p00 = gridP00_[s];
    for (int f = 0; f < 5; ++f) point.ln[f] = gridLn_[f][s];
    point.zeros = gridZeros_[s];
    point.zerosMax = gridZerosMax_[s];
    return point;
}

MarginGrid::Point MarginGrid::pointAt(double theta) const {
    const LikelihoodSetup& L = margins_;
    const double p00 = theta * L.Dmax + L.pApB;
    const double p01 = L.pA - p00;
    const double p10 = L.pB - p00;
    const double p11 = 1 - p00 - p01 - p10;
    const double dh = p00 * p11 + p01 * p10;
    const double p11Max = L.qA - p10;
    const double dhMax = p00 * p11Max + p01 * p10;
    Point point;
    point.p00 = p00;
    const double probabilities[5] = {p00, p01, p10, p11, dh};
    point.zeros = 0;
    for (int f = 0; f < 5; ++f) {
        point.ln[f] = logarithms_ >> f & 1 ? std::log(probabilities[f]) : 0;
        if (probabilities[f] == 0) point.zeros |= 1u << f;
    }
    point.zerosMax = (point.zeros & 0b00111u) | (p11Max == 0 ? 0b01000u : 0) | (dhMax == 0 ? 0b10000u : 0);
    return point;
}

// The upper walk's D' values are not the grid's; where one gives the same p00 as the grid value beside
// it, every probability is the same, and the grid's point is taken.
const MarginGrid::Point& MarginGrid::falling(int steps) {
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

GridBounds MarginGrid::bounds(const LikelihoodSetup& c) {
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

GridBounds gridBounds(const PairCounts& counts, double X) {
    const LikelihoodSetup oriented = orientLikelihood(counts, X);
    MarginGrid grid(oriented, positiveCounts(oriented));
    return grid.bounds(oriented);
}

unsigned long long marginKey(const LikelihoodSetup& L) {
    const auto a0 = static_cast<unsigned long long>(L.k00 + L.k01 + L.dh);
    const auto b0 = static_cast<unsigned long long>(L.k00 + L.k10 + L.dh);
    const auto T = static_cast<unsigned long long>(L.k00 + L.k01 + L.k10 + L.k11 + 2 * L.dh);
    return a0 << 22 | b0 << 11 | T;
}
