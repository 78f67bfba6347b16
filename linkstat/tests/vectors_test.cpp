// Every line of the independently computed vectors in data/ is one test case: the EM and known-mode
// counts of a genotype table with the tails printed in those modes, and the tails of phased counts.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bounds.hpp"
#include "em.hpp"
#include "gridbounds.hpp"
#include "paircounts.hpp"

namespace {

using namespace linkstat;

struct VectorLine {
    int lineNumber;
    std::string text;
};

std::vector<VectorLine> readVectors(const char* name) {
    std::ifstream in(std::string(LINKSTAT_TEST_DATA) + "/" + name);
    std::vector<VectorLine> lines;
    std::string text;
    for (int number = 1; std::getline(in, text); ++number)
        if (!text.empty() && text[0] != '#') lines.push_back({number, text});
    return lines;
}

std::vector<std::string> splitTabs(const std::string& text) {
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

std::string countsText(const int h[4]) {
    return std::to_string(h[0]) + " " + std::to_string(h[1]) + " " + std::to_string(h[2]) + " " +
           std::to_string(h[3]);
}

// The tail as the vectors write it: "lower upper" with %5.3f, or "empty" for the empty-margin line.
// The bounds come from the reference computation; the single-pass one must agree.
std::string tailText(const int h[4], const PairCounts& counts) {
    if (hasEmptyMargin(h)) return "empty";
    double bounds[2];
    confidenceLimitsFromCounts(bounds, counts, h[0]);
    char text[32];
    std::snprintf(text, sizeof text, "%5.3f %5.3f", bounds[0], bounds[1]);
    const GridBounds grid = gridBounds(counts, h[0]);
    EXPECT_TRUE(grid.onGrid);
    EXPECT_EQ(risingTheta(grid.lower), bounds[0]);
    EXPECT_EQ(fallingTheta(grid.upper), bounds[1]);
    return text;
}

std::string lineName(const testing::TestParamInfo<VectorLine>& info) {
    return "line" + std::to_string(info.param.lineNumber);
}

class GenotypeTables : public testing::TestWithParam<VectorLine> {};
class PhasedCounts : public testing::TestWithParam<VectorLine> {};

TEST_P(GenotypeTables, EmAndKnownCountsAndTails) {
    const std::vector<std::string> f = splitTabs(GetParam().text);
    ASSERT_EQ(f.size(), 13u);
    int Array[3][3];
    for (int b = 0; b < 3; ++b)
        for (int a = 0; a < 3; ++a) Array[b][a] = std::stoi(f[static_cast<std::size_t>(3 * b + a)]);
    const PairCounts counts = countsOfTable(Array);

    int em[4];
    Haplo_Em(Array, em);
    EXPECT_EQ(countsText(em), f[9]);
    EXPECT_EQ(tailText(em, counts), f[10]);

    int known[4];
    Haplo_Knw(Array, known);
    EXPECT_EQ(countsText(known), f[11]);
    EXPECT_EQ(tailText(known, counts), f[12]);
}

TEST_P(PhasedCounts, TailFromOwnCounts) {
    const std::vector<std::string> f = splitTabs(GetParam().text);
    ASSERT_EQ(f.size(), 2u);
    int h[4];
    ASSERT_EQ(std::sscanf(f[0].c_str(), "%d %d %d %d", &h[0], &h[1], &h[2], &h[3]), 4);
    EXPECT_EQ(tailText(h, PairCounts{h[0], h[1], h[2], h[3], 0}), f[1]);
}

INSTANTIATE_TEST_SUITE_P(Vectors, GenotypeTables, testing::ValuesIn(readVectors("tables.tsv")), lineName);
INSTANTIATE_TEST_SUITE_P(Vectors, PhasedCounts, testing::ValuesIn(readVectors("phased.tsv")), lineName);

// The EM of all the tables at once, in the vector lanes of every kernel, gives the vectors' EM counts.
TEST(Vectors, EveryEmKernelOnAllTables) {
    std::vector<PairCounts> tables;
    std::vector<std::string> expected;
    for (const VectorLine& line : readVectors("tables.tsv")) {
        const std::vector<std::string> f = splitTabs(line.text);
        ASSERT_EQ(f.size(), 13u);
        int Array[3][3];
        for (int c = 0; c < 9; ++c) Array[c / 3][c % 3] = std::stoi(f[static_cast<std::size_t>(c)]);
        tables.push_back(countsOfTable(Array));
        expected.push_back(f[9]);
    }
    int kernels = 0;
    for (const auto kernel : {EmKernel::portable, EmKernel::avx2, EmKernel::avx512}) {
        if (!kernelRuns(kernel)) continue;
        ++kernels;
        std::vector<int> counts(4 * tables.size());
        fastEmHaplotypes(tables.data(), tables.size(), reinterpret_cast<int(*)[4]>(counts.data()), kernel);
        for (std::size_t t = 0; t < tables.size(); ++t)
            ASSERT_EQ(countsText(&counts[4 * t]), expected[t]) << kernelName(kernel) << " table " << t;
    }
    EXPECT_GE(kernels, 1);
}

TEST(Vectors, AllLinesRead) {
    EXPECT_EQ(readVectors("tables.tsv").size(), 3000u);
    EXPECT_EQ(readVectors("phased.tsv").size(), 1000u);
}

}  // namespace
