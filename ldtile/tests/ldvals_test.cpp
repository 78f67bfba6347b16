// The bounds table, its lookups and the pair tests.

#include "LDvals.hpp"
#include "literal.hpp"
#include "scratch.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

// Each test has a table of its own.
class BoundsTable : public ::testing::Test {
protected:
    ldtile::LDvals ld;
};
using PairTests = BoundsTable;
using Gaps = BoundsTable;

std::string record(int first, int second, double lower, double upper) {
    char line[128];
    std::snprintf(line, sizeof line, "%d %d %.17g %.17g\n", first, second, lower, upper);
    return line;
}

// Compares positions and the bounds of every pair up to 64 indices apart (all pairs of a small table).
void expectSameTable(const ldtile::LDvals& ld, const literal::Table& expected, int last) {
    ASSERT_EQ(last, expected.last);
    for (int a = 0; a <= last; ++a) {
        ASSERT_EQ(ld.getSNPposition(a), expected.positions[a]) << "index " << a;
        for (int b = a + 1; b <= std::min(last, a + 64); ++b) {
            auto found = expected.bounds.find({a, b});
            const double lower = found == expected.bounds.end() ? 0.0 : found->second.first;
            const double upper = found == expected.bounds.end() ? 0.0 : found->second.second;
            ASSERT_EQ(ld.getLowerlimit(a, b), lower) << a << "," << b;
            ASSERT_EQ(ld.getUpperlimit(b, a), upper) << a << "," << b;
        }
    }
}

TEST_F(BoundsTable, ThreeSnpsGetIndicesInPositionOrderAndSymmetricLookups) {
    const int last = literal::load(ld, "1000 1500 0.85 0.99\n1000 2500 0.11 0.5\n1500 2500 0.9 0.995\n");
    EXPECT_EQ(last, 2);
    EXPECT_EQ(ld.getSNPposition(0), 1000);
    EXPECT_EQ(ld.getSNPposition(1), 1500);
    EXPECT_EQ(ld.getSNPposition(2), 2500);
    EXPECT_EQ(ld.getLowerlimit(0, 2), 0.11);
    EXPECT_EQ(ld.getUpperlimit(2, 0), 0.5);
    EXPECT_EQ(ld.getLowerlimit(2, 1), 0.9);
    EXPECT_EQ(ld.getUpperlimit(1, 1), 1.0);
    EXPECT_EQ(ld.getLowerlimit(2, 2), 1.0);
    EXPECT_EQ(ld.storedPairCount(), 3);
}

TEST_F(BoundsTable, StoresPairsUpTo199999UnitsApart) {
    // 0 - 199,999 is stored; 10 - 200,010 (200,000 apart) is not; the SNP at 300,000 has only a
    // record too far to store, yet gets its index and position.
    const int last = literal::load(ld, record(10, 199999 + 10, 0.8, 0.99) + record(10, 200010, 0.8, 0.99) +
                                   record(200009, 200010, 0.8, 0.99) + record(200010, 600000, 0.8, 0.99));
    EXPECT_EQ(last, 3);
    EXPECT_EQ(ld.getUpperlimit(0, 1), 0.99);
    EXPECT_EQ(ld.getUpperlimit(0, 2), 0.0);
    EXPECT_EQ(ld.getLowerlimit(0, 2), 0.0);
    EXPECT_EQ(ld.getUpperlimit(1, 2), 0.99);
    EXPECT_EQ(ld.getSNPposition(3), 600000);
    EXPECT_EQ(ld.getUpperlimit(2, 3), 0.0);
    EXPECT_EQ(ld.lastStoredPartner(2), 2);
    EXPECT_EQ(ld.storedPairCount(), 2);
}

TEST_F(BoundsTable, PrintsEveryPositionAndTheLastIndex) {
    testsupport::ScratchDir folder;
    testsupport::writeFile(folder.file("bounds"), "1000 1500 0.85 0.99\n1000 2500 0.11 0.5\n1500 2500 0.9 0.995\n");
    testing::internal::CaptureStdout();
    ld.readConfvalues(folder.file("bounds"));
    ld.printSNPS();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "2\n1000\n1500\n2500\n");
}

TEST_F(BoundsTable, EmptyFileHoldsOneSnpWithoutPairs) {
    EXPECT_EQ(literal::load(ld, ""), 0);
    EXPECT_EQ(literal::load(ld, " \n\t\n"), 0);
    EXPECT_EQ(ld.getUpperlimit(0, 0), 1.0);
    EXPECT_EQ(ld.lastStoredPartner(0), 0);
}

TEST_F(BoundsTable, OmittedPartnerReadsZeroAndLaterPartnersKeepTheirPairs) {
    // The group of 100 omits 300: the pair (100, 400) must not slide into the column of 300.
    const int last = literal::load(ld, "100 200 0.8 0.99\n100 400 0.75 0.985\n200 300 0.71 0.991\n"
                                   "200 400 0.72 0.992\n300 400 0.73 0.993\n");
    EXPECT_EQ(last, 3);
    EXPECT_EQ(ld.getUpperlimit(0, 2), 0.0);
    EXPECT_EQ(ld.getUpperlimit(0, 3), 0.985);
    EXPECT_EQ(ld.getLowerlimit(3, 0), 0.75);
    EXPECT_EQ(ld.getUpperlimit(2, 3), 0.993);
}

TEST_F(BoundsTable, CompleteFilesReadExactlyAsTheirGroupsNameThePairs) {
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        const auto positions = literal::randomPositions(random, 2 + static_cast<int>(random() % 40));
        const std::string text = literal::format(literal::randomRecords(random, positions, literal::Layout::complete));
        SCOPED_TRACE(text);
        expectSameTable(ld, literal::readByGroups(text), literal::load(ld, text));
    }
}

TEST_F(BoundsTable, AnyFileReadsAsItsPositionsNameThePairs) {
    std::mt19937 random(5);
    const literal::Layout layouts[] = {literal::Layout::linkstat, literal::Layout::gaps};
    for (int round = 0; round < 60; ++round) {
        const auto positions = literal::randomPositions(random, 2 + static_cast<int>(random() % 40));
        const std::string text = literal::format(literal::randomRecords(random, positions, layouts[round % 2]));
        SCOPED_TRACE(text);
        expectSameTable(ld, literal::readByPositions(text), literal::load(ld, text));
    }
}

TEST_F(BoundsTable, ScatteredAndFarRecordsReadAsTheirPositionsNameThePairs) {
    // Second positions that fall between those other groups named, far records whose seconds
    // interleave, groups that skip SNPs: every position is a SNP, every near record its pair.
    std::vector<literal::Record> records;
    for (int k = 0; k < 300; ++k) records.push_back({10, 200010 + 2 * k, 0.9, 1.0});
    for (int k = 0; k < 300; ++k) records.push_back({11, 200011 + 2 * k, 0.8, 0.99});
    for (int k = 0; k < 50; ++k) records.push_back({12, 12 + 7 * (k + 1), 0.71, 0.981});
    records.push_back({12, 400000, 0.5, 0.5});
    for (int k = 0; k < 30; ++k) records.push_back({13, 13 + 5 * (k + 1) + 1, 0.72, 0.982});
    const std::string text = literal::format(records);
    expectSameTable(ld, literal::readByPositions(text), literal::load(ld, text));

    std::mt19937 random(17);
    for (int round = 0; round < 80; ++round) {
        const auto positions = literal::randomPositions(random, 2 + static_cast<int>(random() % 60));
        records.clear();
        for (size_t i = 0; i + 1 < positions.size(); ++i) {
            const unsigned kept = 5 + random() % 60;
            for (size_t j = i + 1; j < positions.size(); ++j) {
                if (random() % 100 < kept) records.push_back({positions[i], positions[j], 0.8, 0.99});
            }
        }
        const std::string scattered = literal::format(records);
        SCOPED_TRACE(scattered);
        expectSameTable(ld, literal::readByPositions(scattered), literal::load(ld, scattered));
    }
}

TEST_F(BoundsTable, TwoTablesInOneProcessStayApart) {
    ldtile::LDvals other;
    literal::load(ld, "1000 1500 0.85 0.99\n1000 2500 0.11 0.5\n1500 2500 0.9 0.995\n");
    literal::load(other, "5 6 0.2 0.3\n");
    other.setThreshold(0.5);
    EXPECT_EQ(ld.SNPcount(), 2);
    EXPECT_EQ(ld.getSNPposition(2), 2500);
    EXPECT_EQ(ld.getUpperlimit(0, 1), 0.99);
    EXPECT_EQ(ld.threshold(), 0.9);
    EXPECT_EQ(other.SNPcount(), 1);
    EXPECT_EQ(other.getLowerlimit(1, 0), 0.2);
    EXPECT_EQ(other.threshold(), 0.5);
}

TEST_F(BoundsTable, BoundsReadBackAsTheExactDoublesOfTheFile) {
    // More distinct values than the compact store has codes: the store switches to doubles, also
    // for rows already stored and rows that omit a partner.
    std::string text;
    for (int k = 0; k < 70000; ++k) {
        const double lower = 1.0 / (k + 3);
        const double upper = k % 2 ? 0.981 : 1e-300 * k;
        text += k % 3 == 0 ? record(k + 1, k + 3, lower, upper) : record(k + 1, k + 2, lower, upper);
    }
    expectSameTable(ld, literal::readByPositions(text), literal::load(ld, text));
    literal::load(ld, "1 2 -0 0.3\n");
    EXPECT_TRUE(std::signbit(ld.getLowerlimit(0, 1)));
}

TEST_F(BoundsTable, WordsMayStraddleReadBlocksAndOutgrowThem) {
    // Over 2 MB of records with irregular white space, and words longer than a read block.
    std::mt19937 random(3);
    const char* separators[] = {" ", "\t", "\n", "\r\n", "  \t ", "\n\n"};
    std::string text;
    int position = 100;
    for (int k = 0; k < 60000; ++k) {
        text += std::to_string(position) + separators[random() % 6] + std::to_string(position + 150) +
                separators[random() % 6] + "0.8" + std::string(random() % 20, '0') + separators[random() % 6] + "0.99" +
                "\n";
        position += 150;
    }
    text += std::string(1500000, '0') + std::to_string(position) + " " + std::to_string(position + 7) + " 0.8" +
            std::string(1500000, '0') + " 1\n";
    const int last = literal::load(ld, text);
    ASSERT_EQ(last, 60001);
    EXPECT_EQ(ld.getSNPposition(60001), position + 7);
    for (int k = 0; k < 60000; ++k) {
        ASSERT_EQ(ld.getSNPposition(k), 100 + 150 * k);
        ASSERT_EQ(ld.getLowerlimit(k, k + 1), 0.8);
        ASSERT_EQ(ld.getUpperlimit(k, k + 1), 0.99);
    }
    EXPECT_EQ(ld.getLowerlimit(60000, 60001), 0.8);
}

TEST_F(PairTests, CutOffsAreStrict) {
    const double aboveUpper = std::nextafter(0.98, 1.0);
    literal::load(ld, record(1, 2, 0.9, 0.98) + record(1, 3, 0.71, aboveUpper) + record(1, 4, 0.7, 1.0) +
                  record(1, 5, 0.8, 1.0) + record(1, 6, std::nextafter(0.8, 1.0), 1.0) + record(1, 7, 0.75, 1.0) +
                  record(1, 8, 0.751, 1.0));
    EXPECT_EQ(ld.paircheck(0, 1), 0);
    EXPECT_EQ(ld.paircheck(2, 0), 1);
    EXPECT_EQ(ld.paircheck(0, 3), 0);
    EXPECT_EQ(ld.twocheck(0, 4), 0);
    EXPECT_EQ(ld.twocheck(0, 5), 1);
    EXPECT_EQ(ld.threecheck(0, 6), 0);
    EXPECT_EQ(ld.threecheck(0, 7), 1);
    EXPECT_EQ(ld.threecheck(0, 2), 0);
}

TEST_F(PairTests, ShareCountsRecombinationAndSkipsUninformativePairs) {
    // Pairs (0,1) and (1,2) strong; (0,2) recombination, then uninformative (upper 0.95).
    literal::load(ld, "1 2 0.8 0.99\n1 3 0.1 0.899\n2 3 0.8 0.99\n");
    EXPECT_DOUBLE_EQ(ld.percentofinfoinLD(0, 2), 2.0 / 3.0);
    EXPECT_EQ(ld.percentofinfoinLD(0, 2), ld.test(2, 0));
    literal::load(ld, "1 2 0.8 0.99\n1 3 0.1 0.95\n2 3 0.8 0.99\n");
    EXPECT_EQ(ld.percentofinfoinLD(0, 2), 1.0);
    EXPECT_TRUE(std::isnan(ld.percentofinfoinLD(1, 1)));
    // A stretch with only an uninformative pair: 0 / 0.
    literal::load(ld, "1 2 0.1 0.95\n");
    EXPECT_TRUE(std::isnan(ld.percentofinfoinLD(0, 1)));
    EXPECT_FALSE(ld.percentofinfoinLD(0, 1) > 0.0);
}

TEST_F(PairTests, ShareOfAnyStretchMatchesPairByPairCount) {
    std::mt19937 random(11);
    const literal::Layout layouts[] = {literal::Layout::complete, literal::Layout::linkstat, literal::Layout::gaps};
    for (int round = 0; round < 45; ++round) {
        const auto positions = literal::randomPositions(random, 2 + static_cast<int>(random() % 45));
        const int last = literal::load(ld, literal::format(literal::randomRecords(random, positions, layouts[round % 3])));
        for (int lo = 0; lo <= last; ++lo) {
            for (int hi = lo; hi <= last; ++hi) {
                const double expected = literal::share(ld, lo, hi);
                const double actual = ld.percentofinfoinLD(hi, lo);
                if (std::isnan(expected)) {
                    ASSERT_TRUE(std::isnan(actual)) << lo << ".." << hi;
                } else {
                    ASSERT_EQ(actual, expected) << lo << ".." << hi;
                }
            }
        }
    }
}

TEST_F(Gaps, ScansStopAtTwoHundredUnitsOrAtEitherEnd) {
    literal::load(ld, "1000 1199 0 0\n1199 1399 0 0\n1399 1500 0 0\n");  // 1000 1199 1399 1500
    EXPECT_EQ(ld.abovegap(0), 2);  // 1199 is 199 above 1000: passed
    EXPECT_EQ(ld.abovegap(1), 2);  // 1399 is exactly 200 above
    EXPECT_EQ(ld.abovegap(2), 3);  // the last index, though only 101 above
    EXPECT_EQ(ld.abovegap(3), 3);
    EXPECT_EQ(ld.belowgap(3), 1);  // 1399 is 101 below 1500: passed
    EXPECT_EQ(ld.belowgap(2), 1);  // 1199 is exactly 200 below
    EXPECT_EQ(ld.belowgap(1), 0);  // index 0, though only 199 below
    EXPECT_EQ(ld.belowgap(0), 0);
}

TEST_F(Gaps, ChooseSnpReturnsTheFirstSnpBeyondTheWindowOrTheEnd) {
    literal::load(ld, "100 200100 0 0\n200100 400101 0 0\n400101 400102 0 0\n");  // 100 200100 400101 400102
    EXPECT_EQ(ld.chooseSNP(0, 3, 200000), 2);       // 200100 is exactly 200,000 away: inside
    EXPECT_EQ(ld.chooseSNP(1, 3, 200000), 2);       // 400101 is 200,001 away
    EXPECT_EQ(ld.chooseSNP(0, 1, 200000), 1);      // every SNP up to the end inside
    EXPECT_EQ(ld.chooseSNP(2, 1, 200000), 1);       // start beyond end
    EXPECT_EQ(ld.chooseSNP(0, 3, 199999), 1);
}

}  // namespace
