// Genotype tables counted on the packed codes against the pair loop's own counting of the allele strings
// (Three_by_Three, Haplo_Act): every kernel, complete markers and markers with missing alleles, chromosome
// numbers around every word and vector boundary, odd ones among them.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kernels.hpp"
#include "markers.hpp"
#include "paircounts.hpp"
#include "scratch.hpp"
#include "settings.hpp"
#include "tablecounts.hpp"

namespace {

using namespace linkstat;
using testsupport::ScratchDir;

std::vector<CountKernel> runnableCountKernels() {
    std::vector<CountKernel> kernels;
    for (const auto kernel : {CountKernel::portable, CountKernel::popcnt, CountKernel::avx2, CountKernel::avx512})
        if (kernelRuns(kernel)) kernels.push_back(kernel);
    return kernels;
}

// Allele strings of n chromosomes: complete ones (some monomorphic, some with all individuals of one
// class), ones with a single missing allele, and ones with many.
std::vector<std::string> randomStrings(std::mt19937& rng, int n, int count) {
    std::vector<std::string> strings;
    for (int m = 0; m < count; ++m) {
        const double frequency = std::vector<double>{0.5, 0.1, 0.9, 0.0, 1.0, 0.02}[static_cast<std::size_t>(m % 6)];
        std::bernoulli_distribution second(frequency);
        std::string s;
        for (int k = 0; k < n; ++k) s += second(rng) ? 'G' : 'A';
        if (m % 7 == 5) s = std::string(static_cast<std::size_t>(n), 'A'), s[0] = 'C';  // mostly one class
        if (m % 4 == 1) s[std::uniform_int_distribution<std::size_t>(0, s.size() - 1)(rng)] = '-';
        if (m % 4 == 2)
            for (char& c : s)
                if (std::bernoulli_distribution(0.1)(rng)) c = '-';
        strings.push_back(s);
    }
    return strings;
}

// Reads the strings as one marker set and checks every pair with every kernel; returns the complete markers.
int expectCountsOfEveryPair(const std::vector<std::string>& strings, bool phased) {
    ScratchDir dir;
    std::string content;
    for (std::size_t m = 0; m < strings.size(); ++m) content += std::to_string(m + 1) + " 2 3 " + strings[m] + "\n";
    const std::string path = dir.file("markers.txt");
    testsupport::writeFile(path, content);
    ldtools::FileReader input(path);
    MarkerReader reader(input, path, "", kMaxLineLength, kMaxFieldLength);
    MarkerSet set;
    MarkerLine line;
    while (reader.next(line)) set.add(1, 1, line, path);
    const int n = set.nChromosomes(), markers = set.nMarkers();
    EXPECT_EQ(markers, static_cast<int>(strings.size()));

    std::vector<std::string> decoded(static_cast<std::size_t>(markers), std::string(static_cast<std::size_t>(n) + 1, ' '));
    for (int m = 0; m < markers; ++m) set.alleles().decode(m, n, decoded[static_cast<std::size_t>(m)].data());
    int complete = -1;
    for (const CountKernel kernel : runnableCountKernels()) {
        const TableCounter counter(set.alleles(), markers, n, phased, kernel);
        if (complete < 0) complete = counter.completeMarkers();
        EXPECT_EQ(counter.completeMarkers(), complete);
        for (int i = 0; i < markers; ++i) {
            for (int j = i; j < markers; ++j) {
                const char *a = decoded[static_cast<std::size_t>(i)].c_str(), *b = decoded[static_cast<std::size_t>(j)].c_str();
                PairCounts expected;
                if (phased) {
                    int h[4];
                    Haplo_Act(h, a, b, n);
                    expected = PairCounts{h[0], h[1], h[2], h[3], 0};
                } else {
                    int table[3][3];
                    Three_by_Three(table, a, b, n);
                    expected = countsOfTable(table);
                }
                for (const PairCounts& actual : {counter(i, j), counter.cellByCell(i, j)}) {
                    if (actual.k00 == expected.k00 && actual.k01 == expected.k01 && actual.k10 == expected.k10 &&
                        actual.k11 == expected.k11 && actual.dh == expected.dh)
                        continue;
                    ADD_FAILURE() << kernelName(kernel) << (phased ? " phased" : " unphased") << " n " << n << " pair " << i
                        << " " << j << ": " << actual.k00 << " " << actual.k01 << " " << actual.k10 << " " << actual.k11
                        << " " << actual.dh << " expected " << expected.k00 << " " << expected.k01 << " " << expected.k10
                        << " " << expected.k11 << " " << expected.dh;
                    return -1;
                }
            }
        }
    }
    return complete;
}

TEST(TableCounts, EveryKernelEqualsThePairLoop) {
    std::mt19937 rng(1607);
    // around 64 individuals a word, 4 and 8 words a vector, and 31 vectors of the nibble counts
    for (const int n : {1, 2, 3, 127, 128, 129, 130, 255, 256, 257, 511, 1023, 1025, 2047, 4095, 8191, 15873, 16001}) {
        const std::vector<std::string> strings = randomStrings(rng, n, n > 4000 ? 9 : 14);
        for (const bool phased : {false, true}) {
            const int complete = expectCountsOfEveryPair(strings, phased);
            // both ways of counting are taken: there are complete markers and markers with missing alleles (but
    // a single chromosome makes no individual, so no unphased marker misses one)
            EXPECT_GT(complete, 0) << n;
            if (n > 1 || phased) {
                EXPECT_LT(complete, static_cast<int>(strings.size())) << n;
            }
        }
    }
}

// A missing allele on the unpaired last chromosome leaves an unphased marker complete (that chromosome
// belongs to no individual), not a phased one.
TEST(TableCounts, UnpairedLastChromosome) {
    std::mt19937 rng(1608);
    for (const int n : {65, 129, 1025}) {
        std::vector<std::string> strings;
        for (std::string& s : randomStrings(rng, n, 12))
            if (s.find('-') == std::string::npos) strings.push_back(s), strings.back().back() = '-';
        ASSERT_GT(strings.size(), 3u);
        EXPECT_EQ(expectCountsOfEveryPair(strings, false), static_cast<int>(strings.size()));
        EXPECT_EQ(expectCountsOfEveryPair(strings, true), 0);
    }
}

// A run's choice starts at the fastest kernel of each family and changes only that run's choice.
TEST(TableCounts, KernelChoice) {
    EXPECT_TRUE(kernelRuns(CountKernel::portable));
    // The fastest is the last of the kernels this processor runs, in the order slowest to fastest.
    EXPECT_EQ(fastestKernel<CountKernel>(), runnableCountKernels().back());
    KernelChoice choice, other;
    EXPECT_EQ(choice.get<CountKernel>(), fastestKernel<CountKernel>());
    EXPECT_EQ(choice.get<EmKernel>(), fastestKernel<EmKernel>());
    for (const CountKernel kernel : runnableCountKernels()) {
        EXPECT_TRUE(choice.use(kernel));
        EXPECT_EQ(choice.get<CountKernel>(), kernel);
        EXPECT_EQ(other.get<CountKernel>(), fastestKernel<CountKernel>());
        EXPECT_EQ(choice.get<PackKernel>(), fastestKernel<PackKernel>());
    }
    for (const auto kernel : {CountKernel::popcnt, CountKernel::avx2, CountKernel::avx512}) {
        if (kernelRuns(kernel)) continue;
        EXPECT_FALSE(choice.use(kernel));
        EXPECT_EQ(choice.get<CountKernel>(), runnableCountKernels().back());
    }
    EXPECT_STREQ(kernelName(CountKernel::portable), "portable");
    EXPECT_STREQ(kernelName(BoundsKernel::portable), "portable");
    // every family's portable member runs anywhere, and its fastest is one this processor runs
    EXPECT_TRUE(kernelRuns(PackKernel::portable) && kernelRuns(EmKernel::portable) && kernelRuns(BoundsKernel::portable));
    EXPECT_TRUE(kernelRuns(fastestKernel<PackKernel>()) && kernelRuns(fastestKernel<EmKernel>()) &&
                kernelRuns(fastestKernel<BoundsKernel>()));
}

}  // namespace
