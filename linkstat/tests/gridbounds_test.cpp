// The approximate bounds evaluation against the reference computation: every kernel on random tables, on
// its own and in shared margin grids; the kernels' probabilities, logarithms and exponentials against the
// accuracy the error bound assumes; and tables whose accumulated likelihood lies next to 5%, which are
// decided exactly, by the approximate evaluation under the proven band and by the exact one under a
// widened band.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "bounds.hpp"
#include "em.hpp"
#include "gridbounds.hpp"
#include "gridkernels.hpp"
#include "settings.hpp"

namespace {

using namespace linkstat;

std::vector<BoundsKernel> runnableKernels() {
    std::vector<BoundsKernel> kernels;
    for (const auto kernel : {BoundsKernel::portable, BoundsKernel::avx2, BoundsKernel::avx512})
        if (kernelRuns(kernel)) kernels.push_back(kernel);
    return kernels;
}

struct Table {
    PairCounts counts;
    int X;
};

std::string describe(const Table& t, BoundsKernel kernel) {
    const PairCounts& c = t.counts;
    return std::string(kernelName(kernel)) + " counts " + std::to_string(c.k00) + " " + std::to_string(c.k01) +
           " " + std::to_string(c.k10) + " " + std::to_string(c.k11) + " dh " + std::to_string(c.dh) + " X " +
           std::to_string(t.X);
}

void expectReference(const GridBounds& bounds, const Table& t, BoundsKernel kernel) {
    double reference[2];
    confidenceLimitsFromCounts(reference, t.counts, t.X);
    ASSERT_TRUE(bounds.onGrid) << describe(t, kernel);
    EXPECT_EQ(risingTheta(bounds.lower), reference[0]) << describe(t, kernel);
    EXPECT_EQ(fallingTheta(bounds.upper), reference[1]) << describe(t, kernel);
}

// Random tables with non-empty margins, small and large (up to about 24,000 chromosomes), with X as EM
// mode, known mode and an arbitrary count deliver it, so that both orientations occur.
std::vector<Table> randomTables(unsigned seed, int n) {
    std::mt19937 rng(seed);
    std::vector<Table> tables;
    const int scales[] = {3, 12, 80, 600, 5000};
    while (static_cast<int>(tables.size()) < n) {
        const int scale = scales[tables.size() % 5];
        std::uniform_int_distribution<int> count(0, scale);
        PairCounts c{count(rng), count(rng), count(rng), count(rng), tables.size() % 3 == 0 ? 0 : count(rng) / 4};
        const int known[4] = {c.k00, c.k01, c.k10, c.k11};
        int em[4];
        emHaplotypes(c, em);
        if (hasEmptyMargin(known) || hasEmptyMargin(em)) continue;
        const int T = c.k00 + c.k01 + c.k10 + c.k11 + 2 * c.dh;
        const int X = std::vector<int>{em[0], c.k00, std::uniform_int_distribution<int>(0, T)(rng)}[tables.size() % 3];
        tables.push_back({c, X});
    }
    return tables;
}

TEST(BoundsKernels, EveryKernelEqualsReferenceOnRandomTables) {
    const std::vector<Table> tables = randomTables(20260611, 2500);
    for (const BoundsKernel kernel : runnableKernels()) {
        const BoundsOptions options{kernel};
        BoundsTally tally;
        for (const Table& t : tables) {
            expectReference(gridBounds(t.counts, t.X, options, &tally), t, kernel);
            if (HasFailure()) return;
        }
        EXPECT_EQ(tally.tables, tables.size());
    }
}

// Tables with the same oriented margins share one grid, prepared for the first table's counts only, so
// that later tables also extend its logarithms. Moves that keep a0, b0 and T: (+1, -1, -1, +1, 0) and
// (-1, 0, 0, -1, +1) on (k00, k01, k10, k11, dh).
TEST(BoundsKernels, SharedGridsEqualReference) {
    const std::vector<Table> bases = randomTables(77, 300);
    for (const BoundsKernel kernel : runnableKernels()) {
        const BoundsOptions options{kernel};
        GridScratch scratch;  // one for all the grids, as a member of the fast loop's team keeps it
        int shared = 0;
        for (const Table& base : bases) {
            const LikelihoodSetup first = orientLikelihood(base.counts, base.counts.k00);
            MarginGrid grid(first, positiveCounts(first), options, scratch);
            for (int j = -6; j <= 6; ++j) {
                for (int move = 0; move < 2; ++move) {
                    PairCounts c = base.counts;
                    if (move == 0) {
                        c.k00 += j, c.k01 -= j, c.k10 -= j, c.k11 += j;
                    } else {
                        c.k00 -= j, c.k11 -= j, c.dh += j;
                    }
                    if (c.k00 < 0 || c.k01 < 0 || c.k10 < 0 || c.k11 < 0 || c.dh < 0) continue;
                    const LikelihoodSetup oriented = orientLikelihood(c, c.k00);
                    if (oriented.pA != first.pA || oriented.pB != first.pB) continue;  // other margins
                    expectReference(grid.bounds(oriented), Table{c, c.k00}, kernel);
                    if (HasFailure()) return;
                    ++shared;
                }
            }
        }
        EXPECT_GT(shared, 3000);
    }
}

// The probabilities of every kernel are the reference's, bit for bit; their logarithms lie within the
// error bound that each kernel states per probability (against the logarithm in extended precision), which
// stays small; the probabilities of the upper walk's steps lie within pairDistance of the grid value beside
// them; exponentials are within the 2^-46 relative error that the error bound assumes. Margins from
// balanced to a single copy of an allele, so that the logarithms' runs also break where a probability
// starts near zero or ends at it.
TEST(BoundsKernels, ProbabilitiesLogarithmsAndExponentials) {
    std::mt19937 rng(5);
    const auto slots = std::make_unique<GridSlots>();
    GridSlots& g = *slots;
    for (int n = 0; n < 300; ++n) {
        const int T = std::uniform_int_distribution<int>(2, 30000)(rng);
        auto margin = [&] {
            switch (n % 3) {
                case 0: return std::uniform_int_distribution<int>(1, T - 1)(rng);
                case 1: return std::uniform_int_distribution<int>(1, std::max(1, T / 50))(rng);
                default: return T - std::uniform_int_distribution<int>(1, std::max(1, T / 50))(rng);
            }
        };
        const int a0 = margin(), b0 = n % 5 == 0 ? T - margin() : margin();
        if (a0 <= 0 || a0 >= T || b0 <= 0 || b0 >= T) continue;
        LikelihoodSetup L{};
        L.pA = static_cast<double>(a0) / T;
        L.qA = static_cast<double>(T - a0) / T;
        L.pB = static_cast<double>(b0) / T;
        L.qB = static_cast<double>(T - b0) / T;
        L.Dmax = L.pA * L.qB < L.qA * L.pB ? L.pA * L.qB : L.qA * L.pB;
        L.pApB = L.pA * L.pB;
        auto reference = [&](double theta, int f) {
            const double p00 = theta * L.Dmax + L.pApB;
            const double p01 = L.pA - p00;
            const double p10 = L.pB - p00;
            const double p11 = 1 - p00 - p01 - p10;
            const double p[5] = {p00, p01, p10, p11, p00 * p11 + p01 * p10};
            return p[f];
        };
        for (const BoundsKernel kernel : runnableKernels()) {
            gridKernels(kernel).prepare(g, L, 0b11111);
            for (int f = 0; f < 5; ++f) {
                long double largest = 0;
                for (int s = 0; s <= kOneSlot; ++s) {
                    const double theta = s < kGridSteps ? risingTheta(s) : 1;
                    const double p = reference(theta, f);
                    ASSERT_EQ(g.p[f][s], p) << kernelName(kernel) << " slot " << s << " f " << f;
                    if (!(p > 0)) continue;
                    const long double exact = std::log(static_cast<long double>(p));
                    largest = std::max(largest, std::fabs(exact));
                    ASSERT_LE(std::fabs(g.ln[f][s] - exact), g.lnError[f])
                        << kernelName(kernel) << " slot " << s << " f " << f << " p " << p;
                    if (s == kOneSlot || g.regular[s] == 0) continue;
                    const double step = reference(fallingTheta(kGridSteps - s), f);
                    ASSERT_LE(std::fabs(step - p), g.pairDistance[f]) << kernelName(kernel) << " slot " << s << " f " << f;
                }
                EXPECT_LE(g.lnError[f], 0x1p-40 * (1 + static_cast<double>(largest))) << kernelName(kernel) << " f " << f;
                // the lower bound of p_f over the grid values that an upper walk pairs, from each start
                double least = std::numeric_limits<double>::infinity();
                for (int from = kGridSteps - 1; from >= 0; --from) {
                    least = std::min(least, g.p[f][from]);
                    ASSERT_LE(leastProbability(g, L, f, from, kGridSteps), least)
                        << kernelName(kernel) << " f " << f << " from " << from;
                }
            }
            const double counts[5] = {double(a0), double(T - a0), double(b0), 3, double(T / 7)};
            double lnL[kSlots], like[kSlots];
            const double maxL = gridKernels(kernel).lnLikes(g, counts, lnL);
            gridKernels(kernel).likes(g, lnL, maxL, like);
            for (int s = 0; s < kGridSteps; ++s) {
                const double d = lnL[s] - maxL;
                if (d < -kFarExponent) {
                    ASSERT_EQ(like[s], 0);
                } else if (d <= 0) {
                    ASSERT_LE(std::fabs(like[s] - std::exp(d)), 0x1p-46 * std::exp(d)) << d;
                }
            }
        }
    }
}

// Every kernel's logarithms lie within the error bound it states, against the logarithm in extended
// precision: on probabilities from the smallest a grid can hold to just above 1, on powers of two and
// their neighbours, and at the edges of the sixteenths of [1, 2) that a kernel may split its work by. Its
// exponentials lie within the 2^-46 relative error that the bounds' proof assumes, over the whole range
// of exponents that are not far (-60 to 60), whole sixteenths of ln 2 and the values between included.
TEST(BoundsKernels, LogarithmsAndExponentialsLieWithinTheirBounds) {
    std::mt19937_64 rng(20261209);
    std::uniform_real_distribution<double> exponent(-90, 0.0001);
    alignas(64) double p[kSlots], ln[kSlots];
    long checked = 0;
    // Every other round holds only probabilities from 1/2 up, whose logarithms are small: there the
    // absolute part of the bound decides.
    std::uniform_real_distribution<double> half(0.5, 1 + 0x1p-48);
    for (int round = 0; round < 4000; ++round) {
        for (int s = 0; s < kSlots; ++s) {
            switch (round % 2 == 1 ? 3 : (round + s) % 4) {
                case 0: p[s] = std::exp2(exponent(rng)); break;
                case 1: p[s] = std::ldexp(1.0, -static_cast<int>(rng() % 90)); break;
                case 2: p[s] = std::ldexp(1 + static_cast<double>(rng() % 17) / 16, -static_cast<int>(rng() % 80) - 1); break;
                default: p[s] = s % 5 == 0 ? 1 - std::ldexp(half(rng), -static_cast<int>(rng() % 50)) : half(rng); break;
            }
            if (rng() % 3 == 0) p[s] = std::nextafter(p[s], rng() % 2 ? 0.0 : 2.0);
            p[s] = std::min(p[s], 1 + 0x1p-48);
        }
        for (const BoundsKernel kernel : runnableKernels()) {
            const double bound = gridKernels(kernel).logarithms(p, ln);
            ASSERT_LE(bound, 0x1p-40 * 65);
            for (int s = 0; s < kSlots; ++s) {
                const long double exact = std::log(static_cast<long double>(p[s]));
                ASSERT_LE(std::fabs(ln[s] - exact), bound) << kernelName(kernel) << " p " << p[s];
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 400000);

    const auto slots = std::make_unique<GridSlots>();
    for (int s = 0; s < kSlots; ++s) slots->regular[s] = -1;
    alignas(64) double exponents[kSlots], like[kSlots];
    std::uniform_real_distribution<double> near(-kFarExponent, kFarExponent);
    const double sixteenth = std::log(2.0) / 16;
    for (int round = 0; round < 4000; ++round) {
        for (int s = 0; s < kSlots; ++s) {
            exponents[s] = (round + s) % 3 == 0 ? near(rng) : std::round(near(rng) / sixteenth) * sixteenth;
            if ((round + s) % 5 == 0) exponents[s] = std::nextafter(exponents[s], rng() % 2 ? -100.0 : 100.0);
            exponents[s] = std::clamp(exponents[s], -kFarExponent, kFarExponent);
        }
        for (const BoundsKernel kernel : runnableKernels()) {
            gridKernels(kernel).likes(*slots, exponents, 0, like);
            for (int s = 0; s < kSlots; ++s) {
                const long double exact = std::exp(static_cast<long double>(exponents[s]));
                ASSERT_LE(std::fabs(like[s] - exact), 0x1p-46 * exact) << kernelName(kernel) << " d " << exponents[s];
            }
        }
    }
}

// Complete linkage in large tables: the likelihood at D' = 1, where the upper walk starts, outweighs the
// grid's maximum by e^60 and more (up to an overflow to infinity in the reference), which decides the upper
// bound 1 at once.
TEST(BoundsKernels, CompleteLinkageInLargeTables) {
    for (const BoundsKernel kernel : runnableKernels()) {
        const BoundsOptions options{kernel};
        for (const int n : {50, 2000, 10000, 100000}) {
            for (const PairCounts c : {PairCounts{n, 0, 0, n, 0}, PairCounts{n, 0, 0, n / 2, 1}, PairCounts{n, 1, 0, n, 0}}) {
                const Table t{c, c.k00};
                const GridBounds bounds = gridBounds(c, c.k00, options);
                EXPECT_FALSE(bounds.exact) << describe(t, kernel);
                expectReference(bounds, t, kernel);
            }
        }
    }
}

// Every partial sum that the reference's walks compare with 5%, computed as the reference computes it.
std::vector<double> comparedSums(const Table& t) {
    const LikelihoodSetup L = orientLikelihood(t.counts, t.X);
    double maxL = lnLikeAt(L, 0);
    for (double theta = 0; theta < 1; theta += 0.01) {
        const double p00 = theta * L.Dmax + L.pApB, p01 = L.pA - p00, p10 = L.pB - p00, p11 = L.qA - p10;
        if (!impossibleAt(L, p00, p01, p10, p11) && lnLikeAt(L, theta) > maxL) maxL = lnLikeAt(L, theta);
    }
    double S = 0;
    for (double theta = 0; theta < 1; theta += 0.01) S += likeAt(L, theta, maxL);
    std::vector<double> sums;
    for (const double step : {0.01, -0.01}) {
        double theta = step > 0 ? 0 : 1;
        double c = likeAt(L, theta, maxL) / S;
        sums.push_back(c);
        while (c < 0.05 && sums.size() < 250) {
            theta += step;
            c += likeAt(L, theta, maxL) / S;
            sums.push_back(c);
        }
    }
    return sums;
}

double distanceFromThreshold(const Table& t) {
    double closest = 1;
    for (const double c : comparedSums(t)) closest = std::min(closest, std::fabs(c - 0.05) / 0.05);
    return closest;
}

// Found by searching random small tables: a partial sum within 1.5e-8 to 1.4e-7 (relative) of 5%.
const std::vector<Table> kThresholdTables = {
    {{3, 39, 22, 26, 0}, 3},    {{22, 3, 26, 39, 0}, 22},   {{1, 14, 40, 25, 9}, 1},  {{35, 22, 17, 11, 10}, 35},
    {{25, 34, 9, 2, 4}, 25},    {{4, 17, 38, 21, 0}, 4},    {{13, 1, 35, 39, 12}, 13}, {{39, 1, 35, 13, 12}, 39},
    {{24, 20, 32, 30, 0}, 24},  {{20, 30, 24, 32, 0}, 20},  {{30, 20, 32, 24, 0}, 30},
};

TEST(ExactFallback, ThresholdTablesAreDecidedByTheApproximationWithinTheProvenBand) {
    for (const Table& t : kThresholdTables) {
        ASSERT_LT(distanceFromThreshold(t), 1.4e-7) << describe(t, BoundsKernel::portable);
        for (const BoundsKernel kernel : runnableKernels()) {
            const GridBounds bounds = gridBounds(t.counts, t.X, BoundsOptions{kernel});
            EXPECT_FALSE(bounds.exact) << describe(t, kernel);
            expectReference(bounds, t, kernel);
        }
    }
}

// A band widened by 2^20 (to about 1e-4 for these tables) leaves the threshold tables to the exact
// evaluation, and some of the random ones; all of them keep the reference's bounds.
TEST(ExactFallback, WidenedBandSendsTablesToTheExactEvaluation) {
    Tuning tuning;
    EXPECT_FALSE(tuning.widenBand(0.5));
    EXPECT_EQ(tuning.bandScale, 1);
    ASSERT_TRUE(tuning.widenBand(0x1p20));
    for (const BoundsKernel kernel : runnableKernels()) {
        const BoundsOptions options{kernel, tuning.bandScale};
        BoundsTally tally;
        for (const Table& t : kThresholdTables) {
            const GridBounds bounds = gridBounds(t.counts, t.X, options, &tally);
            EXPECT_TRUE(bounds.exact) << describe(t, kernel);
            expectReference(bounds, t, kernel);
        }
        EXPECT_EQ(tally.exact, kThresholdTables.size());

        tally = BoundsTally{};
        const std::vector<Table> tables = randomTables(99, 600);
        int exact = 0;
        for (const Table& t : tables) {
            const GridBounds bounds = gridBounds(t.counts, t.X, options, &tally);
            exact += bounds.exact;
            // Decided by the approximation only when no compared sum lies within the widened band, which is
            // at least 2^-40 * 2^20 wide (relative).
            if (!bounds.exact) {
                EXPECT_GT(distanceFromThreshold(t), 0x1p-20) << describe(t, kernel);
            }
            expectReference(bounds, t, kernel);
            if (HasFailure()) return;
        }
        EXPECT_GT(exact, 0);
        EXPECT_EQ(tally.exact, static_cast<std::uint64_t>(exact));
        EXPECT_EQ(tally.tables, tables.size());
    }
}

}  // namespace
