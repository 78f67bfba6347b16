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

MarginGrid::MarginGrid(const LikelihoodSetup& margins) : margins_(margins) {
    for (int s = 0; s < kGridSteps; ++s) grid_[s] = pointAt(risingTheta(s));
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
    point.ln00 = std::log(p00);
    point.ln01 = std::log(p01);
    point.ln10 = std::log(p10);
    point.ln11 = std::log(p11);
    point.lnDh = std::log(dh);
    point.zero00 = p00 == 0;
    point.zero01 = p01 == 0;
    point.zero10 = p10 == 0;
    point.zero11 = p11 == 0;
    point.zeroDh = dh == 0;
    point.zero11Max = p11Max == 0;
    point.zeroDhMax = dhMax == 0;
    return point;
}

// The upper walk's D' values are not the grid's; where one gives the same p00 as the grid value beside
// it, every probability is the same, and the grid's point is taken.
const MarginGrid::Point& MarginGrid::falling(int steps) {
    while (static_cast<int>(falling_.size()) <= steps) {
        const int next = static_cast<int>(falling_.size());
        const double theta = fallingTheta(next);
        const int beside = kGridSteps - next;
        if (beside < kGridSteps && sameBits(theta * margins_.Dmax + margins_.pApB, grid_[beside].p00))
            falling_.push_back(grid_[beside]);
        else
            falling_.push_back(pointAt(theta));
    }
    return falling_[static_cast<std::size_t>(steps)];
}

GridBounds MarginGrid::bounds(const LikelihoodSetup& c) {
    auto lnLike = [&](const Point& p) {
        return term(c.k00, p.ln00) + term(c.k01, p.ln01) + term(c.k10, p.ln10) + term(c.k11, p.ln11) +
               term(c.dh, p.lnDh);
    };
    auto impossible = [&](const Point& p, bool zero11, bool zeroDh) {
        return (p.zero00 && c.k00 > 0) || (p.zero01 && c.k01 > 0) || (p.zero10 && c.k10 > 0) ||
               (zero11 && c.k11 > 0) || (zeroDh && c.dh > 0);
    };

    double lnL[kGridSteps], like[kGridSteps];
    double maxL = lnLike(grid_[0]);  // the maximum starts from theta 0, taken without the test
    for (int s = 0; s < kGridSteps; ++s) {
        const Point& p = grid_[s];
        lnL[s] = lnLike(p);
        if (!impossible(p, p.zero11Max, p.zeroDhMax) && lnL[s] > maxL) maxL = lnL[s];
    }
    double S = 0;
    for (int s = 0; s < kGridSteps; ++s) {
        const Point& p = grid_[s];
        like[s] = impossible(p, p.zero11, p.zeroDh) ? 0 : std::exp(lnL[s] - maxL);
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
        if (beside < kGridSteps && sameBits(p.p00, grid_[beside].p00)) return like[beside];
        return impossible(p, p.zero11, p.zeroDh) ? 0 : std::exp(lnLike(p) - maxL);
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
    MarginGrid grid(oriented);
    return grid.bounds(oriented);
}

unsigned long long marginKey(const LikelihoodSetup& L) {
    const auto a0 = static_cast<unsigned long long>(L.k00 + L.k01 + L.dh);
    const auto b0 = static_cast<unsigned long long>(L.k00 + L.k10 + L.dh);
    const auto T = static_cast<unsigned long long>(L.k00 + L.k01 + L.k10 + L.k11 + 2 * L.dh);
    return a0 << 22 | b0 << 11 | T;
}
