// The words of a bounds file: positions and bounds, and their exact values.

#include "boundsfile.hpp"
#include "boundstore.hpp"
#include "scratch.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using ldtile::BoundsFileError;
using ldtile::BoundsFileReader;
using ldtile::BoundsRecord;
using ldtile::BoundStore;
using ldtile::parseBound;
using ldtile::parsePosition;

TEST(Words, PositionIsAnOptionalSignAndDigitsWithin32Bits) {
    int32_t value = 0;
    EXPECT_TRUE(parsePosition("+5", value));
    EXPECT_EQ(value, 5);
    EXPECT_TRUE(parsePosition("-17", value));
    EXPECT_EQ(value, -17);
    EXPECT_TRUE(parsePosition("2147483647", value));
    EXPECT_EQ(value, 2147483647);
    EXPECT_TRUE(parsePosition("-2147483648", value));
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_TRUE(parsePosition("007", value));
    EXPECT_EQ(value, 7);
    for (const char* word : {"", "+", "-", "2147483648", "-2147483649", "+-5", "-+5", "5a", "1e3", "1.0", "0x10", "1,000"}) {
        EXPECT_FALSE(parsePosition(word, value)) << word;
    }
}

TEST(Words, BoundIsAFiniteDecimalNumberOnly) {
    for (const char* word : {"0.850", "1", "+1", "-0.5", ".5", "5.", "1e-3", "1E+2", "2.5e1", "+.25e-1", "1e-400",
                             "0.00000000000000000000000000000000000000000000000000000000000000000000000001"}) {
        double value = -1;
        ASSERT_TRUE(parseBound(word, value)) << word;
        const double expected = std::strtod(word, nullptr);
        EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << word;
    }
    double value = 0;
    for (const char* word : {"", "+", "-", ".", "e5", "1e", "1e+", "1.2.3", "inf", "-inf", "nan", "infinity", "0x1p3",
                             "0x10", "1e400", "1,5", "1.5x", "--1", "+-1", "1e5.5"}) {
        EXPECT_FALSE(parseBound(word, value)) << word;
    }
}

TEST(Words, ThreeDecimalBoundsAreStoredAndReadBackExactly) {
    // Every text "D.DDD": the parsed value equals strtod's, and the compact store returns it bit
    // for bit.
    BoundStore store;
    std::vector<double> expected;
    char word[16];
    for (int k = 0; k < 10000; ++k) {
        std::snprintf(word, sizeof word, "%d.%03d", k / 1000, k % 1000);
        double value = 0;
        ASSERT_TRUE(parseBound(word, value));
        ASSERT_EQ(value, std::strtod(word, nullptr)) << word;
        store.append(value, -value);
        expected.push_back(value);
    }
    for (int k = 0; k < 10000; ++k) {
        ASSERT_EQ(store.upper(k), expected[k]);
        ASSERT_EQ(store.lower(k), -expected[k]);
    }
}

// What each reason of a failed read says; every program puts its own name in front.
std::string failureOf(const std::string& name) {
    try {
        BoundsFileReader reader(name);
        BoundsRecord record;
        while (reader.next(record)) {
        }
    } catch (const BoundsFileError& error) {
        return error.what();
    }
    return "";
}

TEST(Reader, ErrorsCarryTheReasonWithoutAProgramName) {
    testsupport::ScratchDir dir;
    const std::string name = dir.file("b");
    EXPECT_EQ(failureOf(name), "cannot open bounds file " + name + ": No such file or directory");
    EXPECT_EQ(failureOf(dir.path().string()), "cannot open bounds file " + dir.path().string() + ": Is a directory");
    testsupport::writeFile(name, "1 2 0.5 0.9\n\n3 4 0.5\n");
    EXPECT_EQ(failureOf(name),
              name + ": line 3: expected four numbers: first position, second position, lower bound, upper bound");
    testsupport::writeFile(name, "1 2 0.5 0.9\n1 2 0.5 0.9\n");
    EXPECT_EQ(failureOf(name), name + ": line 2: records are not in order of position");
    testsupport::writeFile(name, "1 2 0.5 0.9\n" + std::string(BoundsFileReader::maxWordLength + 1, '1'));
    EXPECT_EQ(failureOf(name), name + ": line 2: word longer than 4194304 bytes");
    testsupport::writeFile(name, "1 2 0.5 0.9\n");
    EXPECT_EQ(failureOf(name), "");
}

}  // namespace
