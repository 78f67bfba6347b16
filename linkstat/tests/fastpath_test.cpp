// The fast evaluation against the straightforward one: single-pass bounds on random counts, and whole
// runs on random marker files in every mode, also with chunks and memo small enough to overflow and
// with the wide count keys of large cohorts.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cmath>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bounds.hpp"
#include "em.hpp"
#include "gridbounds.hpp"
#include "inprocess.hpp"
#include "paircounts.hpp"
#include "scratch.hpp"
#include "settings.hpp"

namespace {

using namespace linkstat;
using namespace linkstat::testkit;
using testsupport::readFile;
using testsupport::ScratchDir;

TEST(GridBounds, EqualsReferenceOnRandomCounts) {
    std::mt19937 rng(20240611);
    int compared = 0;
    for (int n = 0; n < 6000; ++n) {
        const int scale = std::vector<int>{3, 12, 80, 600}[static_cast<std::size_t>(n % 4)];
        std::uniform_int_distribution<int> count(0, scale);
        PairCounts c{count(rng), count(rng), count(rng), count(rng), n % 3 == 0 ? 0 : count(rng) / 4};
        int h[4];
        emHaplotypes(c, h);
        const int T = c.k00 + c.k01 + c.k10 + c.k11 + 2 * c.dh;
        // X as EM mode, known mode and an arbitrary count deliver it: either orientation occurs
        for (const int X : {h[0], c.k00, std::uniform_int_distribution<int>(0, T)(rng)}) {
            const int known[4] = {c.k00, c.k01, c.k10, c.k11};
            if (hasEmptyMargin(known) && hasEmptyMargin(h)) continue;
            double reference[2];
            confidenceLimitsFromCounts(reference, c, X);
            const GridBounds fast = gridBounds(c, X);
            ASSERT_TRUE(fast.onGrid);
            ASSERT_EQ(risingTheta(fast.lower), reference[0]) << c.k00 << " " << c.k01 << " " << c.k10 << " " << c.k11
                                                             << " " << c.dh << " X " << X;
            ASSERT_EQ(fallingTheta(fast.upper), reference[1]);
            ++compared;
        }
    }
    EXPECT_GT(compared, 15000);
}

// Random tables from a few individuals to large cohorts, with double heterozygotes, and some without
// them or with an empty class.
std::vector<PairCounts> randomTables(unsigned seed, int count) {
    std::mt19937 rng(seed);
    std::vector<PairCounts> tables;
    for (int n = 0; n < count; ++n) {
        const int scale = std::vector<int>{3, 20, 150, 600, 5000, 40000}[static_cast<std::size_t>(n % 6)];
        std::uniform_int_distribution<int> size(0, scale);
        PairCounts c{size(rng), size(rng), size(rng), size(rng), size(rng) / (1 + n % 4)};
        if (n % 7 == 0) c.dh = 0;
        if (n % 11 == 0) c.k01 = 0;
        if (n % 13 == 0) c.k00 = c.k11 = 0;
        tables.push_back(c);
    }
    return tables;
}

// The frequencies that the iteration of emHaplotypes ends with, from its parts.
std::array<double, 4> referenceFrequencies(const PairCounts& c) {
    const double k[4] = {double(c.k00), double(c.k01), double(c.k10), double(c.k11)};
    const double dh = c.dh, T = k[0] + k[1] + k[2] + k[3] + 2 * dh;
    std::array<double, 4> p = {0.25, 0.25, 0.25, 0.25};
    if (emptyForEm(k, dh, T)) return p;
    double lnL = (k[0] + k[1] + k[2] + k[3] + dh) * std::log(0.25), previous = -999999999.0;
    while (std::fabs(lnL - previous) > 1e-9) {
        previous = lnL;
        emStep(k, dh, p.data());
        lnL = emLogLikelihood(k, dh, p.data());
    }
    return p;
}

std::vector<std::uint64_t> frequencyBits(const double p[4]) {
    std::vector<std::uint64_t> bits;
    for (int x = 0; x < 4; ++x) bits.push_back(std::bit_cast<std::uint64_t>(p[x]));
    return bits;
}

// The fast EM gives the counts of the reference, and the very frequencies it ends with, table by table and many tables at once (in the lanes of
// every kernel, and in batches of every size up to two full rounds of lanes); and every step
// of the reference's iteration (after the first) rises, as computed, by at least the lower bound less
// the rounding that emSureRise allows for, so that a bound beyond emSureRise means a computed rise
// beyond 1e-9.
TEST(FastEm, EqualsReferenceAndItsRiseBoundHolds) {
    long steps = 0, sure = 0;
    const std::vector<PairCounts> tables = randomTables(20240612, 60000);
    std::vector<std::unique_ptr<int[][4]>> together;
    std::vector<std::unique_ptr<double[][4]>> frequencies;
    for (const auto kernel : {EmKernel::portable, EmKernel::avx2, EmKernel::avx512}) {
        if (!kernelRuns(kernel)) continue;
        together.push_back(std::make_unique<int[][4]>(tables.size()));
        frequencies.push_back(std::make_unique<double[][4]>(tables.size()));
        // batches of 1 to 17 tables, so that lanes are left idle at every place
        for (std::size_t first = 0, size = 1; first < tables.size(); first += size, size = size % 17 + 1)
            fastEmHaplotypes(tables.data() + first, std::min(size, tables.size() - first), together.back().get() + first,
                             kernel, frequencies.back().get() + first);
    }
    ASSERT_GE(together.size(), 1u);
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const PairCounts& c = tables[t];
        int expected[4], actual[4];
        emHaplotypes(c, expected);
        fastEmHaplotypes(c, actual, fastestKernel<EmKernel>());
        ASSERT_EQ(std::vector<int>(actual, actual + 4), std::vector<int>(expected, expected + 4))
            << c.k00 << " " << c.k01 << " " << c.k10 << " " << c.k11 << " " << c.dh;
        const std::vector<std::uint64_t> last = frequencyBits(referenceFrequencies(c).data());
        for (std::size_t k = 0; k < together.size(); ++k) {
            ASSERT_EQ(std::vector<int>(together[k][t], together[k][t] + 4), std::vector<int>(expected, expected + 4))
                << "kernel " << k << ": " << c.k00 << " " << c.k01 << " " << c.k10 << " " << c.k11 << " " << c.dh;
            ASSERT_EQ(frequencyBits(frequencies[k][t]), last) << "kernel " << k;
        }

        const double k[4] = {double(c.k00), double(c.k01), double(c.k10), double(c.k11)};
        const double dh = c.dh, T = k[0] + k[1] + k[2] + k[3] + 2 * dh;
        const double sureRise = emSureRise(k, dh);
        double p[4] = {0.25, 0.25, 0.25, 0.25};
        emStep(k, dh, p);
        double lnL = emLogLikelihood(k, dh, p);
        for (int step = 0; step < 100000; ++step) {
            const double before[4] = {p[0], p[1], p[2], p[3]};
            const double previous = lnL;
            emStep(k, dh, p);
            lnL = emLogLikelihood(k, dh, p);
            const double bound = emRiseLowerBound(before, p, T);
            ++steps;
            if (bound > sureRise) ++sure;
            if (sureRise < HUGE_VAL) {
                ASSERT_LE(bound, lnL - previous + (sureRise - 1e-9))
                    << c.k00 << " " << c.k01 << " " << c.k10 << " " << c.k11 << " " << c.dh << " step " << step;
            }
            if (!(std::fabs(lnL - previous) > 1e-9)) break;
        }
    }
    // the bound spares the logarithms of most steps
    EXPECT_GT(sure, steps / 2) << sure << " of " << steps;
    EXPECT_GT(steps, 200000) << sure;
}

// Tables of n individuals drawn at random under two markers with the allele frequencies pA and pB and
// a small disequilibrium: the orientation of such a table is close to undecided, the EM count X of
// haplotype 00 lies near its expectation a0 b0 / T.
PairCounts nearIndependent(std::mt19937& rng, int n) {
    std::uniform_real_distribution<double> unit(0, 1);
    const double pA = 0.05 + 0.9 * unit(rng), pB = 0.05 + 0.9 * unit(rng);
    const double D = (unit(rng) - 0.5) * 0.1 * std::min(pA * (1 - pB), (1 - pA) * pB);
    const double hap[4] = {pA * pB + D, pA * (1 - pB) - D, (1 - pA) * pB - D, (1 - pA) * (1 - pB) + D};
    std::discrete_distribution<int> draw(hap, hap + 4);
    int table[3][3] = {};
    for (int i = 0; i < n; ++i) {
        const int x = draw(rng), y = draw(rng);  // haplotype codes: first marker's allele is code >> 1
        table[(x & 1) + (y & 1)][(x >> 1) + (y >> 1)] += 1;
    }
    return countsOfTable(table);
}

// Where the pair loop takes the outcome of the EM counts without iterating, it is the iteration's own:
// the same empty margin, and an X on the same side of the expectation that orients the table. Checked
// on every small table, on tables near independence (where X and the expectation are closest), and on
// the random tables of large cohorts; most tables are decided so.
TEST(FastEm, OutcomeWithoutIteratingIsTheIterationsOwn) {
    long checked = 0, decided = 0;
    auto check = [&](const PairCounts& c) {
        EmOutcome outcome;
        ++checked;
        if (!emOutcomeWithoutIterating(c, outcome)) return;
        ++decided;
        int h[4];
        emHaplotypes(c, h);
        ASSERT_EQ(outcome.emptyMargin, hasEmptyMargin(h)) << c.k00 << " " << c.k01 << " " << c.k10 << " " << c.k11 << " " << c.dh;
        if (outcome.emptyMargin) return;
        const double k00 = c.k00, k01 = c.k01, k10 = c.k10, k11 = c.k11, dh = c.dh;
        const double expected = (k00 + k01 + dh) * (k00 + k10 + dh) / (k00 + k01 + k10 + k11 + 2 * dh);
        ASSERT_EQ(expected > outcome.X, expected > h[0])
            << c.k00 << " " << c.k01 << " " << c.k10 << " " << c.k11 << " " << c.dh << ": X " << h[0];
    };
    for (int k00 = 0; k00 <= 9; ++k00)
        for (int k01 = 0; k01 <= 9; ++k01)
            for (int k10 = 0; k10 <= 9; ++k10)
                for (int k11 = 0; k11 <= 9; ++k11)
                    for (int dh = 0; dh <= 11; ++dh) check(PairCounts{k00, k01, k10, k11, dh});
    const long small = decided;
    std::mt19937 rng(20261209);
    long nearDecided = decided;
    for (int t = 0; t < 40000; ++t) check(nearIndependent(rng, std::vector<int>{25, 200, 1500, 3000}[t % 4]));
    nearDecided = decided - nearDecided;
    for (const PairCounts& c : randomTables(20261210, 20000)) check(c);
    EXPECT_GT(small, 90000);
    EXPECT_GT(nearDecided, 30000);
    EXPECT_GT(decided, checked * 3 / 4) << decided << " of " << checked;
}

// Runs every option set on random files in both evaluations, the fast one tuned as `fast` but for its
// limits: the same report and the same failure. Returns the number of bounds lines compared; adds the
// fast runs' bounds tallies to *tally when given.
long expectFastEqualsLiteral(unsigned seed, int files, const FastPairLimits& limits = defaultFastPairLimits(),
                             int minChromosomes = 1, int maxChromosomes = 25, int maxMarkers = 60,
                             double missingRate = 0.06, Tuning fast = Tuning{}, BoundsTally* tally = nullptr) {
    Tuning literal;
    fast.fastLimits = limits;
    literal.evaluation = Evaluation::literal;
    ScratchDir dir;
    std::mt19937 rng(seed);
    long boundsLines = 0;
    const std::vector<std::vector<std::string>> optionSets = {
        {"-P", "-RN"}, {"-K", "-RN", "-S"}, {"-A", "-P", "-RN"}, {"-E", "-RN"}, {"-K", "-P", "-RN"}, {"-A", "-RN"},
        {"-D", "-RN", "-H"}, {"-A", "-D", "-S", "-RN"}};
    for (int f = 0; f < files; ++f) {
        const std::string input = dir.file("markers" + std::to_string(f) + ".txt");
        testsupport::writeFile(input, randomMarkers(rng, minChromosomes, maxChromosomes, maxMarkers, missingRate));
        for (std::vector<std::string> options : optionSets) {
            options.push_back("-I" + input);
            const Captured expected = runCaptured(options, literal);
            const Captured actual = runCaptured(options, fast);
            if (tally) *tally += actual.tally;
            EXPECT_EQ(expected.error, "") << "file " << f;
            EXPECT_EQ(actual.report, expected.report) << "file " << f << " options " << options[0];
            EXPECT_EQ(actual.error, expected.error);
            if (actual.report != expected.report) return boundsLines;
            for (std::size_t at = 0; (at = expected.report.find("\t\t", at)) != std::string::npos; ++at) ++boundsLines;
        }
    }
    return boundsLines;
}

TEST(FastPairs, EqualsLiteralOnRandomMarkerFiles) {
    EXPECT_GT(expectFastEqualsLiteral(7, 25), 10000);
}

// Every bounds kernel, and a band widened by 2^30, which leaves many tables to the exact evaluation.
TEST(FastPairs, EqualsLiteralWithEveryKernelAndWidenedBand) {
    for (const auto kernel : {BoundsKernel::portable, BoundsKernel::avx2, BoundsKernel::avx512}) {
        Tuning tuning;
        if (tuning.kernels.use(kernel)) {
            EXPECT_GT(expectFastEqualsLiteral(21, 8, defaultFastPairLimits(), 1, 25, 60, 0.06, tuning), 600);
        }
    }
    Tuning widened;
    ASSERT_TRUE(widened.widenBand(0x1p30));
    BoundsTally tally;
    EXPECT_GT(expectFastEqualsLiteral(22, 8, defaultFastPairLimits(), 1, 25, 60, 0.06, widened, &tally), 2000);
    EXPECT_GT(tally.exact, 0u);
    // the same tables under the proven band: fewer go to the exact evaluation, each run counting its own
    BoundsTally proven;
    expectFastEqualsLiteral(22, 8, defaultFastPairLimits(), 1, 25, 60, 0.06, Tuning{}, &proven);
    EXPECT_EQ(proven.tables, tally.tables);
    EXPECT_LT(proven.exact, tally.exact);
}

TEST(FastPairs, EqualsLiteralWithTinyChunksAndMemo) {
    EXPECT_GT(expectFastEqualsLiteral(11, 10, FastPairLimits{3, 8, 3, 8, 4095}), 3000);
    EXPECT_GT(expectFastEqualsLiteral(12, 4, FastPairLimits{1, 1, 1, 1, 4095}), 1000);
    EXPECT_GT(expectFastEqualsLiteral(17, 2, FastPairLimits{2, 0, 2, 0, 4095}), 500);  // no memo at all
    // no count keys kept: every table is counted again for its line
    EXPECT_GT(expectFastEqualsLiteral(18, 4, FastPairLimits{3, 8, 3, 8, 4095, 0}), 1000);
}

// Markers typed in every individual have their tables completed from their class totals; with a missing
// allele now and then, both ways of counting meet in one set. Every counting kernel, narrow and wide keys.
TEST(FastPairs, EqualsLiteralOnCompleteMarkersWithEveryCountKernel) {
    FastPairLimits wide = defaultFastPairLimits();
    wide.narrowKeyChromosomes = 0;
    unsigned seed = 40;
    for (const auto kernel : {CountKernel::portable, CountKernel::popcnt, CountKernel::avx2, CountKernel::avx512}) {
        Tuning tuning;
        if (!tuning.kernels.use(kernel)) continue;
        EXPECT_GT(expectFastEqualsLiteral(++seed, 3, defaultFastPairLimits(), 1, 400, 40, 0, tuning), 1000)
            << kernelName(kernel);
        EXPECT_GT(expectFastEqualsLiteral(++seed, 4, wide, 100, 1200, 40, 0.0005, tuning), 800) << kernelName(kernel);
    }
}

// Sets of more than 8191 chromosomes take wide count keys; forcing them on small sets checks the same
// code on many tables.
TEST(FastPairs, EqualsLiteralWithWideKeys) {
    FastPairLimits wide = defaultFastPairLimits();
    wide.narrowKeyChromosomes = 0;
    EXPECT_GT(expectFastEqualsLiteral(13, 12, wide), 4000);
    EXPECT_GT(expectFastEqualsLiteral(14, 4, FastPairLimits{2, 5, 2, 5, 0}), 1000);
    EXPECT_GT(expectFastEqualsLiteral(15, 2, defaultFastPairLimits(), 8186, 8400, 12), 100);
}

// Counts at the top of their fields in a narrow key (8191 chromosomes: every individual a double
// heterozygote, or nearly every chromosome of one haplotype), and one chromosome more, in wide keys.
TEST(FastPairs, EqualsLiteralAtTheLimitsOfNarrowKeys) {
    ScratchDir dir;
    Tuning literal;
    literal.evaluation = Evaluation::literal;
    for (const int n : {8191, 8192}) {
        std::string content;
        auto marker = [&](int position, auto allele) {
            std::string s;
            for (int k = 0; k < n; ++k) s += allele(k);
            content += std::to_string(position) + " 1 1 " + s + "\n";
        };
        marker(100, [](int k) { return k % 2 ? 'C' : 'A'; });
        marker(200, [](int k) { return k % 2 ? 'T' : 'G'; });
        marker(300, [](int k) { return k < 3 ? 'G' : 'A'; });
        marker(400, [](int k) { return k == 5 ? 'T' : 'C'; });
        marker(500, [](int k) { return k % 2 ? 'A' : 'G'; });
        marker(600, [n](int k) { return k == n - 1 ? 'C' : k % 4 == 1 ? 'G' : 'C'; });
        const std::string input = dir.file("limits.txt");
        testsupport::writeFile(input, content);
        for (const std::vector<std::string>& options : {std::vector<std::string>{"-P"}, {"-K"}, {"-A"}}) {
            std::vector<std::string> withInput = options;
            withInput.push_back("-I" + input);
            const Captured expected = runCaptured(withInput, literal);
            EXPECT_EQ(runCaptured(withInput).report, expected.report) << n << " " << options[0];
            EXPECT_EQ(expected.error, "");
            EXPECT_NE(expected.report.find("\t\t"), std::string::npos);
        }
    }
}

// A run leaves nothing behind for the next one in the same process, also when it fails half way.
TEST(FastPairs, RunsInOneProcessAreIndependent) {
    ScratchDir dir;
    std::mt19937 rng(16);
    const std::string good = dir.file("good.txt"), bad = dir.file("bad.txt");
    const std::string content = randomMarkers(rng, 20, 25, 60);
    testsupport::writeFile(good, content);
    testsupport::writeFile(bad, content + std::string(content, 0, content.find('\n') + 1) + "9 1 1 A\n");
    Tuning tiny;
    tiny.fastLimits = FastPairLimits{2, 4, 2, 4, 4095};
    const Captured first = runCaptured({"-I" + good, "-RN"}, tiny);
    EXPECT_EQ(runCaptured({"-I" + bad, "-RN"}, tiny).status, 1);
    EXPECT_EQ(runCaptured({"-I" + good, "-RN", "-K"}, tiny).error, "");
    const Captured again = runCaptured({"-I" + good, "-RN"}, tiny);
    EXPECT_EQ(again.report, first.report);
    EXPECT_FALSE(first.report.empty());
}

}  // namespace
