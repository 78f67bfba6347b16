// The acceptance rules of a block and the longest-first search.

#include "LDvals.hpp"
#include "ldtile.hpp"
#include "literal.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using ldtile::Block;
using literal::Record;

constexpr double strongLower = 0.85;
constexpr double strongUpper = 0.99;

// Every pair of the SNPs at these positions in strong LD, unless changed afterwards.
std::vector<Record> allStrong(const std::vector<int>& positions) {
    std::vector<Record> records;
    for (size_t i = 0; i < positions.size(); ++i) {
        for (size_t j = i + 1; j < positions.size(); ++j) {
            records.push_back({positions[i], positions[j], strongLower, strongUpper});
        }
    }
    return records;
}

void setPair(std::vector<Record>& records, int first, int second, double lower, double upper) {
    for (Record& r : records) {
        if (r.first == first && r.second == second) {
            r.lower = lower;
            r.upper = upper;
        }
    }
}

// Each test has a table of its own.
class Acceptance : public ::testing::Test {
protected:
    // The blocks of the whole table of these records.
    std::vector<Block> search(const std::vector<Record>& records, double LDpercentage = 0.95) {
        const int last = literal::load(ld, literal::format(records));
        std::vector<Block> blocks;
        blocks.resize(ldtile::getLongestBlock(ld, 0, last, blocks, 0, LDpercentage));
        return blocks;
    }

    ldtile::LDvals ld;
};
using Search = Acceptance;

bool operator==(const Block& a, const Block& b) { return a.first == b.first && a.last == b.last; }

TEST_F(Acceptance, TwoSnpsNeedLowerBoundAbove08AndSpanUpTo9999) {
    EXPECT_EQ(search({{1000, 6000, 0.85, 0.99}}).size(), 1u);
    EXPECT_EQ(search({{1000, 6000, 0.75, 0.99}}).size(), 0u);  // strong LD, but not enough for two
    EXPECT_EQ(search({{1000, 6000, 0.8, 0.99}}).size(), 0u);
    EXPECT_EQ(search({{1000, 10999, 0.85, 0.99}}).size(), 1u);
    EXPECT_EQ(search({{1000, 11000, 0.95, 1.0}}).size(), 0u);
}

TEST_F(Acceptance, ThreeSnpsNeedBothAdjacentPairsAbove075AndSpanUpTo19999) {
    auto records = allStrong({0 + 5, 7000, 19999 + 5});
    setPair(records, 5, 7000, 0.76, 0.99);
    setPair(records, 7000, 20004, 0.751, 0.981);
    literal::load(ld, literal::format(records));
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 2, 0.95), 1);
    setPair(records, 7000, 20004, 0.75, 0.99);
    literal::load(ld, literal::format(records));
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 2, 0.95), 0);
    // Three SNPs are never measured against the share: not even an unreachable one matters.
    records = allStrong({5, 7000, 20004});
    setPair(records, 5, 7000, 0.77, 0.99);
    literal::load(ld, literal::format(records));
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 2, 2.0), 1);
    records = allStrong({5, 7000, 20005});
    literal::load(ld, literal::format(records));
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 2, 0.95), 0);
}

TEST_F(Acceptance, FourSnpsNeedTheShareAndSpanUpTo29999FiveOrMoreOnlyTheShare) {
    literal::load(ld, literal::format(allStrong({1, 10000, 20000, 30000})));
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 3, 0.95), 1);
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 3, 1.0), 0);  // share 1.0 is not above 1.0
    literal::load(ld, literal::format(allStrong({1, 10000, 20000, 30001})));
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 3, 0.95), 0);
    literal::load(ld, literal::format(allStrong({1, 40000, 80000, 120000, 160000})));
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 4, 0.95), 1);
    EXPECT_EQ(search(allStrong({1, 40000, 80000, 120000, 160000}))[0].last, 4);
}

TEST_F(Acceptance, ShareExactly095FailsAndJustAboveItPasses) {
    // Seven SNPs, 21 pairs. One recombination pair and 20 strong: 20/21 passes. One more pair
    // made uninformative leaves 19 strong of 20 informative: exactly 0.95 fails.
    const std::vector<int> positions = {100, 1100, 2100, 3100, 4100, 5100, 6100};
    auto records = allStrong(positions);
    setPair(records, 1100, 3100, 0.2, 0.5);
    literal::load(ld, literal::format(records));
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 6, 0.95), 1);
    setPair(records, 2100, 5100, 0.2, 0.95);
    literal::load(ld, literal::format(records));
    EXPECT_EQ(ld.percentofinfoinLD(0, 6), 0.95);
    EXPECT_EQ(ldtile::isAcceptedBlock(ld, 0, 6, 0.95), 0);
}

TEST_F(Search, EqualSpansGoToTheLowerFirstIndexAndNeighboursKeepTheGap) {
    // Blocks 0-1 and 2-3 both span 5,000; 2-3 is more than 200 above 1. A single SNP 150 above
    // the block 4-5 belongs to no block.
    std::vector<Record> records = {{1000, 6000, 0.9, 1.0},   {6000, 20000, 0.1, 0.2},  {20000, 25000, 0.9, 1.0},
                                   {25000, 40000, 0.1, 0.2}, {40000, 41000, 0.9, 1.0}, {41000, 41150, 0.9, 1.0}};
    const auto blocks = search(records);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_TRUE((blocks[0] == Block{0, 1}));
    EXPECT_TRUE((blocks[1] == Block{2, 3}));
    EXPECT_TRUE((blocks[2] == Block{4, 5}));
}

TEST_F(Search, FindsTheLongestFirstThenLeftThenRight) {
    std::vector<Record> records = {{1000, 3000, 0.9, 1.0},   {3000, 9000, 0.1, 0.2},   {9000, 18000, 0.9, 1.0},
                                   {18000, 30000, 0.1, 0.2}, {30000, 34000, 0.9, 1.0}};
    const auto blocks = search(records);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_TRUE((blocks[0] == Block{2, 3}));
    EXPECT_TRUE((blocks[1] == Block{0, 1}));
    EXPECT_TRUE((blocks[2] == Block{4, 5}));
}

TEST_F(Search, AgreesWithTheLiteralSearchOnRandomBoundsFiles) {
    std::mt19937 random(2024);
    const literal::Layout layouts[] = {literal::Layout::complete, literal::Layout::linkstat, literal::Layout::gaps};
    const double percentages[] = {0.95, 0.75, 0.8, 0.5, 2.0 / 3.0, 0.9};
    int withBlocks = 0;
    for (int round = 0; round < 400; ++round) {
        const auto positions = literal::randomPositions(random, 2 + static_cast<int>(random() % 50));
        const int last = literal::load(ld, literal::format(literal::randomRecords(random, positions, layouts[round % 3])));
        const double percentage = percentages[round % 6];
        int start = 0;
        int end = last;
        if (round % 4 == 3) {  // a stretch inside the table
            start = static_cast<int>(random() % (last + 1));
            end = static_cast<int>(random() % (last + 1));
        }
        std::vector<Block> expected;
        literal::longestBlocks(ld, start, end, expected, percentage);
        std::vector<Block> actual(1, Block{-1, -1});  // blocks go after the ones already listed
        const int count = ldtile::getLongestBlock(ld, start, end, actual, 1, percentage);
        ASSERT_EQ(count, static_cast<int>(expected.size()) + 1) << "round " << round;
        for (size_t k = 0; k < expected.size(); ++k) {
            ASSERT_TRUE(actual[k + 1] == expected[k]) << "round " << round << " block " << k;
        }
        withBlocks += !expected.empty();
    }
    EXPECT_GT(withBlocks, 200);  // the random files do exercise the search
}

TEST_F(Search, RowsThatSkipMostOfTheirSpanAgreeWithTheLiteralSearch) {
    // Rows that hold a few pairs of a wide span: the share counts of such rows come from a tree
    // over the columns rather than from a walk along the row. Low percentages let the share decide.
    std::mt19937 random(99);
    const double percentages[] = {0.02, 0.04, 0.06, 0.08};
    int longBlocks = 0;
    for (int round = 0; round < 8; ++round) {
        std::vector<int> positions;
        int position = 1000;
        const int count = 120 + static_cast<int>(random() % 60);
        for (int k = 0; k < count; ++k) {
            positions.push_back(position);
            position += 1 + static_cast<int>(random() % 600);
        }
        const int last =
            literal::load(ld, literal::format(literal::randomRecords(random, positions, literal::Layout::sparse)));
        for (int k = 0; k < 100; ++k) {
            const int lo = static_cast<int>(random() % (last + 1));
            const int hi = static_cast<int>(random() % (last + 1));
            const double expected = literal::share(ld, lo, hi);
            if (!std::isnan(expected)) {
                ASSERT_EQ(ld.percentofinfoinLD(lo, hi), expected) << lo << ".." << hi;
            }
        }
        const double percentage = percentages[round % 4];
        std::vector<Block> expected;
        literal::longestBlocks(ld, 0, last, expected, percentage);
        std::vector<Block> actual;
        ASSERT_EQ(ldtile::getLongestBlock(ld, 0, last, actual, 0, percentage), static_cast<int>(expected.size()));
        for (size_t k = 0; k < expected.size(); ++k) {
            ASSERT_TRUE(actual[k] == expected[k]) << "round " << round << " block " << k;
            longBlocks += expected[k].last - expected[k].first >= 20;
        }
    }
    EXPECT_GT(longBlocks, 5);
}

TEST_F(Search, CountsOfStretchesBeyondSixteenBitsAreExact) {
    // 4,417 SNPs one unit apart and every pair in the file: rows of 4,416 partners, where sixteen
    // neighbouring stretches of a row differ by more than 65,535 pairs. All pairs are strong but
    // 100 recombination pairs with the last SNP (not with the first, which ends the whole), so the
    // last pairs decide the share of the whole.
    constexpr int n = 4417;
    constexpr int recombinations = 100;
    int first = 1;
    int second = 1;
    ld.loadRecords("dense", [&](ldtile::BoundsRecord& record) {
        if (++second > n) {
            ++first;
            second = first + 1;
        }
        if (first >= n) return false;
        const bool recombination = second == n && first > 1 && first <= recombinations + 1;
        record = {first, second, recombination ? 0.1 : 0.85, recombination ? 0.5 : 0.99};
        return true;
    });
    ASSERT_EQ(ld.storedPairCount(), n * (n - 1) / 2);
    const double pairs = n * (n - 1) / 2.0;
    const double share = (pairs - recombinations) / pairs;
    EXPECT_EQ(ld.percentofinfoinLD(0, n - 1), share);

    // Just below the share of the whole, the whole is the longest block; at the share itself (the
    // test is strict) it is not, and the longest block leaves out the last SNP.
    std::vector<Block> blocks;
    ASSERT_GE(ldtile::getLongestBlock(ld, 0, n - 1, blocks, 0, (pairs - recombinations - 1) / pairs), 1);
    EXPECT_TRUE((blocks[0] == Block{0, n - 1})) << blocks[0].first << "-" << blocks[0].last;
    blocks.clear();
    ASSERT_GE(ldtile::getLongestBlock(ld, 0, n - 1, blocks, 0, share), 1);
    EXPECT_TRUE((blocks[0] == Block{0, n - 2})) << blocks[0].first << "-" << blocks[0].last;
}

}  // namespace
