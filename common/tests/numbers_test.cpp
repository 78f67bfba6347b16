#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "numbers.hpp"

namespace {

using ldtools::WholeNumber;

WholeNumber parse(const char* text, std::int32_t& value) { return ldtools::parseInt32(text, value); }

TEST(ParseInt32, AcceptsSignedDigitsUpToBothEndsOfTheRange) {
    std::int32_t value = 0;
    EXPECT_EQ(parse("2147483647", value), WholeNumber::ok);
    EXPECT_EQ(value, 2147483647);
    EXPECT_EQ(parse("-2147483648", value), WholeNumber::ok);
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_EQ(parse("+0007", value), WholeNumber::ok);
    EXPECT_EQ(value, 7);
}

TEST(ParseInt32, TellsOutOfRangeFromNotANumber) {
    std::int32_t value = 42;
    EXPECT_EQ(parse("2147483648", value), WholeNumber::outOfRange);
    EXPECT_EQ(parse("-2147483649", value), WholeNumber::outOfRange);
    EXPECT_EQ(parse("99999999999999999999999", value), WholeNumber::outOfRange);
    for (const char* text : {"", "+", "-", "1.0", "1e3", " 1", "1 ", "0x10", "--1", "12a"})
        EXPECT_EQ(parse(text, value), WholeNumber::notWhole) << "'" << text << "'";
    EXPECT_EQ(value, 42);  // untouched by a failed parse
}


// Every decimal is read to the double strtod gives it, bit for bit: the short plain words of bounds
// files (which take a quicker path) as well as long, signed and exponent forms.
TEST(ParseDecimal, ReadsEveryWordToTheBitsStrtodGives) {
    std::vector<std::string> words = {"1.", ".5", "-0", "+0.25", "0.1e1", "123456789012345", "1234567890123456",
                                      "0.000000000000001", "0.3500000000000000001", "999999999999999.9"};
    for (int k = 0; k <= 1000; ++k) {
        char text[32];
        std::snprintf(text, sizeof text, "%d.%03d", k / 1000, k % 1000);
        words.push_back(text);
        std::snprintf(text, sizeof text, "-%d.%02d0", k / 100, k % 100);
        words.push_back(text);
    }
    std::mt19937_64 random(15);
    for (int k = 0; k < 2000; ++k) {
        const std::string digits = std::to_string(random() % 1000000000000000ULL);
        const std::size_t point = random() % (digits.size() + 1);
        words.push_back(digits.substr(0, point) + "." + digits.substr(point));
    }
    for (const std::string& word : words) {
        double value = 0;
        ASSERT_TRUE(ldtools::parseDecimal(word, value)) << word;
        const double expected = std::strtod(word.c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << word;
    }
    double value = 0;
    for (const char* word : {"", ".", "-", "1.2.3", "1e", "0x1p3", "nan", "inf", "1,5", " 1"})
        EXPECT_FALSE(ldtools::parseDecimal(word, value)) << word;
}

}  // namespace
