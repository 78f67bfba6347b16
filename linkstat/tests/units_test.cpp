// The module's functions called directly: allele recoding, genotype tables, the three counting modes
// and the bounds of the worked examples.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "bounds.hpp"
#include "em.hpp"
#include "paircounts.hpp"
#include "pairs.hpp"

namespace {

using namespace linkstat;

std::string cleaned(std::string s, const std::string& missing = "") {
    Clean(s.data(), Chromosomes(s.c_str()), missing.c_str(), static_cast<int>(missing.size()));
    return s;
}

TEST(Clean, RecodesAllelesByFirstAppearanceKeepingZeroAndOne) {
    EXPECT_EQ(cleaned("ACCA"), "0110");
    EXPECT_EQ(cleaned("GAAG"), "0110");
    EXPECT_EQ(cleaned("1A1A"), "1010");
    EXPECT_EQ(cleaned("0A0A"), "0101");
    EXPECT_EQ(cleaned("A1A1"), "0101");
    EXPECT_EQ(cleaned("1010"), "1010");
    EXPECT_EQ(cleaned("1111"), "1111");
    EXPECT_EQ(cleaned("GG-G"), "00-0");
    EXPECT_EQ(cleaned("T-T-"), "0-0-");
}

TEST(Clean, EveryMissingCharacterBecomesDash) {
    EXPECT_EQ(cleaned("ANAC", "N"), "0-01");
    EXPECT_EQ(cleaned("ANA?CN", "?N"), "0-0-1-");
    EXPECT_EQ(cleaned("AN", ""), "01");  // without -R only "-" is missing
}

TEST(ThreeByThree, CountsIndividualsByClassAtBothMarkers) {
    // individuals: 00/00, 01/11, 10/01, 11/--, -0/00, 11/11
    int Array[3][3];
    Three_by_Three(Array, "00011011-011", "001101--0011", 12);
    const std::array<std::array<int, 3>, 3> expected{{{1, 0, 0}, {0, 1, 0}, {0, 1, 1}}};
    for (int b = 0; b < 3; ++b)
        for (int a = 0; a < 3; ++a) EXPECT_EQ(Array[b][a], expected[b][a]) << b << a;
}

TEST(ThreeByThree, UnpairedLastChromosomeIsIgnored) {
    int Array[3][3];
    Three_by_Three(Array, "001", "111", 3);
    EXPECT_EQ(Array[2][0], 1);
    int total = 0;
    for (const auto& row : Array)
        for (int n : row) total += n;
    EXPECT_EQ(total, 1);
}

TEST(HaploAct, CountsChromosomesSingly) {
    int h[4];
    Haplo_Act(h, "0011", "0101", 4);
    EXPECT_EQ(h[0], 1);
    EXPECT_EQ(h[1], 1);
    EXPECT_EQ(h[2], 1);
    EXPECT_EQ(h[3], 1);
    Haplo_Act(h, "0-110", "01-11", 5);  // an odd last chromosome still counts here
    EXPECT_EQ(h[0], 1);
    EXPECT_EQ(h[3], 1);
    EXPECT_EQ(h[1] + h[2], 1);
    Haplo_Act(h, "01", "01", 0);
    EXPECT_EQ(h[0] + h[1] + h[2] + h[3], 0);
}

int Array[3][3];

void setTable(std::array<int, 9> rows) {
    for (int k = 0; k < 9; ++k) Array[k / 3][k % 3] = rows[static_cast<std::size_t>(k)];
}

std::array<int, 4> em() {
    std::array<int, 4> h;
    Haplo_Em(Array, h.data());
    return h;
}

std::array<int, 4> known() {
    std::array<int, 4> h;
    Haplo_Knw(Array, h.data());
    return h;
}

std::string bounds(double X) {
    double result[2];
    calcConfidenceLimits(Array, result, X);
    char text[32];
    std::snprintf(text, sizeof text, "%5.3f %5.3f", result[0], result[1]);
    return text;
}

TEST(HaplotypeCounts, MonomorphicOrEmptyTablesGiveZeroCounts) {
    setTable({5, 0, 0, 3, 0, 0, 2, 0, 0});  // first marker homozygous 0 in everyone: pA = 1
    EXPECT_EQ(em(), (std::array<int, 4>{0, 0, 0, 0}));
    setTable({0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(em(), (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_EQ(known(), (std::array<int, 4>{0, 0, 0, 0}));
}

TEST(HaplotypeCounts, CompleteLinkage) {
    setTable({10, 0, 0, 0, 0, 0, 0, 0, 10});
    EXPECT_EQ(em(), (std::array<int, 4>{20, 0, 0, 20}));
    EXPECT_EQ(known(), (std::array<int, 4>{20, 0, 0, 20}));
    EXPECT_EQ(bounds(20), "0.850 1.000");
    setTable({25, 0, 0, 0, 0, 0, 0, 0, 25});
    EXPECT_EQ(bounds(50), "0.940 1.000");
}

TEST(HaplotypeCounts, DoubleHeterozygotesArePhasedByEmOnly) {
    setTable({10, 0, 0, 0, 1, 0, 0, 0, 10});
    EXPECT_EQ(em(), (std::array<int, 4>{21, 0, 0, 21}));
    EXPECT_EQ(known(), (std::array<int, 4>{20, 0, 0, 20}));

    setTable({9, 6, 1, 6, 3, 0, 1, 0, 0});  // all three double heterozygotes end in phase 01/10
    EXPECT_EQ(em(), (std::array<int, 4>{30, 11, 11, 0}));
    EXPECT_EQ(known(), (std::array<int, 4>{30, 8, 8, 0}));
}

TEST(HaplotypeCounts, IndependentMarkers) {
    setTable({10, 20, 10, 20, 40, 20, 10, 20, 10});
    EXPECT_EQ(em(), (std::array<int, 4>{80, 80, 80, 80}));
    EXPECT_EQ(bounds(80), "0.000 0.150");
}

}  // namespace
