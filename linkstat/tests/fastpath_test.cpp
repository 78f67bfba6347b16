// The fast evaluation against the straightforward one: single-pass bounds on random counts, and whole
// runs on random marker files in every mode, also with chunks and memo small enough to overflow.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fastpairs.hpp"
#include "gridbounds.hpp"
#include "linkstat.hpp"
#include "scratch.hpp"

namespace {

using namespace linkstat;

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

// A random marker file: several sets, odd and even chromosome numbers, missing alleles ("-" and "N"),
// monomorphic markers, zero marker ratios, ties, gaps beyond the window and positions out of order.
std::string randomMarkers(std::mt19937& rng) {
    auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng); };
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const std::string letters = "ACGT01";
    std::ostringstream out;
    const int sets = uniform(1, 3);
    for (int s = 0; s < sets; ++s) {
        if (s > 0) out << (chance(0.5) ? "\n" : "1 2 3\n");
        const int chromosomes = uniform(1, 25);
        const int markers = uniform(0, 60);
        double position = uniform(0, 1000);
        for (int m = 0; m < markers; ++m) {
            const char first = letters[static_cast<std::size_t>(uniform(0, 5))];
            char second = letters[static_cast<std::size_t>(uniform(0, 5))];
            if (second == first || chance(0.05)) second = first;  // monomorphic
            const double frequency = uniform(5, 95) / 100.0;
            std::string alleles;
            for (int k = 0; k < chromosomes; ++k)
                alleles += chance(0.06) ? (chance(0.5) ? '-' : 'N') : chance(frequency) ? first : second;
            const std::string ratio = chance(0.05) ? "0" : chance(0.03) ? "x" : std::to_string(uniform(1, 50));
            out << static_cast<long>(position) << (chance(0.2) ? ".5" : "") << " " << chromosomes << " " << ratio
                << " " << alleles << "\n";
            const int step = uniform(0, 9);
            position += step == 0 ? 0 : step == 1 ? 200000 : step == 2 ? 200001 : step == 3 ? -20 : uniform(1, 60000);
            if (position < 0) position = 0;
        }
    }
    return out.str();
}

std::string runInProcess(const std::vector<std::string>& options, const std::string& input,
                         const std::string& output, Evaluation evaluation) {
    std::vector<std::string> args = {"linkstat", "-I" + input, "-O" + output};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    EXPECT_EQ(linkstatMain(static_cast<int>(argv.size()), argv.data(), evaluation), 0);
    return readFile(output);
}

void expectFastEqualsLiteral(unsigned seed, int files) {
    ScratchDir dir;
    std::mt19937 rng(seed);
    const std::vector<std::vector<std::string>> optionSets = {
        {"-P", "-RN"}, {"-K", "-RN", "-S"}, {"-A", "-P", "-RN"}, {"-E", "-RN"}, {"-K", "-P", "-RN"}, {"-A", "-RN"}};
    for (int f = 0; f < files; ++f) {
        const std::string input = dir.file("markers" + std::to_string(f) + ".txt");
        testsupport::writeFile(input, randomMarkers(rng));
        for (const auto& options : optionSets) {
            const std::string literal = runInProcess(options, input, dir.file("literal.txt"), Evaluation::Literal);
            const std::string fast = runInProcess(options, input, dir.file("fast.txt"), Evaluation::Fast);
            ASSERT_EQ(fast, literal) << "file " << f << " options " << options[0];
        }
    }
}

TEST(FastPairs, EqualsLiteralOnRandomMarkerFiles) {
    expectFastEqualsLiteral(7, 25);
}

// Every bounds kernel, and a band widened by 2^30, which leaves many tables to the exact evaluation.
TEST(FastPairs, EqualsLiteralWithEveryKernelAndWidenedBand) {
    const BoundsKernel saved = boundsKernel();
    for (const auto kernel : {BoundsKernel::Scalar, BoundsKernel::Avx2, BoundsKernel::Avx512})
        if (useBoundsKernel(kernel)) expectFastEqualsLiteral(21, 4);
    useBoundsKernel(saved);
    ASSERT_TRUE(setBoundsBandScale(0x1p30));
    resetBoundsTally();
    expectFastEqualsLiteral(22, 6);
    EXPECT_GT(boundsTally().exact, 0u);
    setBoundsBandScale(1);
}

TEST(FastPairs, EqualsLiteralWithTinyChunksAndMemo) {
    setFastPairLimits(FastPairLimits{3, 8});
    expectFastEqualsLiteral(11, 10);
    setFastPairLimits(FastPairLimits{1, 1});
    expectFastEqualsLiteral(12, 4);
    setFastPairLimits(defaultFastPairLimits());
}

}  // namespace
